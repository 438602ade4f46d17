#pragma once
// The JSON library, as the host ships it beside its headers.

#include <nlohmann/json.hpp>
