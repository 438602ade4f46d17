#include "lumora-config/Install.h"

#include <algorithm>
#include <iostream>
#include <random>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "config/RegularFile.h"
#include "plugin/Version.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;

namespace Lumora {

namespace {

const fs::path PluginFolder = fs::path("ArkApi") / "Plugins" / LUMORA_NAME;
const fs::path LibraryName = LUMORA_LIBRARY_NAME;
const fs::path ConfigName = "config.json";
const fs::path PluginInfoName = "PluginInfo.json";
// No file of a plugin folder comes near this; a larger one is not what the package should hold.
constexpr std::size_t MaxInstalledBytes = std::size_t{1} << 30;

std::string Shown(fs::path path) {
    const std::u8string text = path.make_preferred().u8string();
    return EscapeText(std::string(text.begin(), text.end()));
}

InstallOutcome Refused(const std::string& reason) {
    std::cerr << "lumora-config: " << reason << '\n';
    return {};
}

void RemoveAll(const std::vector<fs::path>& parts) {
    for (const auto& part : parts) {
        std::error_code ignored;
        fs::remove(part, ignored);
    }
}

}  // namespace

fs::path PartPath(const fs::path& path) {
    fs::path part = path;
    part += ".part-" + std::to_string(std::random_device{}());
    return part;
}

void GiveModeAndOwner(const fs::path& part, const fs::path& modeFrom, const fs::path& ownerFrom) {
    std::error_code error;
    if (const fs::file_status status = fs::status(modeFrom, error); !error && fs::is_regular_file(status)) {
        fs::permissions(part, status.permissions(), error);
    }
#if !defined(_WIN32)
    struct stat owner {};
    if (stat(ownerFrom.c_str(), &owner) == 0 && S_ISREG(owner.st_mode) &&
        chown(part.c_str(), owner.st_uid, owner.st_gid) != 0) {
        // Not allowed to give the file away: it keeps this process's owner, as any new file would.
    }
#else
    (void)ownerFrom;
#endif
}

std::optional<fs::path> OwnPackage() {
#if defined(_WIN32)
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);
    }
    const fs::path program(name);
#else
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::nullopt;
    }
#endif
    return program.parent_path().parent_path();
}

InstallOutcome InstallPluginFolder(const fs::path& server, const fs::path& package) {
    std::error_code error;
    if (!fs::is_directory(server / "ArkApi", error)) {
        return Refused(Shown(server) +
                       " holds no ArkApi folder: name the server's folder that holds ArkApi (on Windows, "
                       "ShooterGame/Binaries/Win64). Nothing was written.");
    }
    const fs::path source = package / PluginFolder;
    for (const fs::path& name : {LibraryName, PluginInfoName, ConfigName}) {
        if (!fs::is_regular_file(source / name, error)) {
            return Refused(Shown(package) + " is not a " LUMORA_NAME " package: it holds no " +
                           Shown(PluginFolder / name) +
                           ". Name the folder the package was extracted to. Nothing was written.");
        }
    }
    const fs::path target = server / PluginFolder;
    if (fs::exists(fs::symlink_status(target, error)) && !fs::is_directory(target, error)) {
        return Refused(Shown(target) + " is not a folder. Nothing was written.");
    }
    if (fs::equivalent(source, target, error)) {
        return Refused(
            "the package was extracted into this server's folder: extract it into a folder of its own "
            "and install from there. Nothing was written.");
    }

    // The plugin folder's files, the library first; config.json is the admin's.
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file() && entry.path().filename() != ConfigName) {
            names.push_back(entry.path().filename());
        }
    }
    std::sort(names.begin(), names.end(), [](const fs::path& a, const fs::path& b) {
        return std::make_pair(a != LibraryName, a) < std::make_pair(b != LibraryName, b);
    });
    for (const auto& name : names) {
        if (const auto status = fs::symlink_status(target / name, error);
            fs::exists(status) && !fs::is_regular_file(status)) {
            return Refused(Shown(target / name) + " is not a regular file. Nothing was written.");
        }
    }

    // Every new file is written whole beside the old one before any old one is replaced.
    fs::create_directories(target, error);
    if (error) {
        return Refused("could not make " + Shown(target) + ": " + EscapeText(error.message()) +
                       ". Nothing was written.");
    }
    std::vector<fs::path> parts;
    for (const auto& name : names) {
        const std::optional<std::string> bytes = ReadRegularFile((source / name).string(), MaxInstalledBytes);
        if (!bytes || bytes->size() > MaxInstalledBytes) {
            RemoveAll(parts);
            return Refused("could not read " + Shown(source / name) + ". Nothing was changed.");
        }
        parts.push_back(PartPath(target / name));
        if (const std::string failed = WriteNewRegularFile(parts.back().string(), *bytes); !failed.empty()) {
            RemoveAll(parts);
            return Refused("could not write " + Shown(parts.back()) + ": " + EscapeText(failed) +
                           ". Nothing was changed.");
        }
        GiveModeAndOwner(parts.back(), source / name, target / name);
    }

    std::cout << "installing " LUMORA_NAME " " LUMORA_VERSION " into " << Shown(target) << '\n';
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool existed = fs::exists(fs::symlink_status(target / names[i], error));
        fs::rename(parts[i], target / names[i], error);
        if (error) {
            RemoveAll({parts.begin() + static_cast<std::ptrdiff_t>(i), parts.end()});
            if (i == 0) {
                return Refused(
                    "could not replace " + Shown(target / names[i]) + ": " + EscapeText(error.message()) +
                    ". The server may have the plugin loaded: stop the server, or run plugins.unload " LUMORA_NAME
                    " at its console, and install again. Nothing was changed.");
            }
            return Refused("could not replace " + Shown(target / names[i]) + ": " + EscapeText(error.message()) +
                           ". The files above were replaced; install again to replace the rest.");
        }
        std::cout << (existed ? "replaced " : "added    ") << Shown(names[i]) << '\n';
    }

    const fs::path config = target / ConfigName;
    if (fs::exists(fs::symlink_status(config, error))) {
        std::cout << "kept     " << Shown(ConfigName) << ", not changed\n";
    } else {
        const std::optional<std::string> bytes = ReadRegularFile((source / ConfigName).string(), MaxInstalledBytes);
        const std::string failed = bytes ? WriteNewRegularFile(config.string(), *bytes) : "it could not be read";
        if (!failed.empty()) {
            return Refused("could not write " + Shown(config) + ": " + EscapeText(failed) +
                           ". Without it the plugin runs on its built-in values.");
        }
        std::cout << "added    " << Shown(ConfigName) << " (the built-in configuration)\n";
    }
    return {0, config};
}

}  // namespace Lumora
