#include "lumora-config/Install.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <system_error>
#include <variant>
#include <vector>

#include "config/ConfigLoader.h"
#include "config/RegularFile.h"
#include "generated/Version.h"
#include "lumora-config/InstallFiles.h"
#include "lumora-config/PackageList.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;

namespace Lumora {

const char* const InstallStatusLines =
    "0  installed, and the config.json in place is valid\n"
    "1  installed, but this version refuses the config.json in place: fix it before the server starts\n"
    "2  nothing was written (the reason is printed)\n"
    "3  some of the plugin's files were replaced, not all, or the plugin folder changed while the install ran: "
    "install again once the reason is gone\n"
    "4  the plugin's files were installed, but config.json could not be written: install again\n"
    "5  installed, but config.json is a link or no regular file, which install does not check: make it the file "
    "itself\n"
    "6  standard output could not be written (every command): its other messages say what was done\n";

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
    return {status, {}, {}};
}

// Where the link name in folder points, for a message.
std::string LinkTargetText(const HeldFolder& folder, const fs::path& name) {
    const fs::path target = LinkTargetIn(folder, name);
    return target.empty() ? std::string("a place the system does not name") : Shown(target);
}

// Why a folder on the way, name in parent, cannot be used, when it is there.
std::string FolderFault(const HeldFolder& parent, const fs::path& name, const FolderOpened& opened) {
    const fs::path path = parent.Path() / name;
    switch (opened.kind) {
        case EntryKind::Link:
            return Shown(path) + " is a link to " + LinkTargetText(parent, name) +
                   ": install writes only into the server's own folders, never through a link." + NothingWrittenText;
        case EntryKind::Other:
            if (!opened.failed.empty()) {
                return "could not open " + Shown(path) + ": " + EscapeText(opened.failed) + "." + NothingWrittenText;
            }
            [[fallthrough]];
        default:
            return Shown(path) + " is not a folder." + NothingWrittenText;
    }
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

std::string KindText(const HeldFolder& folder, const fs::path& name, const Entry& entry) {
    switch (entry.kind) {
        case EntryKind::Missing:
            return "nothing";
        case EntryKind::Link:
            return "a link to " + LinkTargetText(folder, name);
        case EntryKind::Folder:
            return "a folder";
        case EntryKind::File:
            return "another file";
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
        const FileSum sum = SumFile(path, file.size);
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
void RemoveLeftParts(const HeldFolder& target, const std::vector<fs::path>& names) {
    std::vector<fs::path> left;
    for (const fs::path& file : NamesIn(target)) {
        for (const fs::path& name : names) {
            if (IsPartOf(file, name) && EntryIn(target, file).kind == EntryKind::File) {
                left.push_back(file);
            }
        }
    }
    std::sort(left.begin(), left.end());
    for (const fs::path& part : left) {
        if (RemoveFileIn(target, part)) {
            std::cout << "removed  " << Shown(part) << " (left by an install that was stopped)\n";
        }
    }
}

// The folders from the server's own down to the plugin folder, held open in that order, and
// which of them this install made (removed again when it refuses).
struct FolderChain {
    std::vector<fs::path> names;   // ArkApi, Plugins, the plugin's own
    std::vector<HeldFolder> held;  // the server's folder, then one for each name
    std::size_t made = 0;          // how many of the last ones this install made
    bool keep = false;             // set once a file is in place

    const HeldFolder& Target() const { return held.back(); }
    ~FolderChain() {
        for (std::size_t i = held.size() - 1; !keep && made > 0; --i, --made) {
            RemoveEmptyFolderIn(held[i - 1], names[i - 1], held[i]);
        }
    }
    // What stands at a held folder's name now, when that is no longer the folder held.
    std::optional<std::string> Moved() const {
        for (std::size_t i = 1; i < held.size(); ++i) {
            if (const Entry now = EntryIn(held[i - 1], names[i - 1]);
                now.kind != EntryKind::Folder || now.id != held[i].Id()) {
                return Shown(held[i].Path()) + " was moved or replaced while the install ran (it is now " +
                       KindText(held[i - 1], names[i - 1], now) + ")";
            }
        }
        return std::nullopt;
    }
};

// Stops here when asked to: the part files go, and nothing of the plugin folder was changed.
void StopIfAsked(std::vector<std::unique_ptr<PartFile>>& parts) {
    if (StopAsked()) {
        parts.clear();
        std::cerr << "lumora-config: stopped: the part files were removed and nothing was changed\n";
        EndAsStopped();
    }
}

// Names, one after the other, for a message.
std::string NameList(const std::vector<fs::path>& names, std::size_t count) {
    std::string text;
    for (std::size_t j = 0; j < count; ++j) {
        text += (j == 0 ? "" : ", ") + Shown(names[j]);
    }
    return text;
}

// The part file of name in target, written from the package's file from as listed gives it and
// given its mode, or the fault that stopped it, naming the file at fault.
struct WrittenPart {
    std::unique_ptr<PartFile> part;
    std::string fault;
};
WrittenPart WritePart(const HeldFolder& target, const fs::path& name, const fs::path& from, const ListedFile& listed) {
    WrittenPart written;
    std::string failed;
    written.part = PartFile::Make(target, name, failed);
    if (!written.part) {
        written.fault = "could not write a new file beside " + Shown(target.Path() / name) + ": " + EscapeText(failed);
        return written;
    }
    const auto writeFault = [&](const std::string& error) {
        return "could not write " + Shown(target.Path() / written.part->Name()) + ": " + EscapeText(error);
    };
    const PartFile::Copied copied = written.part->CopyFrom(from, listed.size);
    if (copied.readFailed) {
        written.fault = "could not read " + Shown(from) + ": " + EscapeText(copied.sum.failed);
    } else if (!copied.sum.failed.empty()) {
        written.fault = writeFault(copied.sum.failed);
    } else if (copied.sum.sha256 != listed.sha256 || copied.sum.size != listed.size) {
        written.fault = Shown(from) + " changed while it was copied";
    } else if (const std::string error = written.part->Finish(from); !error.empty()) {
        written.fault = writeFault(error);
    }
    if (!written.fault.empty()) {
        written.part.reset();
    }
    return written;
}

// Why part, which this install wrote, is no longer at its name; nothing while it is.
std::optional<std::string> PartReplaced(const HeldFolder& target, const PartFile& part) {
    if (part.AtItsName()) {
        return std::nullopt;
    }
    return Shown(target.Path() / part.Name()) + ", which this install wrote, was replaced by " +
           KindText(target, part.Name(), EntryIn(target, part.Name())) + " while the install ran";
}

}  // namespace

std::optional<fs::path> OwnPackage() {
    const std::optional<fs::path> program = OwnProgram();
    return program ? std::optional<fs::path>(program->parent_path().parent_path()) : std::nullopt;
}

InstallOutcome InstallPluginFolder(const fs::path& serverGiven, const fs::path& packageGiven) {
    const fs::path server = SystemPath(serverGiven);
    const fs::path package = SystemPath(packageGiven);
    const std::string noArkApi = Shown(server) +
                                 " holds no ArkApi folder: name the server's folder that holds ArkApi (on Windows, "
                                 "ShooterGame/Binaries/Win64)." +
                                 NothingWrittenText;
    FolderChain chain;
    chain.names.assign(PluginFolder.begin(), PluginFolder.end());
    // The server's folder itself may be a link: the admin named it. Below it, nothing is.
    FolderOpened opened = OpenNamedFolder(server);
    if (opened.kind != EntryKind::Folder) {
        return Refused(noArkApi);
    }
    chain.held.push_back(std::move(opened.folder));
    opened = OpenFolderIn(chain.held[0], chain.names[0]);
    if (opened.kind == EntryKind::Missing) {
        return Refused(noArkApi);
    }
    if (opened.kind != EntryKind::Folder) {
        return Refused(FolderFault(chain.held[0], chain.names[0], opened));
    }
    chain.held.push_back(std::move(opened.folder));

    // One install at a time, before anything of the plugin folder is read.
    std::unique_ptr<InstallLock> lock;
    std::string failed;
    const fs::path lockPath = chain.held[1].Path() / InstallLockName;
    switch (InstallLock::Take(chain.held[1], InstallLockName, lock, failed)) {
        case InstallLock::Outcome::Busy:
            return Refused("another install into " + Shown(server) + " is running (it holds " + Shown(lockPath) +
                           "): let it end, then install again." + NothingWrittenText);
        case InstallLock::Outcome::Failed:
            return Refused("could not lock " + Shown(lockPath) + ": " + EscapeText(failed) + "." + NothingWrittenText);
        case InstallLock::Outcome::Taken:
            break;
    }
    // The rest of the way, each folder opened from the one before it, up to the first that is
    // missing: it and those below it are made later.
    for (std::size_t i = 1; i < chain.names.size(); ++i) {
        opened = OpenFolderIn(chain.held[i], chain.names[i]);
        if (opened.kind == EntryKind::Missing) {
            break;
        }
        if (opened.kind != EntryKind::Folder) {
            return Refused(FolderFault(chain.held[i], chain.names[i], opened));
        }
        chain.held.push_back(std::move(opened.folder));
    }

    auto checked = CheckedPackage(package);
    if (const auto* fault = std::get_if<std::string>(&checked)) {
        return Refused(*fault);
    }
    const PackageList& list = std::get<PackageList>(checked);
    const fs::path source = package / PluginFolder;
    const bool complete = chain.held.size() == chain.names.size() + 1;
    if (const FolderOpened from = OpenNamedFolder(source);
        complete && from.kind == EntryKind::Folder && from.folder.Id() == chain.Target().Id()) {
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
        const Entry entry = complete ? EntryIn(chain.Target(), name) : Entry{};
        if (entry.kind != EntryKind::Missing && entry.kind != EntryKind::File) {
            return Refused(Shown(chain.Target().Path() / name) + " is not a regular file." + NothingWrittenText);
        }
        if (entry.readOnly) {
            return Refused(Shown(chain.Target().Path() / name) +
                           " is read-only: clear its read-only attribute (attrib -r, or the file's Properties) and "
                           "install again." +
                           NothingWrittenText);
        }
    }

    // Everything is checked: from here on the plugin folder is written. Every new file is written
    // whole beside the old one before any old one is replaced.
    const fs::path targetPath = chain.held[0].Path() / PluginFolder;
    std::cout << "package: " LUMORA_NAME " " << EscapeText(list.version) << " from " << Shown(package) << ", "
              << list.files.size() << " files, each as its list gives it (size and SHA-256)\n";
    std::cout << "installing into " << Shown(targetPath) << '\n';
    for (std::size_t i = chain.held.size() - 1; i < chain.names.size(); ++i) {
        FolderOpened made = MakeFolderIn(chain.held[i], chain.names[i]);
        if (made.kind != EntryKind::Folder) {
            return Refused(made.failed.empty() ? FolderFault(chain.held[i], chain.names[i], made)
                                               : "could not make " + Shown(chain.held[i].Path() / chain.names[i]) +
                                                     ": " + EscapeText(made.failed) + "." + NothingWrittenText);
        }
        chain.held.push_back(std::move(made.folder));
        ++chain.made;
    }
    const HeldFolder& target = chain.Target();
    std::vector<fs::path> installing = names;
    installing.push_back(ConfigName);
    RemoveLeftParts(target, installing);

    WatchForStop();
    const auto listedAs = [&](const fs::path& name) -> const ListedFile& {
        return *std::find_if(list.files.begin(), list.files.end(),
                             [&](const ListedFile& file) { return file.name == PathText(name); });
    };
    std::vector<std::unique_ptr<PartFile>> parts;
    for (const auto& name : names) {
        WrittenPart written = WritePart(target, name, source / name, listedAs(name));
        if (written.part) {
            parts.push_back(std::move(written.part));
        }
        StopIfAsked(parts);
        if (!written.fault.empty()) {
            return Refused(written.fault + ". Nothing was changed.");
        }
    }
    StopIfAsked(parts);
    for (const auto& part : parts) {
        if (const auto replaced = PartReplaced(target, *part)) {
            return Refused(*replaced + ". Nothing was changed.");
        }
    }

    // The renames are quick and a stop between them would leave two versions: a stop asked for
    // now is not heeded.
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool existed = EntryIn(target, names[i]).kind != EntryKind::Missing;
        if (const std::string error = parts[i]->MoveTo(names[i], true); !error.empty()) {
            const std::string reason =
                "could not replace " + Shown(target.Path() / names[i]) + ": " + EscapeText(error) + ". ";
            if (i == 0) {
                return Refused(
                    reason +
                    "The server may have the plugin loaded: stop the server, or run plugins.unload " LUMORA_NAME
                    " at its console, and install again. Nothing was changed.");
            }
            chain.keep = true;
            return Refused(reason + "The plugin folder now holds this version's " + NameList(names, i) +
                               " and the older version's other files, which must not be loaded together: install "
                               "again once the reason is gone.",
                           PartlyReplaced);
        }
        chain.keep = true;
        std::cout << (existed ? "replaced " : "added    ") << Shown(names[i]) << '\n';
    }
    // What stands at each name is what was written there, in the folder that was checked.
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (const Entry now = EntryIn(target, names[i]); now.kind != EntryKind::File || now.id != parts[i]->Id()) {
            return Refused(Shown(target.Path() / names[i]) + " is not the file this install wrote: it is now " +
                               KindText(target, names[i], now) +
                               ". The plugin folder was changed while the install ran: install again.",
                           PartlyReplaced);
        }
    }
    if (const auto moved = chain.Moved()) {
        return Refused(*moved +
                           ": this install's files went into the folder it checked, wherever that is now. "
                           "Install again.",
                       PartlyReplaced);
    }
    parts.clear();

    InstallOutcome outcome{Installed, target.Path() / ConfigName, {}};
    const Entry config = EntryIn(target, ConfigName);
    if (config.kind == EntryKind::Missing) {
        // Written whole under another name and moved into place only where there is still none: a
        // full disk or a kill leaves no half file for the next install to keep as the admin's.
        WrittenPart written = WritePart(target, ConfigName, source / ConfigName, listedAs(ConfigName));
        std::string fault = written.part ? PartReplaced(target, *written.part).value_or("") : written.fault;
        if (fault.empty()) {
            if (const std::string error = written.part->MoveTo(ConfigName, false); !error.empty()) {
                fault = "could not write " + Shown(outcome.config) + ": " + EscapeText(error);
            }
        }
        if (!fault.empty()) {
            return Refused(fault +
                               ". The plugin's files are installed, but without a config.json the plugin runs on its "
                               "built-in values: install again once the reason is gone (it then adds only "
                               "config.json).",
                           NoConfig);
        }
        std::cout << "added    " << Shown(ConfigName) << " (the built-in configuration)\n";
    } else {
        std::cout << "kept     " << Shown(ConfigName) << ", not changed\n";
    }
    // Read as the plugin will find it, from the folder checked, never through a link.
    const Entry now = EntryIn(target, ConfigName);
    std::optional<std::string> bytes =
        now.kind == EntryKind::File ? ReadFileIn(target, ConfigName, MaxConfigBytes) : std::nullopt;
    if (!bytes) {
        return Refused(Shown(outcome.config) +
                           (now.kind == EntryKind::File ? " could not be read"
                                                        : " is " + KindText(target, ConfigName, now) +
                                                              ", and install checks only a regular file, never "
                                                              "through a link") +
                           ". The plugin's files are installed; make config.json the file itself and check it with "
                           "lumora-config check before the server starts.",
                       ConfigUnchecked);
    }
    outcome.configBytes = std::move(*bytes);
    return outcome;
}

}  // namespace Lumora
