#pragma once
// What the development host prints with --json: one JSON object a line.

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace TestSupport {

// The JSON values of output, one a line; a line that is not JSON is skipped.
inline std::vector<nlohmann::json> JsonLines(const std::string& output) {
    std::vector<nlohmann::json> values;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        auto value = nlohmann::json::parse(line, nullptr, false);
        if (!value.is_discarded()) {
            values.push_back(std::move(value));
        }
    }
    return values;
}

}  // namespace TestSupport
