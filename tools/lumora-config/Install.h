#pragma once
// Puts a package's plugin folder into a server's folder, the same for a first install and an
// upgrade: one install at a time, every file checked against the package's list, written whole
// beside the old one and renamed over it; the admin's config.json never touched.

#include <filesystem>
#include <optional>
#include <string>

#include "text/ToolProcess.h"

namespace Lumora {

// The folder the running program was extracted with: the parent of the program's own folder
// (lumora-config/ sits beside ArkApi/ in a package). Nothing when the system does not say.
std::optional<std::filesystem::path> OwnPackage();

// How an install ended, as the checker's exit status.
enum InstallStatus : int {
    Installed = 0,                  // and config.json is valid
    ConfigRefused = 1,              // installed, but this version refuses the config.json in place
    NothingWritten = 2,             // the reason printed (usage errors too)
    PartlyReplaced = 3,             // some of the plugin's files replaced, not all: install again
    NoConfig = 4,                   // the plugin's files installed, config.json could not be written
    ConfigUnchecked = 5,            // installed, but the config.json in place is a link or no regular file
    OutputLost = OutputLostStatus,  // standard output could not be written (every command)
};
// The exit statuses as --help, README and the guide list them, one a line.
extern const char* const InstallStatusLines;

struct InstallOutcome {
    int status = NothingWritten;
    std::filesystem::path config;  // the server's config.json, for messages
    std::string configBytes;       // what it holds, read from the held plugin folder, when installed
};

// Installs package's plugin folder into server's ArkApi/Plugins, printing a line for each file
// replaced, added, kept or removed. The library goes first: a library the server holds open
// stops the install with every old file in place.
InstallOutcome InstallPluginFolder(const std::filesystem::path& server, const std::filesystem::path& package);

}  // namespace Lumora
