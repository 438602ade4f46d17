#pragma once
// The SDK includes fmt by this path; it is the fmt bundled with its spdlog.
#include <Logger/spdlog/fmt/bundled/format.h>
