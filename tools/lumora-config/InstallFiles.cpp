#include "lumora-config/InstallFiles.h"

#include <random>

#include "plugin/Version.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;

namespace Lumora {

const char* const InstallLockName = LUMORA_NAME ".install-lock";

bool (*TakenForLink)(const fs::path& path) = nullptr;

fs::path InstallLockPath(const fs::path& server) { return server / "ArkApi" / InstallLockName; }

InstallLock::Outcome InstallLock::Take(const fs::path& path, std::unique_ptr<InstallLock>& lock, std::string& failed) {
    const FolderOpened folder = OpenNamedFolder(path.parent_path());
    if (folder.kind != EntryKind::Folder) {
        failed = folder.failed.empty() ? "its folder is not there" : folder.failed;
        return Outcome::Failed;
    }
    return Take(folder.folder, path.filename(), lock, failed);
}

fs::path PartName(const fs::path& name) {
    fs::path part = name;
    part += ".part-" + std::to_string(std::random_device{}());
    return part;
}

bool IsPartOf(const fs::path& file, const fs::path& name) {
    const std::string text = PathText(file);
    const std::string prefix = PathText(name) + ".part-";
    // Digits after the dash, at least one: an admin's "Lumora.dll.part-" is no part of an install.
    return text.size() > prefix.size() && text.starts_with(prefix) &&
           text.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

}  // namespace Lumora
