#include "facts/LargestFile.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "config/ConfigKeys.h"

namespace Lumora {

std::string LargestValidFile(bool escaped) {
    const auto text = [&](const std::string& plain) {
        if (!escaped) {
            return "\"" + plain + "\"";
        }
        std::string written = "\"";
        for (unsigned char c : plain) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            written += code;
        }
        return written + "\"";
    };
    // Entries that differ, so that aliases stay as many once freed of duplicates.
    const auto list = [&](const ConfigKey& key, char letter) {
        std::string items = "[";
        for (std::size_t i = 0; i < MaxEntries; ++i) {
            const std::string head = (key.kind == KeyKind::Aliases ? "/" : "r.") + std::to_string(100 + i);
            items += (i ? "," : "") + text(head + std::string(MaxBytesOf(key) - head.size() - 2, letter) + " 1");
        }
        return items + "]";
    };
    std::string file;
    for (const ConfigKey& key : ConfigKeyTable) {
        std::string value;
        switch (key.kind) {
            case KeyKind::Aliases:
            case KeyKind::Commands:
                // OnCommands too, which the loader takes beside Presets.
                value = list(key, 'x');
                break;
            case KeyKind::Presets:
                for (std::string_view level : PresetLevelNames) {
                    value += (value.empty() ? "{" : ",") + text(std::string(level)) + ":" + list(key, 'x');
                }
                value += "}";
                break;
            case KeyKind::Text:
                value = text(std::string(MaxBytesOf(key), 'm'));
                break;
            case KeyKind::PresetName:
                // The longest level name.
                value = text(std::string(
                    *std::max_element(PresetLevelNames.begin(), PresetLevelNames.end(),
                                      [](std::string_view a, std::string_view b) { return a.size() < b.size(); })));
                break;
            case KeyKind::Boolean:
                value = "false";
                break;
        }
        if (!value.empty()) {
            file += (file.empty() ? "{" : ",") + text(std::string(key.name)) + ":" + value;
        }
    }
    return file + "}";
}

}  // namespace Lumora
