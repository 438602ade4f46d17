#include "lumora-config/InstallFiles.h"

#include <random>
#include <vector>

#include "generated/Version.h"
#include "lumora-config/ChunkCopy.h"
#include "lumora-config/Sha256.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;

namespace Lumora {

const char* const InstallLockName = LUMORA_NAME ".install-lock";

bool (*TakenForLink)(const fs::path& path) = nullptr;

HeldFolder::HeldFolder(HeldFolder&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
    other.handle_ = Closed;
}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        path_ = std::move(other.path_);
        other.handle_ = Closed;
    }
    return *this;
}

HeldFolder::~HeldFolder() { Close(); }

FileSum CopyInChunks(const std::function<Chunk(char*, std::size_t)>& read,
                     const std::function<std::string(const char*, std::size_t)>& write, std::uint64_t limit,
                     bool& writeFailed) {
    FileSum sum;
    Sha256 hash;
    std::vector<char> buffer(std::size_t{1} << 16);
    while (sum.size <= limit) {
        if (write && StopAsked()) {
            sum.failed = "the install was asked to stop";
            writeFailed = true;
            return sum;
        }
        const Chunk chunk = read(buffer.data(), buffer.size());
        if (!chunk.failed.empty()) {
            sum.failed = chunk.failed;
            return sum;
        }
        if (chunk.size == 0) {
            break;
        }
        hash.Add(buffer.data(), chunk.size);
        sum.size += chunk.size;
        // Past the limit nothing more is written: the copy is refused.
        if (write && sum.size <= limit) {
            if (std::string failed = write(buffer.data(), chunk.size); !failed.empty()) {
                sum.failed = std::move(failed);
                writeFailed = true;
                return sum;
            }
        }
    }
    sum.sha256 = hash.HexDigest();
    return sum;
}

PartFile::Copied JudgedCopy(FileSum sum, bool writeFailed, std::uint64_t size) {
    PartFile::Copied copied{std::move(sum)};
    copied.readFailed = copied.sum.size > size || (!copied.sum.failed.empty() && !writeFailed);
    if (copied.sum.size > size) {
        copied.sum.failed = "it grew past the " + std::to_string(size) + " bytes its list gives while it was copied";
    }
    return copied;
}

fs::path InstallLockPath(const fs::path& server) { return server / "ArkApi" / InstallLockName; }

InstallLock::Outcome InstallLock::Take(const fs::path& path, std::unique_ptr<InstallLock>& lock, std::string& failed) {
    const FolderOpened folder = OpenNamedFolder(path.parent_path());
    if (folder.kind != EntryKind::Folder) {
        failed = folder.failed.empty() ? "its folder is not there" : folder.failed;
        return Outcome::Failed;
    }
    return Take(folder.folder, path.filename(), lock, failed);
}

std::optional<std::u16string> ReparseTarget(const unsigned char* data, std::size_t size) {
    constexpr std::uint32_t SymbolicLink = 0xA000000C;
    constexpr std::uint32_t Junction = 0xA0000003;
    const auto read = [&](std::size_t at, std::size_t bytes) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            value |= static_cast<std::uint32_t>(data[at + i]) << (8 * i);
        }
        return value;
    };
    if (size < 16) {
        return std::nullopt;
    }
    const std::uint32_t tag = read(0, 4);
    if (tag != SymbolicLink && tag != Junction) {
        return std::nullopt;
    }
    // The tag, two lengths, four offsets and lengths; a symbolic link has its flags before the names.
    const std::size_t names = tag == SymbolicLink ? 20 : 16;
    const auto name = [&](std::size_t offsetAt) -> std::optional<std::u16string> {
        const std::size_t offset = read(offsetAt, 2);
        const std::size_t length = read(offsetAt + 2, 2);
        if (names > size || offset + length > size - names || length % 2 != 0) {
            return std::nullopt;
        }
        std::u16string text;
        for (std::size_t at = names + offset; at < names + offset + length; at += 2) {
            text += static_cast<char16_t>(read(at, 2));
        }
        return text;
    };
    const std::optional<std::u16string> printed = name(12);
    std::optional<std::u16string> substitute = name(8);
    if (!printed || !substitute) {
        return std::nullopt;
    }
    if (!printed->empty()) {
        return printed;
    }
    if (substitute->starts_with(u"\\??\\UNC\\")) {
        return u"\\\\" + substitute->substr(8);
    }
    if (substitute->starts_with(u"\\??\\")) {
        return substitute->substr(4);
    }
    return substitute;
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
