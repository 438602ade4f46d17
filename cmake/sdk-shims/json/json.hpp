#pragma once
// The JSON library under the name the host's SDK gives it, for the configuration core where it is
// built without the SDK or the stand-in of the host (in the config checker).

#include <nlohmann/json.hpp>
