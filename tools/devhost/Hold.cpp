#include "devhost/Hold.h"

#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include "text/ToolText.h"

namespace Lumora {

int HoldLibrary(const std::filesystem::path& path) {
    const std::string shown = EscapeText(PathText(path));
    std::string reason;
    const std::shared_ptr<void> mapped = MapLibrary(path, reason);
    if (!mapped) {
        std::cerr << "lumora-devhost: could not map " << shown << ": " << EscapeText(reason) << '\n';
        return 1;
    }
    std::cout << "holding " << shown << " (mapped, nothing in it called) until the input ends" << std::endl;
    std::cin.ignore(std::numeric_limits<std::streamsize>::max());
    std::cout << "released " << shown << '\n';
    return 0;
}

}  // namespace Lumora
