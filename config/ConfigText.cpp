// The one pass over config.json's bytes that both the plugin and the checker read it with.
#include "config/ConfigText.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "config/ConfigKeys.h"
#include "config/PluginConfig.h"
#include "host/ShownText.h"

namespace Lumora {
namespace {

// Builds, in one pass over the bytes, only the part of the document that validation reads: the
// known keys of the top-level object, the preset names inside "Presets", and no more entries of a
// list than the first one too many. Everything else is parsed and dropped, so that no file the size
// limit lets through costs more than a few times its size, whatever its shape; nesting deeper than
// MaxConfigDepth stops the pass there. Validation reports the same fault either way: it reads only
// what is kept, and stops at the first fault of a list, which comes at the latest one entry past
// MaxEntries. With whole (the checker), every member is kept, and what the plugin passes over in
// silence is noted: a key given twice in one object, content after the first value.
class WhatTheLoaderReads {
public:
    using json = nlohmann::json;

    explicit WhatTheLoaderReads(ConfigText& out, bool whole) : out_(out), whole_(whole) {}

    bool null() { return Put(nullptr); }
    bool boolean(bool value) { return Put(value); }
    bool number_integer(json::number_integer_t value) { return Put(value); }
    bool number_unsigned(json::number_unsigned_t value) { return Put(value); }
    bool number_float(json::number_float_t value, const json::string_t&) { return Put(value); }
    bool string(json::string_t& value) { return Put(std::move(value)); }
    bool binary(json::binary_t&) { return Put(nullptr); }
    bool start_object(std::size_t) { return Start(true); }
    bool start_array(std::size_t) { return Start(false); }
    bool end_object() { return End(); }
    bool end_array() { return End(); }
    bool key(json::string_t& name) {
        Frame& frame = frames_.back();
        if (whole_ && !frame.keys.insert(name).second && ++out_.keysGivenTwiceCount <= MaxNotedKeysGivenTwice) {
            out_.keysGivenTwice.push_back({Where(), name});
        }
        frame.key = std::move(name);
        frame.keyKept = frame.container != nullptr &&
                        (whole_ || (frame.children == Children::ConfigKeys && IsConfigKey(frame.key)) ||
                         (frame.children == Children::PresetLevels && IsLevel(frame.key)));
        return true;
    }
    bool parse_error(std::size_t position, const std::string& token, const json::exception& fault) {
        if (complete_) {
            out_.contentAfterAt = position;  // read only with whole: the plugin stops at the value
        } else {
            out_.fault = fault.what();
            // The library names no place for a number it cannot hold.
            if (fault.id == 406) {
                out_.overflowAt = position - std::min(position, token.size());
            }
        }
        return false;
    }

    bool tooDeep = false;

private:
    // Which children of a container validation reads.
    enum class Children { None, ConfigKeys, PresetLevels, Entries };
    struct Frame {
        json* container = nullptr;  // null when the container itself is dropped
        Children children = Children::None;
        std::size_t count = 0;
        std::string key;
        bool keyKept = false;
        std::set<std::string> keys;  // with whole
    };

    static bool IsConfigKey(const std::string& name) { return FindConfigKey(name) != nullptr; }
    static bool IsLevel(const std::string& name) {
        return std::find(PresetLevelNames.begin(), PresetLevelNames.end(), name) != PresetLevelNames.end();
    }
    // What validation reads inside the value of a top-level key: the entries of a list, the
    // levels of the presets.
    static Children ChildrenOf(const std::string& name, bool object) {
        const ConfigKey* key = FindConfigKey(name);
        if (key == nullptr) {
            return Children::None;
        }
        switch (key->kind) {
            case KeyKind::Aliases:
            case KeyKind::Commands:
                return object ? Children::None : Children::Entries;
            case KeyKind::Presets:
                return object ? Children::PresetLevels : Children::None;
            case KeyKind::PresetName:
            case KeyKind::Text:
            case KeyKind::Boolean:
                return Children::None;
        }
        return Children::None;
    }

    // The object being read, as the checker's warnings name it ("Presets", "Presets.low[2]"), or
    // nothing at the top. Keys are the file's own text and nesting can be deep: escaped and cut, and
    // a key of anything but letters, digits, "_" and "-" quoted, so that no key reads as a statement.
    static std::string PathKey(const std::string& key) {
        const bool plain = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        });
        return plain ? EscapeAndCut(key) : '"' + EscapeQuoted(key, '"') + '"';
    }
    std::string Where() const {
        std::string path;
        for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
            if (path.size() > 4 * ShownPieceBytes) {
                path += "...";
                break;
            }
            const Frame& parent = frames_[i];
            if (parent.container != nullptr && parent.container->is_array()) {
                path += "[" + std::to_string(parent.count - 1) + "]";
            } else {
                path += (path.empty() ? "" : ".") + PathKey(parent.key);
            }
        }
        return path.empty() ? "" : path + ": ";
    }

    // Where the next value goes, or null when it is dropped.
    json* Slot() {
        if (frames_.empty()) {
            return &out_.root;
        }
        Frame& parent = frames_.back();
        if (parent.container == nullptr) {
            return nullptr;
        }
        if (parent.container->is_array()) {
            const bool kept = whole_ || (parent.children == Children::Entries && parent.count <= MaxEntries);
            ++parent.count;
            return kept ? &parent.container->emplace_back() : nullptr;
        }
        return parent.keyKept ? &(*parent.container)[parent.key] : nullptr;
    }
    template <typename Value>
    bool Put(Value&& value) {
        if (json* slot = Slot()) {
            *slot = std::forward<Value>(value);
        }
        complete_ = frames_.empty();
        return true;
    }
    bool Start(bool object) {
        if (frames_.size() >= MaxConfigDepth) {
            tooDeep = true;
            return false;
        }
        Frame frame;
        if (frames_.empty()) {
            frame.children = object ? Children::ConfigKeys : Children::None;
        } else if (frames_.size() == 1) {
            frame.children = ChildrenOf(frames_.back().key, object);
        } else if (!object && frames_.size() == 2 && frames_.back().children == Children::PresetLevels) {
            frame.children = Children::Entries;
        }
        frame.container = Slot();
        if (frame.container != nullptr) {
            *frame.container = object ? json::object() : json::array();  // built only when kept
        }
        frames_.push_back(std::move(frame));
        return true;
    }
    bool End() {
        frames_.pop_back();
        complete_ = frames_.empty();
        return true;
    }

    ConfigText& out_;
    const bool whole_;
    std::vector<Frame> frames_;
    bool complete_ = false;
};

// The line and column (from 1, in bytes) of the bracket that opens the given level. The text
// before it has parsed, so brackets are counted outside strings only.
std::pair<std::size_t, std::size_t> PositionOfLevel(std::string_view text, std::size_t level) {
    std::size_t depth = 0, line = 1, lineStart = 0;
    bool inString = false, escaped = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            lineStart = i + 1;
        } else if (inString) {
            inString = escaped || c != '"';
            escaped = !escaped && c == '\\';
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth == level) {
                return {line, i - lineStart + 1};
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return {line, text.size() - lineStart + 1};
}

}  // namespace

ConfigText ReadConfigText(const std::string& bytes, bool whole) {
    // The first complete value only (strict off; on with whole, to see what follows it); a leading
    // byte-order mark is skipped, comments are errors. The first fault in the text, a syntax error
    // in the library's own words or a level too deep, is the one reported. The library would build
    // the whole tree before it finds a fault, so a file of nothing but "[" would cost seconds and
    // gigabytes: this pass stops at the first level too deep.
    ConfigText text;
    WhatTheLoaderReads read(text, whole);
    if (!nlohmann::json::sax_parse(bytes, &read, nlohmann::json::input_format_t::json, whole, false) && read.tooDeep) {
        const auto [line, column] = PositionOfLevel(bytes, MaxConfigDepth + 1);
        text.fault = "config.json nests arrays and objects deeper than " + std::to_string(MaxConfigDepth) +
                     " levels at line " + std::to_string(line) + ", column " + std::to_string(column);
    }
    if (text.fault) {
        text.root = nullptr;
    }
    return text;
}

}  // namespace Lumora
