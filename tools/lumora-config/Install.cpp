#include "lumora-config/Install.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <system_error>
#include <variant>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "config/RegularFile.h"
#include "lumora-config/InstallFiles.h"
#include "lumora-config/PackageList.h"
#include "plugin/Version.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;

namespace Lumora {

const char* const InstallStatusLines =
    "0  installed, and the config.json in place is valid\n"
    "1  installed, but this version refuses the config.json in place: fix it before the server starts\n"
    "2  nothing was written (the reason is printed)\n"
    "3  some of the plugin's files were replaced, not all: install again once the reason is gone\n"
    "4  the plugin's files were installed, but config.json could not be written: install again\n";

namespace {

// Preferred separators: a long path's \\?\ prefix turns off the system's reading of "/".
const fs::path PluginFolder = PathFromText(LUMORA_PLUGIN_FOLDER).make_preferred();
const fs::path LibraryName = LUMORA_LIBRARY_NAME;
const fs::path ConfigName = "config.json";
const fs::path PluginInfoName = "PluginInfo.json";
const std::string NothingWrittenText = " Nothing was written.";
const std::string Damaged = ": the package is damaged; extract the zip again into a folder of its own.";

std::string Shown(const fs::path& path) { return EscapeText(PathText(AdminPath(path).make_preferred())); }

InstallOutcome Refused(const std::string& reason, int status = NothingWritten) {
    std::cerr << "lumora-config: " << reason << '\n';
    return {status, {}};
}

// The part files of this install, removed when it cannot finish.
struct Parts {
    std::vector<fs::path> paths;
    ~Parts() { RemoveFrom(0); }
    void RemoveFrom(std::size_t first) {
        for (std::size_t i = first; i < paths.size(); ++i) {
            std::error_code ignored;
            fs::remove(paths[i], ignored);
        }
        paths.resize(std::min(first, paths.size()));
    }
};

// What makes a folder on the way unusable: a link, or something that is not a folder.
std::optional<std::string> FolderFault(const fs::path& path) {
    if (const std::optional<fs::path> target = LinkAt(path)) {
        return Shown(path) + " is a link to " +
               (target->empty() ? "a place the system does not name" : Shown(*target)) +
               ": install writes only into the server's own folders, never through a link." + NothingWrittenText;
    }
    std::error_code error;
    if (const fs::file_status status = fs::symlink_status(path, error);
        fs::exists(status) && !fs::is_directory(status)) {
        return Shown(path) + " is not a folder." + NothingWrittenText;
    }
    return std::nullopt;
}

std::string KindOf(const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::symlink:
            return "a symbolic link";
        case fs::file_type::directory:
            return "a folder";
        case fs::file_type::fifo:
            return "a named pipe (FIFO)";
        default:
            return "not a regular file";
    }
}

// The package's list, checked against what the package holds: the files to install, or why not.
std::variant<PackageList, std::string> CheckedPackage(const fs::path& package) {
    const fs::path listPath = PackageListPath(package);
    const fs::path source = package / PluginFolder;
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(listPath, error)) || !fs::is_directory(source, error)) {
        return Shown(package) + " is not a " LUMORA_NAME " package: it holds no " +
               Shown(!fs::is_directory(source, error) ? PluginFolder : listPath.lexically_relative(package)) +
               ". Name the folder the package was extracted to." + NothingWrittenText;
    }
    const std::optional<std::string> text = ReadRegularFile(listPath, 1 << 20);
    if (!text || text->size() > (1 << 20)) {
        return "could not read " + Shown(listPath) + "." + NothingWrittenText;
    }
    auto parsed = ParsePackageList(*text);
    if (const auto* fault = std::get_if<std::string>(&parsed)) {
        return Shown(listPath) + " is not a list of the package's files (" + EscapeText(*fault) + ")" + Damaged +
               NothingWrittenText;
    }
    PackageList& list = std::get<PackageList>(parsed);
    if (list.name != LUMORA_NAME || list.version != LUMORA_VERSION) {
        fs::path checker = package / "lumora-config" / "lumora-config";
#if defined(_WIN32)
        checker += ".exe";
#endif
        return "the package is " + EscapeText(list.name + " " + list.version) +
               " and this checker is " LUMORA_NAME " " LUMORA_VERSION ": install with the package's own checker, " +
               Shown(checker) + "." + NothingWrittenText;
    }
    std::map<std::string, const ListedFile*> listed;
    for (const ListedFile& file : list.files) {
        listed[file.name] = &file;
    }
    for (const fs::path& name : {LibraryName, PluginInfoName, ConfigName}) {
        if (!listed.contains(PathText(name))) {
            return Shown(package) + " is not a " LUMORA_NAME " package: its list names no " + Shown(name) + "." +
                   NothingWrittenText;
        }
    }
    // Only files, and only the listed ones: a link would be copied as what it leads to.
    for (const auto& entry : fs::directory_iterator(source)) {
        const fs::file_status status = entry.symlink_status();
        const bool link = LinkAt(entry.path()).has_value();
        if (link || !fs::is_regular_file(status)) {
            return Shown(entry.path()) + " is " + (link ? "a link" : KindOf(status)) +
                   ", where a package holds only files" + Damaged + NothingWrittenText;
        }
        if (!listed.contains(PathText(entry.path().filename()))) {
            return Shown(entry.path()) + " is not in the package's list" + Damaged + NothingWrittenText;
        }
    }
    std::erase_if(list.files, [&](const ListedFile& file) {
        return file.optional && !fs::exists(fs::symlink_status(source / PathFromText(file.name), error));
    });
    for (const ListedFile& file : list.files) {
        const fs::path path = source / PathFromText(file.name);
        if (!fs::exists(fs::symlink_status(path, error))) {
            return "the package holds no " + Shown(path) + ", which its list names" + Damaged + NothingWrittenText;
        }
        const std::uint64_t size = fs::file_size(path, error);
        if (error || file.size > MaxPackageFileBytes || size > MaxPackageFileBytes) {
            return Shown(path) +
                   (error ? " cannot be read: " + EscapeText(error.message())
                          : std::string(" is larger than 64 MiB, which no file of the plugin comes near")) +
                   Damaged + NothingWrittenText;
        }
        if (size != file.size) {
            return Shown(path) + " is " + std::to_string(size) + " bytes where the package's list says " +
                   std::to_string(file.size) + Damaged + NothingWrittenText;
        }
        const FileSum sum = SumFile(path);
        if (!sum.failed.empty()) {
            return "could not read " + Shown(path) + ": " + EscapeText(sum.failed) + "." + NothingWrittenText;
        }
        if (sum.sha256 != file.sha256 || sum.size != file.size) {
            return "the SHA-256 sum of " + Shown(path) + " differs from the package's list" + Damaged +
                   NothingWrittenText;
        }
    }
    return std::move(list);
}

// An earlier install's part files of these names, left when it was killed.
void RemoveLeftParts(const fs::path& target, const std::vector<fs::path>& names) {
    std::error_code error;
    std::vector<fs::path> left;
    for (fs::directory_iterator it(target, error), end; !error && it != end; it.increment(error)) {
        const std::string file = PathText(it->path().filename());
        for (const fs::path& name : names) {
            const std::string prefix = PathText(name) + ".part-";
            if (file.size() > prefix.size() && file.starts_with(prefix) &&
                file.find_first_not_of("0123456789", prefix.size()) == std::string::npos &&
                fs::is_regular_file(it->symlink_status())) {
                left.push_back(it->path());
            }
        }
    }
    std::sort(left.begin(), left.end());
    for (const fs::path& part : left) {
        if (fs::remove(part, error)) {
            std::cout << "removed  " << Shown(part.filename()) << " (left by an install that was stopped)\n";
        }
    }
}

// Stops here when asked to: the part files go, and nothing of the plugin folder was changed.
void StopIfAsked(Parts& parts) {
    if (StopAsked()) {
        parts.RemoveFrom(0);
        std::cerr << "lumora-config: stopped: the part files were removed and nothing was changed\n";
        EndAsStopped();
    }
}

}  // namespace

fs::path PartPath(const fs::path& path) {
    fs::path part = path;
    part += ".part-" + std::to_string(std::random_device{}());
    return part;
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

InstallOutcome InstallPluginFolder(const fs::path& serverGiven, const fs::path& packageGiven) {
    const fs::path server = SystemPath(serverGiven);
    const fs::path package = SystemPath(packageGiven);
    const fs::path arkApi = server / "ArkApi";
    const fs::path target = server / PluginFolder;
    std::error_code error;
    // The server's folder itself may be a link: the admin named it.
    if (const auto fault = FolderFault(arkApi)) {
        return Refused(*fault);
    }
    if (!fs::is_directory(arkApi, error)) {
        return Refused(Shown(server) +
                       " holds no ArkApi folder: name the server's folder that holds ArkApi (on Windows, "
                       "ShooterGame/Binaries/Win64)." +
                       NothingWrittenText);
    }

    // One install at a time, before anything of the plugin folder is read.
    std::unique_ptr<InstallLock> lock;
    std::string failed;
    const fs::path lockPath = InstallLockPath(server);
    switch (InstallLock::Take(lockPath, lock, failed)) {
        case InstallLock::Outcome::Busy:
            return Refused("another install into " + Shown(server) + " is running (it holds " + Shown(lockPath) +
                           "): let it end, then install again." + NothingWrittenText);
        case InstallLock::Outcome::Failed:
            return Refused("could not lock " + Shown(lockPath) + ": " + EscapeText(failed) + "." + NothingWrittenText);
        case InstallLock::Outcome::Taken:
            break;
    }
    for (const fs::path& folder : {arkApi / "Plugins", target}) {
        if (const auto fault = FolderFault(folder)) {
            return Refused(*fault);
        }
    }

    auto checked = CheckedPackage(package);
    if (const auto* fault = std::get_if<std::string>(&checked)) {
        return Refused(*fault);
    }
    const PackageList& list = std::get<PackageList>(checked);
    const fs::path source = package / PluginFolder;
    if (fs::equivalent(source, target, error)) {
        return Refused(
            "the package was extracted into this server's folder: extract it into a folder of its own and install "
            "from there." +
            NothingWrittenText);
    }

    // The plugin folder's files, the library first; config.json is the admin's.
    std::vector<fs::path> names;
    for (const ListedFile& file : list.files) {
        if (PathFromText(file.name) != ConfigName) {
            names.push_back(PathFromText(file.name));
        }
    }
    std::sort(names.begin(), names.end(), [](const fs::path& a, const fs::path& b) {
        return std::make_pair(a != LibraryName, a) < std::make_pair(b != LibraryName, b);
    });
    for (const auto& name : names) {
        if (const auto status = fs::symlink_status(target / name, error);
            fs::exists(status) && (!fs::is_regular_file(status) || LinkAt(target / name))) {
            return Refused(Shown(target / name) + " is not a regular file." + NothingWrittenText);
        }
        if (IsReadOnlyFile(target / name)) {
            return Refused(Shown(target / name) +
                           " is read-only: clear its read-only attribute (attrib -r, or the file's Properties) and "
                           "install again." +
                           NothingWrittenText);
        }
    }

    // Everything is checked: from here on the plugin folder is written. Every new file is written
    // whole beside the old one before any old one is replaced.
    std::cout << "package: " LUMORA_NAME " " << EscapeText(list.version) << " from " << Shown(package) << ", "
              << list.files.size() << " files, each as its list gives it (size and SHA-256)\n";
    std::cout << "installing into " << Shown(target) << '\n';
    for (const fs::path& folder : {arkApi / "Plugins", target}) {
        if (!fs::is_directory(folder, error) && !fs::create_directory(folder, error) && error) {
            return Refused("could not make " + Shown(folder) + ": " + EscapeText(error.message()) + "." +
                           NothingWrittenText);
        }
    }
    std::vector<fs::path> installing = names;
    installing.push_back(ConfigName);
    RemoveLeftParts(target, installing);

    WatchForStop();
    Parts parts;
    for (const auto& name : names) {
        parts.paths.push_back(PartPath(target / name));
        const FileSum copied = CopyIntoNewFile(source / name, parts.paths.back());
        StopIfAsked(parts);
        if (!copied.failed.empty()) {
            return Refused("could not write " + Shown(parts.paths.back()) + ": " + EscapeText(copied.failed) +
                           ". Nothing was changed.");
        }
        const auto listed = std::find_if(list.files.begin(), list.files.end(),
                                         [&](const ListedFile& file) { return file.name == PathText(name); });
        if (copied.sha256 != listed->sha256) {
            return Refused(Shown(source / name) + " changed while it was copied. Nothing was changed.");
        }
        GiveInstalledMode(parts.paths.back(), source / name, target / name);
    }
    StopIfAsked(parts);

    // The renames are quick and a stop between them would leave two versions: a stop asked for
    // now is not heeded.
    std::vector<std::string> replaced;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool existed = fs::exists(fs::symlink_status(target / names[i], error));
        fs::rename(parts.paths[i], target / names[i], error);
        if (error) {
            const std::string reason =
                "could not replace " + Shown(target / names[i]) + ": " + EscapeText(error.message()) + ". ";
            parts.RemoveFrom(i);
            if (i == 0) {
                return Refused(
                    reason +
                    "The server may have the plugin loaded: stop the server, or run plugins.unload " LUMORA_NAME
                    " at its console, and install again. Nothing was changed.");
            }
            std::string done;
            for (std::size_t j = 0; j < i; ++j) {
                done += (j == 0 ? "" : ", ") + Shown(names[j]);
            }
            return Refused(reason + "The plugin folder now holds this version's " + done +
                               " and the older version's other files, which must not be loaded together: install "
                               "again once the reason is gone.",
                           PartlyReplaced);
        }
        std::cout << (existed ? "replaced " : "added    ") << Shown(names[i]) << '\n';
    }
    parts.paths.clear();

    const fs::path config = target / ConfigName;
    if (fs::exists(fs::symlink_status(config, error)) || LinkAt(config)) {
        std::cout << "kept     " << Shown(ConfigName) << ", not changed\n";
        return {Installed, config};
    }
    // Written whole under another name and moved into place only where there is still none: a
    // full disk or a kill leaves no half file for the next install to keep as the admin's.
    parts.paths.push_back(PartPath(config));
    const FileSum copied = CopyIntoNewFile(source / ConfigName, parts.paths.back());
    failed = copied.failed;
    if (failed.empty()) {
        GiveInstalledMode(parts.paths.back(), source / ConfigName, config);
        failed = MoveWithoutReplacing(parts.paths.back(), config);
    }
    if (!failed.empty()) {
        return Refused("could not write " + Shown(config) + ": " + EscapeText(failed) +
                           ". The plugin's files are "
                           "installed, but without a config.json the plugin runs on its built-in values: install again "
                           "once the reason is gone (it then adds only config.json).",
                       NoConfig);
    }
    parts.paths.clear();
    std::cout << "added    " << Shown(ConfigName) << " (the built-in configuration)\n";
    return {Installed, config};
}

}  // namespace Lumora
