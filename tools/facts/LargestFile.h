#pragma once
// The largest valid config.json: what the size limit must let through, and what the docs quote.

#include <string>

namespace Lumora {

// Every key the loader takes together, every list with its most entries, every entry and text at
// its most bytes (the keys' own limits), the longest level name and false. Escaped, each of its
// characters is written as \u00XX.
// The one builder of it: the bench, the worst files' measurement, the docs' facts and the tests.
std::string LargestValidFile(bool escaped);

}  // namespace Lumora
