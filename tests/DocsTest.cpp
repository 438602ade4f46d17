// The docs held to the code: the admin guide's tables of keys, log lines and replies and its
// figures, the schema, the README's tables, and every exit status of install, as the code makes
// them now (scripts/docs/write-key-docs writes what it can).

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "config/ConfigLoader.h"
#include "host/Messages.h"
#include "support/ConfigToolTest.h"

using namespace Lumora;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using TestSupport::ShellQuoted;

namespace {

using Result = TestSupport::ToolResult;

class DocsTest : public TestSupport::ConfigToolTest {};

// Nothing when file holds what the generator writes now; else the hint first, then the first lines
// that differ (a whole schema would bury the hint).
std::string Stale(const std::string& name, const std::string& file, const std::string& written) {
    if (file == written) {
        return "";
    }
    const auto lines = [](const std::string& text) {
        std::vector<std::string> split;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            split.push_back(line);
        }
        return split;
    };
    const auto had = lines(file), now = lines(written);
    std::string report = name + " is not what the code makes now: run scripts/docs/write-key-docs\n";
    for (std::size_t i = 0, shown = 0; shown < 3 && i < std::max(had.size(), now.size()); ++i) {
        const std::string a = i < had.size() ? had[i] : "(no line)", b = i < now.size() ? now[i] : "(no line)";
        if (a != b) {
            report += "  line " + std::to_string(i + 1) + ", in the file: " + a.substr(0, 160) + "\n  line " +
                      std::to_string(i + 1) + ", made now:   " + b.substr(0, 160) + "\n";
            ++shown;
        }
    }
    return report;
}

// The schema, the guide's table of keys, the fuzzer's seed of the built-in file and the figures the
// docs quote are what the code makes now (scripts/docs/write-key-docs writes them again), and the loader
// reads every key.
TEST_F(DocsTest, GuideSchemaAndLoaderAgree) {
    std::string stale =
        Stale("schema/config.schema.json", TestSupport::ReadFile(LUMORA_SCHEMA_PATH), Tool("schema").out);
    const std::string guide = TestSupport::ReadFile(LUMORA_GUIDE_PATH);
    const std::string begin =
        "<!-- The table of keys: written by scripts/docs/write-key-docs from config/ConfigKeys.cpp. -->\n";
    const auto from = guide.find(begin);
    const auto to = guide.find("<!-- End of the table of keys. -->");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    stale += Stale("the guide's table of keys", guide.substr(from + begin.size(), to - from - begin.size()),
                   TestSupport::RunTool(LUMORA_DOCS_PATH, "keys", dir.path() / "err.txt").out);
    stale += Stale("fuzz/corpus/config/built-in", TestSupport::ReadFile(LUMORA_FUZZ_BUILT_IN_PATH), Tool("init").out);

    // Each figure between fact markers is the code's; a figure that no marker holds would be left
    // stale by the next change.
    std::map<std::string, std::string> facts;
    std::istringstream factLines(TestSupport::RunTool(LUMORA_DOCS_PATH, "facts", dir.path() / "err.txt").out);
    for (std::string name, value; factLines >> name && std::getline(factLines >> std::ws, value);) {
        facts[name] = value;
    }
    ASSERT_TRUE(facts.contains("hostVersion"));
    const std::regex marked("<!-- fact:(\\w+) -->(.*?)<!-- /fact -->");
    std::vector<std::filesystem::path> docs = {std::filesystem::path(LUMORA_SOURCE_PATH) / "README.md"};
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(LUMORA_SOURCE_PATH) / "docs")) {
        if (entry.path().extension() == ".md") {
            docs.push_back(entry.path());
        }
    }
    for (const auto& doc : docs) {
        const std::string text = TestSupport::ReadFile(doc);
        for (std::sregex_iterator at(text.begin(), text.end(), marked), end; at != end; ++at) {
            const auto fact = facts.find((*at)[1]);
            if (fact == facts.end() || fact->second != (*at)[2]) {
                stale += doc.filename().string() + ": " + at->str() + " is not what the code makes now (" +
                         (fact == facts.end() ? "no such fact" : fact->second) + "): run scripts/docs/write-key-docs\n";
            }
        }
        const std::string unmarked = std::regex_replace(text, marked, "");
        for (const char* name : {"hostVersion", "maxFileKiB", "largestValidBytes", "largestValidEscapedBytes"}) {
            EXPECT_EQ(unmarked.find(facts[name]), std::string::npos)
                << doc.filename() << " quotes " << name << " (" << facts[name] << ") outside <!-- fact:" << name
                << " -->...<!-- /fact -->";
        }
    }
    EXPECT_TRUE(stale.empty()) << stale;

    // The schema's pattern for a preset's name takes what the loader takes, in any letter case.
    const json schema = json::parse(Tool("schema").out);
    const std::regex preset(schema["properties"][Key::DefaultPreset]["anyOf"][1]["pattern"].get<std::string>());
    for (const char* name : {"low", "LOW", "Low", "mEdIuM", "HIGH", "epic", "ultra", "lowx", " low", "", "lo w"}) {
        bool loads = true;
        try {
            LoadConfigFromText(json{{Key::DefaultPreset, name}}.dump());
        } catch (const std::exception&) {
            loads = false;
        }
        EXPECT_EQ(std::regex_search(name, preset), loads) << name;
    }

    // The loader really reads every key: each one of the wrong type fails the load with its own name.
    for (const ConfigKey& row : ConfigKeyTable) {
        const std::string key(row.name);
        const auto path = dir.path() / "config.json";
        TestSupport::WriteFile(path, json{{key, key == "Presets" ? json::array() : json::object()}}.dump());
        try {
            LoadConfigFrom(path.string());
            ADD_FAILURE() << key << " was not checked";
        } catch (const std::exception& error) {
            EXPECT_THAT(error.what(), StartsWith(key)) << key;
        }
    }
}

// The admin guide's table of log lines lists every line the plugin writes, at its level, and nothing
// else; every fixed reply is quoted in the guide word for word.
TEST_F(DocsTest, GuideListsTheLogLinesAndReplies) {
    const std::string guide = TestSupport::ReadFile(LUMORA_GUIDE_PATH);
    std::istringstream lines(guide.substr(guide.find("## The log lines and what to do about them")));
    std::set<const Lumora::LogLine*> listed;
    std::size_t rows = 0;
    for (std::string line; std::getline(lines, line) && (line.empty() || line[0] != '#' || rows == 0);) {
        // | `LINE` (, `LINE`) | level | meaning | what to do |
        if (line.rfind("| `", 0) != 0) {
            continue;
        }
        const auto levelAt = line.find(" | ", 2);
        const std::string level = line.substr(levelAt + 3, line.find(" |", levelAt + 3) - levelAt - 3);
        for (std::size_t at = 0; (at = line.find('`', at)) < levelAt;) {
            const auto end = line.find('`', at + 1);
            const std::string shown = line.substr(at + 1, end - at - 1);
            EXPECT_EQ(TestSupport::ExpectedLevel(shown), level) << shown;
            listed.insert(TestSupport::LogLineOf(shown));
            at = end + 1;
        }
        ++rows;
    }
    for (const Lumora::LogLine* logLine : Lumora::LogLines) {
        EXPECT_EQ(listed.count(logLine), 1u) << logLine->format << " is not in the guide's table of log lines";
    }

    std::string flat;  // the guide with its line breaks as spaces
    for (char c : guide) {
        flat += c == '\n' ? ' ' : c;
    }
    for (std::string_view reply : Lumora::FixedReplies) {
        EXPECT_NE(flat.find("*" + std::string(reply)), std::string::npos) << reply << " is not quoted in the guide";
    }
}

// The README's table of the development host's commands is the list --help prints, line by line.
TEST_F(DocsTest, ReadmeListsTheCommandsTheDevelopmentHostPrints) {
    const auto help = TestSupport::RunCommand(TestSupport::ShellQuoted(LUMORA_DEVHOST_PATH) + " --help");
    std::vector<std::string> printed;
    std::istringstream helpLines(help.output.substr(help.output.find("commands, one a line:")));
    for (std::string line; std::getline(helpLines, line);) {
        if (line.rfind("  ", 0) == 0 && line[2] != ' ') {
            printed.push_back(line.substr(2, line.find(' ', 2) - 2));
        }
    }
    std::ifstream readme(LUMORA_README_PATH);
    std::vector<std::string> documented;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line == "| command | what happens |") {
            inTable = true;
        } else if (inTable && line.rfind("| `", 0) == 0) {
            documented.push_back(line.substr(3, line.find_first_of(" `", 3) - 3));
        } else if (inTable && line.rfind("|---", 0) != 0) {
            break;
        }
    }
    EXPECT_FALSE(printed.empty());
    EXPECT_EQ(documented, printed);
}

// Every exit status --help lists has its row in the guide and its place in README's install steps.
TEST_F(DocsTest, TheDocsListEveryExitStatusOfInstall) {
    const std::string help = Tool("--help").out;
    const std::string guide = TestSupport::ReadFile(LUMORA_GUIDE_PATH);
    std::string readme;  // one line: an entry may wrap
    for (const char c : TestSupport::ReadFile(LUMORA_README_PATH)) {
        if (c != ' ' || readme.empty() || readme.back() != ' ') {
            readme += c == '\n' ? ' ' : c;
        }
    }
    const std::string heading = "install's exit status:\n";
    ASSERT_NE(help.find(heading), std::string::npos);
    std::vector<std::string> codes;
    for (std::size_t at = help.find(heading) + heading.size(); at + 3 < help.size() && help.compare(at, 2, "  ") == 0;
         at = help.find('\n', at) + 1) {
        codes.push_back(help.substr(at + 2, help.find(' ', at + 2) - at - 2));
    }
    EXPECT_EQ(codes.size(), 7u) << help;
    for (const std::string& code : codes) {
        EXPECT_THAT(guide, HasSubstr("\n   | " + code + " | ")) << code;
        EXPECT_TRUE(readme.find(": " + code + " ") != std::string::npos ||
                    readme.find("; " + code + " ") != std::string::npos)
            << code;
    }
}

}  // namespace
