#include "lumora-config/Checks.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>

#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"
#include "lumora-config/InstallFiles.h"
#include "text/ToolText.h"

using nlohmann::json;

namespace Lumora {
namespace {

// A value from the file, quoted, escaped and cut.
std::string QuoteAndCut(const std::string& text) { return '"' + EscapeQuoted(text, '"') + '"'; }

// Client commands that do something other than set a variable, and what.
const std::map<std::string, std::string, std::less<>> KnownClientCommands = {
    {"open", "connects the client to another server or map"},
    {"travel", "connects the client to another server or map"},
    {"clienttravel", "connects the client to another server or map"},
    {"reconnect", "reconnects the client"},
    {"disconnect", "disconnects the client from the server"},
    {"exit", "quits the game"},
    {"quit", "quits the game"},
    {"exec", "runs a file of console commands"},
    {"bind", "changes a key binding"},
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return text;
}

std::string Trim(const std::string& text) {
    auto begin = text.find_first_not_of(" \t\r\n");
    auto end = text.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// A key as it may have been meant: without what does not show (controls, format characters,
// spaces of every kind), ASCII letters in lower case.
std::u32string Skeleton(const std::string& key) {
    std::u32string kept;
    for (char32_t c : CodePoints(key)) {
        const bool space = c == U' ' || c == U'\u00A0' || c == U'\u1680' || (c >= U'\u2000' && c <= U'\u200A') ||
                           c == U'\u202F' || c == U'\u205F' || c == U'\u3000';
        if (!space && !IsEscapedCharacter(c)) {
            kept += c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c;
        }
    }
    return kept;
}

// Levenshtein distance in characters, or limit + 1 once it is certainly more than limit.
std::size_t EditDistance(const std::u32string& a, const std::u32string& b, std::size_t limit) {
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) {
        return limit + 1;
    }
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A key still read only so that older files load, which another key replaces.
bool IsOlderKey(std::string_view name) {
    const ConfigKey* key = FindConfigKey(name);
    return key != nullptr && !key->replacedBy.empty();
}

// Every member that is not one of names is ignored by the plugin: say so, and name the key it most
// likely meant (equal once what does not show, spaces and letter case are set aside, or a letter or
// two away). "$schema" (for editors) and keys that begin with "_" (comments, in any object) are spared.
void WarnUnknownKeys(const json& object, const std::vector<std::string>& names, const std::string& where, bool topLevel,
                     WarningList& warnings) {
    for (const auto& [member, value] : object.items()) {
        if (std::find(names.begin(), names.end(), member) != names.end() || (topLevel && member == "$schema") ||
            member.rfind('_', 0) == 0) {
            continue;
        }
        const std::u32string shape = Skeleton(member);
        std::optional<std::string> meant;
        std::size_t best = std::max<std::size_t>(1, shape.size() / 4) + 1;
        for (const auto& name : names) {
            const std::size_t distance = EditDistance(shape, Skeleton(name), best);
            // A tie goes to a key of today over one still read only for older files.
            const bool older = IsOlderKey(name);
            const bool meantOlder = meant && IsOlderKey(*meant);
            if (distance < best || (distance == best && meantOlder && !older)) {
                best = distance;
                meant = name;
            }
        }
        std::string text = where + "member " + QuoteAndCut(member) + " is ignored: ";
        if (meant && Lower(Trim(member)) == Lower(*meant)) {
            text += "the key is \"" + *meant + "\" (letter case and spaces count)";
        } else if (meant) {
            text += "it is no key; did you mean \"" + *meant + "\"?";
        } else {
            text += "it is no key" + std::string(topLevel ? " of config.json" : " here");
        }
        AddWarning(warnings, "unknown key", text);
    }
}

// Everything after a U+0000 is lost when the text becomes an engine string.
void WarnZero(const std::string& text, const std::string& where, WarningList& warnings) {
    if (text.find('\0') != std::string::npos) {
        AddWarning(warnings, "zero",
                   where + QuoteAndCut(text) +
                       " holds U+0000: everything after it is dropped when the text reaches the engine");
    }
}

// The entries of a list, as many as a valid list may hold: a longer one fails the load anyway.
template <typename Visit>
void ForEachString(const json& list, Visit visit) {
    if (!list.is_array()) {
        return;
    }
    std::size_t index = 0;
    for (const auto& element : list) {
        if (index == MaxEntries) {
            break;
        }
        if (element.is_string()) {
            visit(element.get_ref<const std::string&>(), index);
        }
        ++index;
    }
}

void WarnCommands(const json& list, const std::string& key, bool preset, WarningList& warnings) {
    std::set<std::string> seen;
    ForEachString(list, [&](const std::string& command, std::size_t index) {
        const std::string where = key + "[" + std::to_string(index) + "]: ";
        WarnZero(command, where, warnings);
        const auto space = command.find(' ');
        const std::string first = command.substr(0, space);
        if (auto known = KnownClientCommands.find(Lower(first)); known != KnownClientCommands.end()) {
            AddWarning(warnings, "client command",
                       where + QuoteAndCut(command) + " is not a variable setting: the client command " + known->first +
                           " " + known->second + ", on the client of every player who applies it");
            return;
        }
        const bool wellFormed = space != std::string::npos && space > 0 && space + 1 < command.size() &&
                                command.find_first_of(" \t\r\n", space + 1) == std::string::npos &&
                                command.find_first_of(std::string_view("\t\r\n\0", 4)) == std::string::npos;
        if (!wellFormed) {
            AddWarning(warnings, "malformed",
                       where + QuoteAndCut(command) + " is not one variable name, one space and a value");
        }
        if (!seen.insert(first).second) {
            AddWarning(warnings, "set twice", where + "sets " + EscapeAndCut(first) + " more than once");
        }
        if (preset) {
            for (auto forced : ForcedPresetCommands) {
                if (SetsSameVariable(command, forced)) {
                    AddWarning(warnings, "forced",
                               where + QuoteAndCut(command) + " is replaced by the forced command \"" +
                                   std::string(forced) + "\"");
                }
            }
        }
    });
}

// The host matches a line's first word against each alias ignoring letter case, and calls the first.
void WarnAliases(const json& list, WarningList& warnings) {
    std::map<std::string, std::string> byFolded;
    std::set<std::string> aliases;
    ForEachString(list, [&](const std::string& alias, std::size_t) { aliases.insert(alias); });
    // The plugin registers them sorted, so the first in this order is the one the host calls.
    for (const auto& alias : aliases) {
        const std::string where = "ChatCommands: " + QuoteAndCut(alias) + " ";
        WarnZero(alias, "ChatCommands: ", warnings);
        if (alias.find(' ') != std::string::npos) {
            AddWarning(warnings, "alias space",
                       where + "holds a space: the host matches only a line's first word, so it can never be typed");
        }
        const auto control = std::find_if(alias.begin(), alias.end(), [](char c) {
            return c != '\0' && c != ' ' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
        });
        if (control != alias.end()) {
            AddWarning(warnings, "alias control",
                       where + "holds the control character " + EscapeText(std::string(1, *control)) +
                           ": no player can type it");
        }
        // The engine sees an alias only up to its first U+0000.
        const std::string seen = alias.substr(0, alias.find('\0'));
        auto [first, added] = byFolded.try_emplace(Lower(seen), alias);
        if (!added) {
            AddWarning(warnings, "alias twice",
                       where + "equals " + QuoteAndCut(first->second) +
                           (Lower(first->second) == Lower(alias) ? " ignoring letter case"
                                                                 : " ignoring letter case and what follows U+0000") +
                           ": the host only ever calls the first of them");
        }
    }
}

}  // namespace

void AddWarning(WarningList& list, const std::string& kind, std::string text) {
    WarningList::Kind& counted = list.kinds[kind];
    if (++counted.count <= MaxWarningsOfAKind) {
        list.lines.push_back(std::move(text));
    } else if (counted.count == MaxWarningsOfAKind + 1) {
        counted.moreAt = list.lines.size();
        list.lines.emplace_back();
    }
}

std::vector<std::string> WarningLines(const WarningList& list) {
    std::vector<std::string> lines = list.lines;
    for (const auto& [kind, counted] : list.kinds) {
        if (counted.count > MaxWarningsOfAKind) {
            lines[counted.moreAt] =
                "\u2026 and " + std::to_string(counted.count - MaxWarningsOfAKind) + " more like the one above";
        }
    }
    return lines;
}

ParsedFile ParseConfigText(const std::string& bytes) {
    ConfigText text = ReadConfigText(bytes, true);
    ParsedFile parsed;
    parsed.root = std::move(text.root);
    parsed.error = std::move(text.fault);
    static_assert(MaxNotedKeysGivenTwice >= MaxWarningsOfAKind, "every key given twice that is shown is noted");
    for (const auto& [where, key] : text.keysGivenTwice) {
        AddWarning(parsed.warnings, "twice",
                   where + "the key " + QuoteAndCut(key) + " is given twice in one object: only the last one counts");
    }
    for (std::size_t more = text.keysGivenTwice.size(); more < text.keysGivenTwiceCount; ++more) {
        AddWarning(parsed.warnings, "twice", "");  // counted for the "... and N more" line
    }
    if (text.contentAfterAt) {
        AddWarning(
            parsed.warnings, "trailing",
            "content after the first JSON value (from byte " + std::to_string(*text.contentAfterAt) + ") is ignored");
    }
    // The library takes a U+0000 byte for the end of the input, silently.
    if (const auto zero = bytes.find('\0'); !parsed.error && zero != std::string::npos) {
        AddWarning(parsed.warnings, "trailing",
                   "content after the first JSON value (from byte " + std::to_string(zero) + ") is ignored");
    }
    if (text.overflowAt) {
        const std::size_t at = *text.overflowAt;
        const std::size_t lineStart = bytes.rfind('\n', at == 0 ? 0 : at - 1);
        const std::size_t line = 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + at, '\n'));
        const std::size_t column = lineStart == std::string::npos || at == 0 ? at + 1 : at - lineStart;
        parsed.errorHint = "hint: the number at line " + std::to_string(line) + ", column " + std::to_string(column) +
                           " is too large for a JSON number (a double)";
    }
    return parsed;
}

std::optional<std::string> EncodingHint(const std::string& bytes) {
    const auto at = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100u; };
    const auto starts = [&](std::initializer_list<unsigned> prefix) {
        std::size_t i = 0;
        for (unsigned byte : prefix) {
            if (at(i++) != byte) {
                return false;
            }
        }
        return true;
    };
    std::string seen;
    if (starts({0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF})) {
        seen = "UTF-8 with its byte-order mark twice";
    } else if (starts({0xFF, 0xFE, 0x00, 0x00})) {
        seen = "UTF-32 (little-endian, with a byte-order mark)";
    } else if (starts({0x00, 0x00, 0xFE, 0xFF})) {
        seen = "UTF-32 (big-endian, with a byte-order mark)";
    } else if (starts({0xFF, 0xFE})) {
        seen = "UTF-16 (little-endian, with a byte-order mark)";
    } else if (starts({0xFE, 0xFF})) {
        seen = "UTF-16 (big-endian, with a byte-order mark)";
    } else if (bytes.size() >= 4 && at(0) != 0 && at(1) == 0 && at(2) == 0 && at(3) == 0) {
        seen = "UTF-32 (little-endian)";
    } else if (bytes.size() >= 4 && at(0) == 0 && at(1) == 0 && at(2) == 0 && at(3) != 0) {
        seen = "UTF-32 (big-endian)";
    } else if (bytes.size() >= 4 && at(0) != 0 && at(1) == 0 && at(2) != 0 && at(3) == 0) {
        seen = "UTF-16 (little-endian)";
    } else if (bytes.size() >= 4 && at(0) == 0 && at(1) != 0 && at(2) == 0 && at(3) != 0) {
        seen = "UTF-16 (big-endian)";
    } else if (starts({0xEF, 0xBB, 0xBF})) {
        // A second byte-order mark, of another encoding, behind the UTF-8 one that the plugin skips.
        auto behind = EncodingHint(bytes.substr(3));
        if (behind && behind->find("looks like UTF-") != std::string::npos) {
            const auto cut = behind->find(';');
            return behind->substr(0, cut) + ", behind a UTF-8 byte-order mark" + behind->substr(cut);
        }
        return behind;
    } else {
        if (IsValidUtf8(bytes)) {
            return std::nullopt;  // valid UTF-8 throughout
        }
        return "hint: the file is not valid UTF-8 (perhaps Latin-1 or Windows-1252); config.json must be UTF-8";
    }
    return "hint: the file looks like " + seen + "; config.json must be UTF-8" +
           (seen.starts_with("UTF-8") ? ", with at most one byte-order mark" : "");
}

std::optional<std::string> PathHint(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    const char* what = nullptr;
    switch (status.type()) {
        case fs::file_type::regular:
            return std::nullopt;
        case fs::file_type::not_found:
            what = "does not exist";
            break;
        case fs::file_type::directory:
            what = "is a folder";
            break;
        case fs::file_type::fifo:
            what = "is a named pipe (FIFO)";
            break;
        case fs::file_type::character:
        case fs::file_type::block:
            what = "is a device";
            break;
        case fs::file_type::socket:
            what = "is a socket";
            break;
        default:
            // Most often a folder on the way that cannot be searched: say what failed.
            return "hint: " + EscapeText(PathText(AdminPath(path))) +
                   " cannot be examined: " + EscapeText(error ? error.message() : "its type is unknown");
    }
    return "hint: " + EscapeText(PathText(AdminPath(path))) + " " + what + "; config.json must be a regular file";
}

void ContentWarnings(const json& root, WarningList& warnings) {
    if (!root.is_object()) {
        return;
    }
    std::vector<std::string> names;
    for (const ConfigKey& key : ConfigKeyTable) {
        names.emplace_back(key.name);
    }
    WarnUnknownKeys(root, names, "", true, warnings);
    for (const ConfigKey& key : ConfigKeyTable) {
        const std::string name(key.name);
        const auto member = root.find(name);
        if (member == root.end()) {
            continue;
        }
        switch (key.kind) {
            case KeyKind::Aliases:
                WarnAliases(*member, warnings);
                break;
            case KeyKind::Commands:
                if (OwnsField(key)) {
                    WarnCommands(*member, name, false, warnings);
                } else if (root.contains(std::string(key.replacedBy))) {
                    AddWarning(
                        warnings, "on dropped",
                        "\"" + name + "\" is dropped because \"" + std::string(key.replacedBy) + "\" is present");
                } else {
                    WarnCommands(*member, name, true, warnings);  // the default preset's list
                }
                break;
            case KeyKind::Presets:
                if (member->is_object()) {
                    std::vector<std::string> levels(PresetLevelNames.begin(), PresetLevelNames.end());
                    WarnUnknownKeys(*member, levels, name + ": ", false, warnings);
                    for (const auto& level : levels) {
                        if (auto list = member->find(level); list != member->end()) {
                            WarnCommands(*list, name + "." + level, true, warnings);
                        }
                    }
                }
                break;
            case KeyKind::PresetName:
            case KeyKind::Text:
                if (member->is_string()) {
                    WarnZero(member->get_ref<const std::string&>(), name + ": ", warnings);
                }
                break;
            case KeyKind::Boolean:
                break;
        }
    }
}

}  // namespace Lumora
