#pragma once
// The package's list of its plugin folder's files, which packaging writes beside the checker:
//   Lumora 1.2.0
//   <SHA-256, 64 hexadecimal digits> <size in bytes> <file name>
// one file a line; "optional " before a line lists a file that may be missing (the symbols, which
// ship in a zip of their own). install checks every file against it before it writes anything.

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace Lumora {

// Where the list is, from the package's folder.
std::filesystem::path PackageListPath(const std::filesystem::path& package);

// No file of the plugin comes near this: a larger one is no file of a package.
constexpr std::uint64_t MaxPackageFileBytes = std::uint64_t{64} << 20;

struct ListedFile {
    std::string name;
    std::uint64_t size = 0;
    std::string sha256;
    bool optional = false;
};

struct PackageList {
    std::string name;  // the plugin's, as the first line gives it
    std::string version;
    std::vector<ListedFile> files;
};

// The list in text, or why it is no list (which line, and what is wrong with it).
std::variant<PackageList, std::string> ParsePackageList(const std::string& text);

}  // namespace Lumora
