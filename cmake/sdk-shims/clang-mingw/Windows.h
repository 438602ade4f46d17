#pragma once
// Windows SDK headers are found case-blind on Windows; mingw-w64 names this one in lower case.
#include <windows.h>
