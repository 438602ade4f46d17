#pragma once
// The plugin's log channel is the host's Log class over the host's sinks; every line's first
// argument is the plugin's name.

#include <Logger/Logger.h>

namespace Lumora {

inline constexpr char PluginName[] = "Lumora";

}  // namespace Lumora
