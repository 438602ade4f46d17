#pragma once
// One pass over config.json's bytes, as the plugin reads them: only what validation reads is built,
// so that no file within the size limit costs more than a few times its size.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json.hpp>

namespace Lumora {

// How deep arrays and objects may nest; a valid file needs three levels.
inline constexpr std::size_t MaxConfigDepth = 64;

// How many keys given twice the pass notes with their places; the rest are only counted.
inline constexpr std::size_t MaxNotedKeysGivenTwice = 64;
// One pass over config.json's bytes, as the plugin reads them.
struct ConfigText {
    nlohmann::json root;                    // what validation reads; with whole, every member
    std::optional<std::string> fault;       // the first fault of the text, as the load reports it
    std::optional<std::size_t> overflowAt;  // where a number too large for a double begins
    // With whole only: what the plugin passes over in silence. A key given twice in one object
    // (where it is, as "Presets.low: ", and the key; the first MaxNotedKeysGivenTwice of them, and
    // how many in all), content after the first value (its byte).
    std::vector<std::pair<std::string, std::string>> keysGivenTwice;
    std::size_t keysGivenTwiceCount = 0;
    std::optional<std::size_t> contentAfterAt;
};
// The value that the load validates (whole: the whole document, for the checker and the fuzzer's
// oracle), or the fault that the load reports for the text.
ConfigText ReadConfigText(const std::string& bytes, bool whole);

}  // namespace Lumora
