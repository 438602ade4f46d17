#pragma once
// The JSON Schema of config.json, made from the loader's own keys, limits and built-in values, so
// that an editor checks a file by the rules the plugin applies (schema/config.schema.json is this,
// written by lumora-config schema).

#include <nlohmann/json.hpp>

namespace Lumora {

nlohmann::ordered_json ConfigSchema();

}  // namespace Lumora
