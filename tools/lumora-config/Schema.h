#pragma once
// The JSON Schema of config.json, made from the loader's own keys, limits and built-in values, so
// that an editor checks a file by the rules the plugin applies (schema/config.schema.json is this,
// written by lumora-config schema).

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/ConfigKeys.h"

namespace Lumora {

nlohmann::ordered_json ConfigSchema();

// The admin guide's table of keys, in Markdown (lumora-docs keys): a row a key, in the order
// the loader checks them.
std::string GuideKeyTable();

// A text of the keys' table with {entries}, {commandBytes}, {textBytes}, {levels}, {forced} and
// {count} filled in for key.
std::string FillIn(std::string_view text, const ConfigKey& key);

}  // namespace Lumora
