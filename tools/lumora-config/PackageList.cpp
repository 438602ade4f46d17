#include "lumora-config/PackageList.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <sstream>

#include "text/ToolText.h"

namespace Lumora {

namespace {

bool IsSum(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(),
                                            [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A file's own name: no folder, nothing the system reads as a place or a device.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:\r\n") == std::string::npos &&
           std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20; });
}

}  // namespace

std::filesystem::path PackageListPath(const std::filesystem::path& package) {
    return package / PathFromText(LUMORA_PACKAGE_LIST_PATH).make_preferred();
}

std::variant<PackageList, std::string> ParsePackageList(const std::string& text) {
    PackageList list;
    std::istringstream lines(text);
    std::string line;
    std::set<std::string> names;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string where = "line " + std::to_string(number);
        if (number == 1) {
            const auto space = line.find(' ');
            if (space == std::string::npos || space == 0 || space + 1 == line.size()) {
                return where + " is not the plugin's name and version";
            }
            list.name = line.substr(0, space);
            list.version = line.substr(space + 1);
            continue;
        }
        const bool optional = line.starts_with("optional ");
        if (optional) {
            line.erase(0, std::string_view("optional ").size());
        }
        const auto first = line.find(' ');
        const auto second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos) {
            return where + " is not a sum, a size and a name";
        }
        ListedFile file{line.substr(second + 1), 0, line.substr(0, first), optional};
        const std::string size = line.substr(first + 1, second - first - 1);
        const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), file.size);
        if (!IsSum(file.sha256) || size.empty() || error != std::errc() || end != size.data() + size.size() ||
            !IsPlainName(file.name)) {
            return where + " is not a sum, a size and a name";
        }
        // The symbols ship in a zip of their own; a package without any other file is no package.
        if (optional && !file.name.ends_with(".pdb")) {
            return where + " marks " + file.name + " optional, which only the symbols (.pdb) may be";
        }
        if (!names.insert(file.name).second) {
            return where + " names " + file.name + " a second time";
        }
        list.files.push_back(std::move(file));
    }
    if (list.version.empty()) {
        return std::string("it is empty");
    }
    return list;
}

}  // namespace Lumora
