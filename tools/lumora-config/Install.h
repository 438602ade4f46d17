#pragma once
// Puts a package's plugin folder into a server's folder, the same for a first install and an
// upgrade: every file of the plugin written beside the old one and renamed over it, the admin's
// config.json never touched.

#include <filesystem>
#include <optional>
#include <string>

namespace Lumora {

// A new name beside path for a file that is written whole and then renamed over path.
std::filesystem::path PartPath(const std::filesystem::path& path);

// Gives part the permissions of modeFrom and, where the system lets this process, the owner and
// group of ownerFrom; a file that is not there gives nothing.
void GiveModeAndOwner(const std::filesystem::path& part, const std::filesystem::path& modeFrom,
                      const std::filesystem::path& ownerFrom);

// The folder the running program was extracted with: the parent of the program's own folder
// (lumora-config/ sits beside ArkApi/ in a package). Nothing when the system does not say.
std::optional<std::filesystem::path> OwnPackage();

struct InstallOutcome {
    int status = 2;                // 2: nothing, or not all, was installed (the reason printed)
    std::filesystem::path config;  // the server's config.json, to check when installed
};

// Installs package's plugin folder into server's ArkApi/Plugins, printing a line for each file
// replaced, added or kept. The library goes first: a library the server holds open stops the
// install with every old file in place.
InstallOutcome InstallPluginFolder(const std::filesystem::path& server, const std::filesystem::path& package);

}  // namespace Lumora
