// Strict loading of config.json: every message, every boundary, the order of the checks.

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <gmock/gmock.h>

#include "config/ConfigLoader.h"
#include "facts/LargestFile.h"
#include "plugin/Plugin.h"
#include "support/TestSupport.h"

using namespace Lumora;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::string Quote(const std::string& text) { return nlohmann::json(text).dump(); }

std::string Strings(std::size_t count, const std::string& text) {
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) {
        out += (i ? "," : "") + Quote(text);
    }
    return out + "]";
}

CommandList WithForced(CommandList list) {
    for (auto forced : ForcedPresetCommands) {
        list.emplace_back(forced);
    }
    return list;
}

class ConfigLoaderTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content) {
        TestSupport::WriteFile(path, content);
        return path;
    }
    PluginConfig Load(const std::string& content) { return LoadConfigFrom(Write(content)); }
    std::string Error(const std::string& content) {
        try {
            LoadConfigFrom(Write(content));
        } catch (const std::exception& error) {
            return error.what();
        }
        return "(loaded)";
    }
    TestSupport::TempDir dir;
    std::string path = (dir.path() / "config.json").string();
};

// The faults a value of each kind can have, each with a value that has it and the message after
// the key's name; the first is the kind's wrong type.
struct Fault {
    std::string value;
    std::string message;
};
std::vector<Fault> FaultsOf(const ConfigKey& key) {
    switch (key.kind) {
        case KeyKind::Aliases:
        case KeyKind::Commands: {
            std::vector<Fault> faults = {
                {"1", "must be an array of strings"},
                {"null", "must be an array of strings"},
                {R"(["a 1", 1])", "must contain only strings"},
                {R"([""])", "cannot contain an empty string"},
                {Strings(1, std::string(MaxBytesOf(key) + 1, 'c')),
                 "contains a command longer than " + std::to_string(MaxBytesOf(key)) + " bytes"},
                {Strings(MaxEntries + 1, "x"), "cannot contain more than " + std::to_string(MaxEntries) + " entries"}};
            if (key.fewestEntries > 0) {
                faults.push_back({"[]", "cannot be empty"});
            }
            return faults;
        }
        case KeyKind::PresetName:
            return {{"3", "must be a string"},
                    {R"("ultra")", "must be Low, Medium, High, or Epic"},
                    {R"(" low")", "must be Low, Medium, High, or Epic"},
                    {R"("")", "must be Low, Medium, High, or Epic"},
                    {R"("\u00c9pic")", "must be Low, Medium, High, or Epic"},
                    {Quote(std::string(MaxBytesOf(key) + 1, 's')),
                     "cannot be longer than " + std::to_string(MaxBytesOf(key)) + " bytes"}};
        case KeyKind::Presets:
            return {{"[]", "must be an object of named command arrays"}};
        case KeyKind::Text:
            return {{"1", "must be a string"},
                    {"null", "must be a string"},
                    {"[]", "must be a string"},
                    {Quote(std::string(MaxBytesOf(key) + 1, 's')),
                     "cannot be longer than " + std::to_string(MaxBytesOf(key)) + " bytes"}};
        case KeyKind::Boolean:
            return {{"1", "must be true or false"},
                    {R"("false")", "must be true or false"},
                    {"null", "must be true or false"}};
    }
    return {};
}

// Every key's faults, alone in the file, and the faults of the file as a whole and of a preset's list.
TEST_F(ConfigLoaderTest, EveryFaultHasItsMessage) {
    for (const ConfigKey& key : ConfigKeyTable) {
        for (const Fault& fault : FaultsOf(key)) {
            const std::string file = "{\"" + std::string(key.name) + "\": " + fault.value + "}";
            EXPECT_EQ(Error(file), std::string(key.name) + " " + fault.message) << file.substr(0, 200);
        }
    }
    struct Case {
        std::string json;
        std::string message;
    } cases[] = {
        {"[]", "config.json must contain a JSON object"},
        {"\"text\"", "config.json must contain a JSON object"},
        {"{\"ChatCommands\": [\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",10," + Strings(60, "a").substr(1) +
             "}",
         "ChatCommands must contain only strings"},
        {R"({"OnCommands": [], "Presets": {}})", "OnCommands cannot be empty"},
        {R"({"Presets": {"low": []}})", "Commands cannot be empty"},
        {R"({"Presets": {"low": {}}})", "Commands must be an array of strings"},
        {R"({"Presets": {"epic": ["r.A 1", false]}})", "Commands must contain only strings"},
        {"{\"Presets\": {\"high\": " + Strings(65, "r.A 1") + "}}", "Commands cannot contain more than 64 entries"},
        {R"({"DisabledMessage": 5, "BaselineMessage": "ok"})", "DisabledMessage must be a string"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Error(c.json), c.message) << c.json.substr(0, 200);
    }
}

// The checks in the order they run: each key's wrong type in the keys' table's order, and inside
// "Presets" each level's in level order. A file that breaks two neighbours gets the earlier one's
// message, wherever the members stand in the file.
TEST_F(ConfigLoaderTest, TheFirstCheckInOrderDecides) {
    struct Check {
        std::string preset;  // a member of "Presets", or empty for a top-level key
        std::string key;
        std::string value;
        std::string message;
    };
    // Each level's list gets another fault of a list, so that the message tells which level was read.
    std::vector<Fault> listFaults;
    for (const Fault& fault : FaultsOf(*FindConfigKey(Key::ChatCommands))) {
        if (std::none_of(listFaults.begin(), listFaults.end(),
                         [&](const Fault& f) { return f.message == fault.message; })) {
            listFaults.push_back(fault);
        }
    }
    ASSERT_GE(listFaults.size(), PresetLevelNames.size());
    // The order is the table's: its rows are the order admins see (the guide's table of keys too).
    std::vector<Check> checks;
    for (const ConfigKey& key : ConfigKeyTable) {
        if (key.kind == KeyKind::Presets) {
            for (std::size_t i = 0; i < PresetLevelNames.size(); ++i) {
                checks.push_back(
                    {std::string(PresetLevelNames[i]), "", listFaults[i].value, "Commands " + listFaults[i].message});
            }
        } else {
            const Fault fault = FaultsOf(key).front();
            checks.push_back({"", std::string(key.name), fault.value, std::string(key.name) + " " + fault.message});
        }
    }
    auto put = [](nlohmann::json& file, const Check& check) {
        auto value = nlohmann::json::parse(check.value);
        if (!check.preset.empty()) {
            file["Presets"][check.preset] = value;
        } else {
            file[check.key] = value;
        }
    };
    for (std::size_t i = 0; i + 1 < checks.size(); ++i) {
        nlohmann::json file = nlohmann::json::object();
        put(file, checks[i + 1]);
        put(file, checks[i]);
        EXPECT_EQ(Error(file.dump()), checks[i].message) << file.dump();
        nlohmann::json alone = nlohmann::json::object();
        put(alone, checks[i + 1]);
        EXPECT_EQ(Error(alone.dump()), checks[i + 1].message) << "the later check alone";
    }
}

TEST_F(ConfigLoaderTest, BoundariesAreInclusive) {
    const std::string snowmen341 = [] {
        std::string s;
        for (int i = 0; i < 341; ++i)
            s += "\xE2\x98\x83";
        return s;
    }();
    EXPECT_EQ(Load("{\"ChatCommands\": " + Strings(1, std::string(512, 'c')) + "}").ChatCommands[0].size(), 512u);
    EXPECT_EQ(Load("{\"Sender\": " + Quote(std::string(1024, 's')) + "}").Sender.size(), 1024u);
    EXPECT_EQ(Load("{\"Sender\": " + Quote(snowmen341 + "a") + "}").Sender.size(), 1024u);
    EXPECT_EQ(Error("{\"Sender\": " + Quote(snowmen341 + "ab") + "}"), "Sender cannot be longer than 1024 bytes");
    EXPECT_EQ(Load("{\"OffCommands\": [" + Quote(std::string(170, 'x') + snowmen341.substr(0, 3 * 114)) + "]}")
                  .OffCommands[0]
                  .size(),
              512u);
    EXPECT_EQ(Error("{\"OffCommands\": [" + Quote(std::string(171, 'x') + snowmen341.substr(0, 3 * 114)) + "]}"),
              "OffCommands contains a command longer than 512 bytes");
    EXPECT_EQ(Load("{\"ChatCommands\": " + Strings(64, "/fps") + "}").ChatCommands, std::vector<std::string>{"/fps"});
    const auto big = Load("{\"Presets\": {\"low\": " + Strings(64, "r.A 1") + "}}").Presets.at("low");
    EXPECT_EQ(big.size(), 68u) << "preset lists are not deduplicated";
    CommandList distinct;
    std::string json = "{\"Presets\": {\"low\": [";
    for (int i = 0; i < 64; ++i) {
        distinct.push_back("r.V" + std::to_string(i) + " 1");
        json += (i ? "," : "") + Quote(distinct.back());
    }
    EXPECT_EQ(Load(json + "]}}").Presets.at("low"), WithForced(distinct)) << "a list of 64 holds 68 after loading";
    EXPECT_EQ(Load(R"({"Sender": ""})").Sender, "");
}

// The largest valid file, every key the loader takes together at its limits, loads as it is and
// with every character written as a \u escape: the size limit lets both through.
TEST_F(ConfigLoaderTest, TheLargestValidFileFitsEvenEscaped) {
    for (const bool escaped : {false, true}) {
        const std::string file = LargestValidFile(escaped);
        EXPECT_LE(file.size(), MaxConfigBytes) << "escaped: " << escaped;
        TestSupport::WriteFile(dir.path() / "largest.json", file);
        const PluginConfig config = LoadConfigFrom((dir.path() / "largest.json").string());
        EXPECT_EQ(config.ChatCommands.size(), MaxEntries) << "escaped: " << escaped;
        EXPECT_EQ(config.Presets.at(config.DefaultPreset).size(), MaxEntries + std::size(ForcedPresetCommands));
        EXPECT_EQ(config.Sender.size(), MaxStringBytes) << "escaped: " << escaped;
    }
}

// Keys given twice cost the pass a count beyond a bound, not a longer list: the first
// MaxNotedKeysGivenTwice are noted with their places, the rest only counted.
TEST(ConfigTextTest, KeysGivenTwiceAreNotedUpToTheBound) {
    const std::size_t twice = MaxNotedKeysGivenTwice + 5;
    std::string file = "{";
    for (std::size_t i = 0; i <= twice; ++i) {
        file += std::string(i ? "," : "") + "\"_x\": " + std::to_string(i);
    }
    const ConfigText text = ReadConfigText(file + "}", true);
    EXPECT_EQ(text.keysGivenTwiceCount, twice);
    ASSERT_EQ(text.keysGivenTwice.size(), MaxNotedKeysGivenTwice);
    EXPECT_EQ(text.keysGivenTwice.front().second, "_x");
}

TEST_F(ConfigLoaderTest, EmptyObjectIsTheBuiltInWithForcedCommands) {
    const PluginConfig config = Load("{}");
    const PluginConfig builtIn = BuiltInConfig();
    for (auto level : PresetLevelNames) {
        EXPECT_EQ(config.Presets.at(std::string(level)), WithForced(builtIn.Presets.at(std::string(level))));
    }
    EXPECT_EQ(config.Presets.size(), 4u);
    EXPECT_EQ(config.ChatCommands, builtIn.ChatCommands);
    EXPECT_EQ(config.DefaultPreset, "medium");
    EXPECT_EQ(config.OffCommands, builtIn.OffCommands) << "the baseline gets no forced commands";
    EXPECT_EQ(config.Sender, builtIn.Sender);
    EXPECT_EQ(config.EnabledMessage, builtIn.EnabledMessage);
    EXPECT_EQ(config.DisabledMessage, builtIn.DisabledMessage);
    EXPECT_EQ(config.UsageMessage, builtIn.UsageMessage);
    EXPECT_EQ(config.HelpMessage, builtIn.HelpMessage);
    EXPECT_TRUE(config.LogUsage);
}

TEST_F(ConfigLoaderTest, KeysReplaceTheirFields) {
    const PluginConfig config = Load(R"({
        "ChatCommands": ["fps", "/fps", "fps", "/perf", "/Perf"],
        "DefaultPreset": "EPIC",
        "OffCommands": [],
        "Sender": "Server",
        "EnabledMessage": "on {preset}",
        "DisabledMessage": "off",
        "BaselineMessage": "baseline",
        "UsageMessage": "usage",
        "HelpMessage": "help",
        "LogUsage": false,
        "chatcommands": 5, "Presets ": 1, "Unknown": null
    })");
    EXPECT_THAT(config.ChatCommands, ElementsAre("/Perf", "/fps", "/perf", "fps"));
    EXPECT_EQ(config.DefaultPreset, "epic");
    EXPECT_TRUE(config.OffCommands.empty());
    EXPECT_EQ(config.Sender, "Server");
    EXPECT_EQ(config.EnabledMessage, "on {preset}");
    EXPECT_EQ(config.DisabledMessage, "baseline");
    EXPECT_EQ(config.UsageMessage, "usage");
    EXPECT_EQ(config.HelpMessage, "help");
    EXPECT_FALSE(config.LogUsage);
    EXPECT_EQ(Load(R"({"DisabledMessage": "off"})").DisabledMessage, "off");
    EXPECT_EQ(Load(R"({"DefaultPreset": "Epic"})").DefaultPreset, "epic");
}

TEST_F(ConfigLoaderTest, AliasesSortByUnsignedBytes) {
    EXPECT_THAT(Load(R"({"ChatCommands": ["\u00e9", "z", "A", "fps", "fp"]})").ChatCommands,
                ElementsAre("A", "fp", "fps", "z", "\xC3\xA9"));
}

TEST_F(ConfigLoaderTest, OnCommandsAndPresets) {
    const auto builtIn = BuiltInPresets();
    struct Case {
        std::string json;
        CommandList high;
        CommandList medium;
    } cases[] = {
        {R"({"DefaultPreset": "high", "OnCommands": ["r.VSync 0"]})", WithForced({"r.VSync 0"}),
         WithForced(builtIn.at("medium"))},
        {R"({"DefaultPreset": "high", "OnCommands": ["r.VSync 0"], "Presets": {}})", WithForced(builtIn.at("high")),
         WithForced(builtIn.at("medium"))},
        {R"({"DefaultPreset": "high", "OnCommands": ["r.VSync 0"], "Presets": {"high": ["r.X 1"]}})",
         WithForced({"r.X 1"}), WithForced(builtIn.at("medium"))},
        {R"({"OnCommands": ["r.M 1"]})", WithForced(builtIn.at("high")), WithForced({"r.M 1"})},
        {R"({"Presets": {"Low": ["r.X 1"], "ultra": [], "medium": ["r.M 2"]}})", WithForced(builtIn.at("high")),
         WithForced({"r.M 2"})},
    };
    for (const auto& c : cases) {
        const auto config = Load(c.json);
        EXPECT_EQ(config.Presets.at("high"), c.high) << c.json;
        EXPECT_EQ(config.Presets.at("medium"), c.medium) << c.json;
        EXPECT_EQ(config.Presets.at("low"), WithForced(builtIn.at("low"))) << c.json;
    }
}

TEST(ForcedCommandsTest, ReplaceOnlyExactVariablePrefixes) {
    struct Case {
        CommandList list;
        CommandList kept;
    } cases[] = {
        {{"r.Fog 1", "r.ShadowQuality 2", "r.Fog 0"}, {"r.ShadowQuality 2"}},
        {{"r.Fog 1"}, {}},
        {{"r.fog 1", "r.Fog", "r.Fog\t1", "r.FogDensity 1", "r.BloomQuality 3", "r.VolumetricCloud  1"},
         {"r.fog 1", "r.Fog", "r.Fog\t1", "r.FogDensity 1"}},
        {{"r.BloomQuality 0", "r.VolumetricCloud 0", "r.VolumetricFog 0", "r.Fog 0"}, {}},
    };
    for (auto c : cases) {
        ApplyForcedCommands(c.list);
        EXPECT_EQ(c.list, WithForced(c.kept));
    }
}

TEST_F(ConfigLoaderTest, FilesTheLibraryJudges) {
    struct Case {
        std::string content;
        bool loads;
    } cases[] = {
        {"", false},
        {"\xEF\xBB\xBF", false},
        {"\xEF\xBB\xBF{\"Sender\": \"bom\"}", true},
        {"// comment\n{}", false},
        {"{/* no */}", false},
        {"{\"Sender\": \"a\xFF\"}", false},
        {"{\"Sender\": \"\xC0\xAF\"}", false},
        {"{} {\"Sender\": ", true},
        {"{}garbage", true},
        {"{\"Sender\": \"x\"", false},
        {std::string("\0\0\0", 3), false},
        {std::string(200000, '[') + std::string(200000, ']'), false},
        {"{\"Deep\": " + std::string(63, '[') + std::string(63, ']') + "}", true},
        {"{\"Deep\": " + std::string(64, '[') + std::string(64, ']') + "}", false},
        {"{\"Long\": " + Quote(std::string(MaxConfigBytes - 12, 'x')) + "}", true},
        {"{\"Long\": " + Quote(std::string(MaxConfigBytes - 11, 'x')) + "}", false},
    };
    for (const auto& c : cases) {
        std::string error = Error(c.content);
        if (c.loads) {
            EXPECT_EQ(error, "(loaded)") << c.content.substr(0, 40);
        } else {
            EXPECT_NE(error, "(loaded)") << c.content.substr(0, 40);
            EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_THAT(Error("// comment\n{}"), StartsWith("[json.exception.parse_error"));
    EXPECT_THAT(Error(""), HasSubstr("line 1, column"));
    EXPECT_THAT(Error(std::string(MaxConfigBytes + 1, ' ')),
                ::testing::EndsWith(": it is larger than " + std::to_string(MaxConfigBytes >> 10) + " KiB"));
    // Nesting is refused at the first level too deep, before the library builds anything, and
    // before it would find the file's end missing; a syntax error before that level is its own.
    EXPECT_EQ(Error(std::string(200000, '[') + std::string(200000, ']')),
              "config.json nests arrays and objects deeper than 64 levels at line 1, column 65");
    EXPECT_EQ(Error("{\"a\": \"[{\\\"\",\n \"Deep\": " + std::string(1000000, '[')),
              "config.json nests arrays and objects deeper than 64 levels at line 2, column 73");
    EXPECT_THAT(Error("{\"a\": x " + std::string(1000, '[')), HasSubstr("parse error at line 1, column 7"));
}

TEST_F(ConfigLoaderTest, MissingFileOrFolderCannotBeOpened) {
    const std::string missing = (dir.path() / "nothing.json").string();
    try {
        LoadConfigFrom(missing);
        FAIL() << "loaded a missing file";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "could not open " + missing);
    }
    try {
        LoadConfigFrom(dir.path().string());
        FAIL() << "loaded a folder";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "could not open " + dir.path().string());
    }
}

#if !defined(_WIN32)
// A named pipe swapped in for the file at any moment: the read refuses it or reads the file, and
// never waits for a writer. Each swap keeps the pipe linked at a second name, so that a read that
// did block can be released and counted.
TEST_F(ConfigLoaderTest, ANamedPipeSwappedInNeverBlocks) {
    const auto pipe = (dir.path() / "pipe").string();
    const auto regular = (dir.path() / "regular").string();
    const auto staged = (dir.path() / "staged").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::thread swapper([&] {
        while (!done) {
            TestSupport::WriteFile(regular, "{}");
            std::rename(regular.c_str(), path.c_str());
            if (link(pipe.c_str(), staged.c_str()) == 0) {
                std::rename(staged.c_str(), path.c_str());
            }
        }
    });
    std::atomic<int> released{0};
    std::thread watchdog([&] {
        for (int seen = -1; !done; std::this_thread::sleep_for(std::chrono::milliseconds(200))) {
            if (reads == seen) {  // no read finished for a while: one waits on the pipe
                if (const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                    ++released;
                    close(fd);
                }
            }
            seen = reads;
        }
    });
    for (int i = 0; i < 3000; ++i, ++reads) {
        try {
            EXPECT_EQ(ReadConfigFile(path), "{}");
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "could not open " + path);
        }
    }
    done = true;
    swapper.join();
    watchdog.join();
    EXPECT_EQ(released, 0) << "a read waited on the named pipe";
}
#endif

class ConfigPathTest : public TestSupport::HostTest {};

TEST_F(ConfigPathTest, PathIsTheWorkingFolderPlusThePluginsFile) {
    EXPECT_EQ(GetConfigPath(), server.path().string() + "/ArkApi/Plugins/Lumora/config.json");
    TestSupport::WriteFile(GetConfigPath(), R"({"Sender": "from the server folder"})");
    EXPECT_EQ(LoadConfig().Sender, "from the server folder");
}

}  // namespace
