#pragma once
// The largest valid config.json: what the size limit must let through, and what the docs quote.

#include <string>

namespace Lumora {

// Every list with its most entries, every entry and text at its most bytes (the keys' own limits).
// Escaped, each of its characters is written as \u00XX.
std::string LargestValidFile(bool escaped);

}  // namespace Lumora
