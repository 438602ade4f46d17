// Lumora on a server that runs other plugins too: the host loads each from its folder, reads its
// PluginInfo.json, calls the chat commands and then every chat-message callback, shows every line
// nobody took as chat, and takes back each plugin's registrations by module after its unload.

#include <charconv>
#include <string>
#include <string_view>

#include <gmock/gmock.h>

#include "generated/Version.h"
#include "support/TestSupport.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

// A host version a hundredth newer than the one Lumora is built for, and how PluginInfo.json writes it.
float NewerHostVersion() {
    const std::string_view built = LUMORA_HOST_VERSION;
    float version = 0;
    std::from_chars(built.data(), built.data() + built.size(), version);
    return version + 0.01F;
}
std::string Written(float version) {
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, version, std::chars_format::fixed, 2).ptr;
    return std::string(text, end);
}

class NeighbourTest : public TestSupport::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        lumoraDir = TestSupport::InstallPlugin(server.path(), "Lumora", LUMORA_PLUGIN_PATH).parent_path();
        alice = StandIn::Join("Alice");
    }
    void TearDown() override {
        for (const auto& name : StandIn::LoadedPlugins()) {
            Unload(name);
        }
        HostTest::TearDown();
    }
    // Another plugin, registering what each line of commands asks for ("command /fps", "word fps").
    void InstallNeighbour(const std::string& name, const std::string& commands) {
        const auto library = TestSupport::InstallPlugin(server.path(), name, LUMORA_NEIGHBOUR_PATH);
        TestSupport::WriteFile(library.parent_path() / "commands.txt", commands);
    }
    // Who answered the line, as "sender: text", and forgets it.
    static std::vector<std::string> Answers() {
        std::vector<std::string> answers;
        for (const auto& line : TakeChatLines()) {
            answers.push_back(line.sender + ": " + line.text);
        }
        return answers;
    }
    std::size_t Sent() {
        const auto count = StandIn::ClientCommands(alice).size();
        StandIn::ClearClientCommands(alice);
        return count;
    }

    std::filesystem::path lumoraDir;
    AShooterPlayerController* alice = nullptr;
};

// With the built-in aliases "/fps" and "fps", a line that begins with the word is Lumora's only when
// it is a whole command; every other line is chat, and Lumora does nothing with it.
TEST_F(NeighbourTest, WordAliasTakesOnlyWholeCommands) {
    Load("Lumora");
    StandIn::ClearLog();
    const std::string shown[] = {"fps is terrible on this map",
                                 "FPS!",
                                 "fps low please",
                                 "I get 30 fps",
                                 "fps low!",
                                 "fps lowest",
                                 "fps\tlow",
                                 "",
                                 "   ",
                                 "fpsy low"};
    for (const auto& line : shown) {
        EXPECT_FALSE(StandIn::Chat(alice, line)) << line;
        ASSERT_FALSE(StandIn::ShownChatLines().empty()) << line;
        EXPECT_EQ(StandIn::ShownChatLines().back().text, line);
        EXPECT_EQ(StandIn::ShownChatLines().back().player, alice);
    }
    EXPECT_EQ(StandIn::ShownChatLines().size(), std::size(shown));
    EXPECT_THAT(Answers(), IsEmpty());
    EXPECT_EQ(Sent(), 0u);
    EXPECT_THAT(Messages(), IsEmpty());
    StandIn::ClearRecords();

    struct Taken {
        const char* line;
        std::size_t sent;
        const char* reply;
    } taken[] = {
        {"fps", 21, "Lumora: Applied the Medium performance preset."},
        {"FPS low", 21, "Lumora: Applied the Low performance preset."},
        {"  fps   Status ", 0, "Lumora: Active Lumora preset: Low."},
        {"Fps OFF", 25, "Lumora: Baseline applied. This does not restore your original settings."},
        {"/fps lowest", 0, "Lumora: Usage: /fps [on|off|low|medium|high|epic|status|help]"},
    };
    for (const auto& t : taken) {
        EXPECT_TRUE(StandIn::Chat(alice, t.line)) << t.line;
        EXPECT_THAT(Answers(), ElementsAre(t.reply)) << t.line;
        EXPECT_EQ(Sent(), t.sent) << t.line;
    }
    EXPECT_THAT(StandIn::ShownChatLines(), IsEmpty());
}

// Another plugin's "/fps", registered first, wins every "/fps" line; Lumora's word alias still works,
// and whichever plugin is unloaded, the other's registrations stay.
TEST_F(NeighbourTest, EachPluginKeepsItsOwnCommandWhateverTheOrder) {
    InstallNeighbour("Neighbour", "command /fps\n");
    for (const bool neighbourFirst : {true, false}) {
        SCOPED_TRACE(neighbourFirst ? "the other plugin first" : "Lumora first");
        Load(neighbourFirst ? "Neighbour" : "Lumora");
        Load(neighbourFirst ? "Lumora" : "Neighbour");
        EXPECT_TRUE(StandIn::Chat(alice, "/fps low"));
        if (neighbourFirst) {
            EXPECT_THAT(Answers(), ElementsAre("Neighbour: /fps low"));
            EXPECT_EQ(Sent(), 0u) << "Lumora's /fps never runs";
        } else {
            EXPECT_THAT(Answers(), ElementsAre("Lumora: Applied the Low performance preset."));
            EXPECT_EQ(Sent(), 21u);
        }
        EXPECT_TRUE(StandIn::Chat(alice, "fps high"));
        EXPECT_THAT(Answers(), ElementsAre("Lumora: Applied the High performance preset."));
        EXPECT_EQ(Sent(), 21u);

        const std::string gone = neighbourFirst ? "Lumora" : "Neighbour";
        Unload(gone);
        if (gone == "Lumora") {
            EXPECT_EQ(StandIn::RemovedAtUnload(), (StandIn::Registrations{{"/fps"}, {"Lumora"}, {}, {}}));
            EXPECT_EQ(StandIn::InstalledHookCount(StandIn::LogoutKey), 0u);
        } else {
            EXPECT_EQ(StandIn::RemovedAtUnload(), (StandIn::Registrations{{"/fps"}, {}, {}, {}}));
        }
        EXPECT_TRUE(StandIn::Chat(alice, "/fps epic"));
        EXPECT_THAT(Answers(), ElementsAre(neighbourFirst ? "Neighbour: /fps epic"
                                                          : "Lumora: Applied the Epic performance preset."));
        Unload(neighbourFirst ? "Neighbour" : "Lumora");
        EXPECT_THAT(StandIn::RegisteredChatCommands(), IsEmpty());
        EXPECT_THAT(StandIn::ChatMessageCallbackIds(), IsEmpty());
        Sent();
    }
}

// A word that is another plugin's chat command is that plugin's line; a word alias two plugins share
// is taken by both, as the host calls every callback.
TEST_F(NeighbourTest, SharedWordsGoWhereTheHostSendsThem) {
    InstallNeighbour("Commands", "command fps\n");
    InstallNeighbour("Words", "word FPS\n");
    Load("Lumora");
    Load("Commands");
    EXPECT_TRUE(StandIn::Chat(alice, "fps low"));
    EXPECT_THAT(Answers(), ElementsAre("Commands: fps low"));
    EXPECT_EQ(Sent(), 0u);
    Unload("Commands");
    Load("Words");
    EXPECT_TRUE(StandIn::Chat(alice, "fps low"));
    EXPECT_THAT(Answers(), ElementsAre("Lumora: Applied the Low performance preset.", "Words: fps low"));
    EXPECT_EQ(Sent(), 21u);
    EXPECT_TRUE(StandIn::Chat(alice, "fps is slow")) << "the other plugin takes it; Lumora does not";
    EXPECT_THAT(Answers(), ElementsAre("Words: fps is slow"));
    EXPECT_EQ(Sent(), 0u);
    EXPECT_THAT(StandIn::ShownChatLines(), IsEmpty());
}

// PluginInfo.json as the host reads it: the package's own loads; a newer API, a file that is not
// JSON or a number given as a string refuses the plugin with a warning, and the server goes on.
TEST_F(NeighbourTest, PluginInfoDecidesWhetherThePluginLoads) {
    std::filesystem::copy_file(LUMORA_PLUGIN_INFO_PATH, lumoraDir / "PluginInfo.json");
    Load("Lumora", StandIn::PluginLoad::StartUp);
    EXPECT_THAT(Messages("API"), ElementsAre(StartsWith("Loaded plugin Lumora V1.2 (Lets each player")));
    Unload("Lumora");
    std::filesystem::remove(lumoraDir / "PluginInfo.json");
    StandIn::ClearLog();
    Load("Lumora", StandIn::PluginLoad::StartUp);
    EXPECT_THAT(Messages("API"), ElementsAre("Loaded plugin Lumora V1 (No description)"));
    Unload("Lumora");
    // Only a start-up load names the version; plugins.load and an automatic reload name the plugin.
    StandIn::ClearLog();
    Load("Lumora");
    Unload("Lumora");
    Load("Lumora", StandIn::PluginLoad::Reload);
    EXPECT_THAT(Messages("API"), ElementsAre("Loaded plugin - Lumora", "Reloaded plugin - Lumora"));

    // PreventUnloading is part of the record: plugins.unload is refused in the host's words, and
    // the plugin goes on answering.
    TestSupport::WriteFile(lumoraDir / "PluginInfo.json", R"({"PreventUnloading": true})");
    Unload("Lumora");
    Load("Lumora");
    std::string refusal;
    EXPECT_FALSE(StandIn::UnloadPlugin("Lumora", refusal));
    EXPECT_EQ(refusal, "unloading is disabled (PreventUnloading=true)");
    EXPECT_TRUE(StandIn::PluginLoaded("Lumora"));
    EXPECT_TRUE(StandIn::Chat(alice, "/fps status"));
    StandIn::SetPreventUnloading("Lumora", false);
    Unload("Lumora");

    // The host reads the keys in order up to the first of the wrong type (a warning), and the load
    // then fails on the first key it needs and did not get.
    struct Refused {
        std::string info;
        std::vector<std::string> warnings;
    } refused[] = {
        {"{not json", {"[json.exception.parse_error"}},
        {R"({"Version": "1.2"})",
         {"(API::PluginManager::ReadPluginInfo) [json.exception.type_error.302] type must be number, but is string",
          "[json.exception.type_error.302] type must be number, but is null"}},
        {R"({"MinApiVersion": )" + Written(NewerHostVersion()) + "}", {"Plugin Lumora requires newer API version!"}},
    };
    for (const auto& r : refused) {
        TestSupport::WriteFile(lumoraDir / "PluginInfo.json", r.info);
        StandIn::ClearLog();
        std::string error;
        EXPECT_FALSE(StandIn::LoadPlugin("Lumora", error)) << r.info;
        EXPECT_THAT(error, StartsWith(r.warnings.back()));
        ASSERT_EQ(StandIn::LogRecords().size(), r.warnings.size()) << r.info;
        for (std::size_t i = 0; i < r.warnings.size(); ++i) {
            EXPECT_EQ(StandIn::LogRecords()[i].level, "warning");
            EXPECT_THAT(StandIn::LogRecords()[i].message, StartsWith(r.warnings[i]));
        }
        EXPECT_FALSE(StandIn::PluginLoaded("Lumora"));
        EXPECT_FALSE(StandIn::LibraryMapped(lumoraDir / std::filesystem::path(LUMORA_PLUGIN_PATH).filename()));
    }
    StandIn::SetHostVersion(NewerHostVersion());
    Load("Lumora");  // the same file, on a newer host
}

// A PluginInfo.json whose Dependencies is no list of names fails the host after Plugin_Init: the
// library stays loaded but unlisted, and each later load starts it again in the same module. A
// second start adds nothing twice, and takes nothing of another plugin's.
TEST_F(NeighbourTest, ASecondStartTakesNothingOfAnotherPlugin) {
    InstallNeighbour("Neighbour", "command /fps\n");
    Load("Neighbour");
    TestSupport::WriteFile(lumoraDir / "PluginInfo.json", R"({"Dependencies": "Neighbour"})");
    for (int start = 0; start < 2; ++start) {
        std::string error;
        EXPECT_FALSE(StandIn::LoadPlugin("Lumora", error));
        EXPECT_THAT(error, StartsWith("[json.exception.type_error.302] type must be array, but is null"));
        EXPECT_FALSE(StandIn::PluginLoaded("Lumora"));
    }
    EXPECT_TRUE(StandIn::Chat(alice, "/fps low"));
    EXPECT_THAT(Answers(), ElementsAre("Neighbour: /fps low"));
    EXPECT_TRUE(StandIn::Chat(alice, "fps low"));
    EXPECT_THAT(Answers(), ElementsAre("Lumora: Applied the Low performance preset."));
    EXPECT_EQ(Sent(), 21u);
    EXPECT_THAT(StandIn::RegisteredChatCommands(), ElementsAre("/fps", "/fps"));
    EXPECT_THAT(StandIn::ChatMessageCallbackIds(), ElementsAre("Lumora"));

    // Mended, the next load lists the plugin that is already running. Each load took a reference on
    // the library, so plugins.unload leaves it mapped, and running, until the server restarts.
    std::filesystem::remove(lumoraDir / "PluginInfo.json");
    Load("Lumora");
    EXPECT_THAT(StandIn::RegisteredChatCommands(), ElementsAre("/fps", "/fps"));
    Unload("Lumora");
    EXPECT_FALSE(StandIn::PluginLoaded("Lumora"));
    EXPECT_TRUE(StandIn::LibraryMapped(lumoraDir / std::filesystem::path(LUMORA_PLUGIN_PATH).filename()));
}

}  // namespace
