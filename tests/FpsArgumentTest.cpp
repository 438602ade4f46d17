// Classification of the fps chat line.

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "command/FpsArgument.h"
#include "config/PluginConfig.h"
#include "host/EngineString.h"
#include "support/TestSupport.h"

using namespace Lumora;
using TestSupport::HostTest;

namespace Lumora {
// A failing row shows the action's name, not its bytes.
void PrintTo(FpsAction action, std::ostream* out) {
    constexpr const char* Names[] = {"Toggle", "On", "Off", "Low", "Medium", "High", "Epic", "Status", "Help", "Usage"};
    static_assert(std::size(Names) == static_cast<std::size_t>(FpsAction::Usage) + 1, "a name for every action");
    *out << Names[static_cast<std::size_t>(action)];
}
}  // namespace Lumora

namespace {

struct LineAndAction {
    const char* line;
    FpsAction action;
};

const LineAndAction Lines[] = {
    {"/fps", FpsAction::Toggle},
    {"/fps    ", FpsAction::Toggle},
    {"", FpsAction::Toggle},
    {"/fps\tlow", FpsAction::Toggle},  // a tab separates nothing
    {"/fps low", FpsAction::Low},
    {"/fps LOW", FpsAction::Low},
    {"  /fps   Low  ", FpsAction::Low},
    {"/fps on", FpsAction::On},
    {"/fps OFF", FpsAction::Off},
    {"/fps medium", FpsAction::Medium},
    {"/fps High", FpsAction::High},
    {"/fps ePiC", FpsAction::Epic},
    {"fps status", FpsAction::Status},
    {"/fps status", FpsAction::Status},
    {"anything help", FpsAction::Help},
    {"/fps low now", FpsAction::Usage},
    {"  fps   low   x  ", FpsAction::Usage},
    {"fps low   ", FpsAction::Low},
    {"fps a a a a a a a a", FpsAction::Usage},
    {"/fps on off", FpsAction::Usage},
    {"/fps lowest", FpsAction::Usage},
    {"/fps lo", FpsAction::Usage},
    {"/fps 1", FpsAction::Usage},
    {"/fps on,", FpsAction::Usage},
    {"/fps l\xC3\xB6w", FpsAction::Usage},
    {"/fps \xEF\xBC\xAC\xEF\xBD\x8F\xEF\xBD\x97", FpsAction::Usage},  // full-width letters
};

class FpsArgumentTest : public HostTest {
protected:
    void CheckAll() {
        for (const auto& c : Lines) {
            const FString line = Utf8ToFString(c.line);
            auto before = StandIn::Heap();
            EXPECT_EQ(ParseFpsArgument(line), c.action) << '"' << c.line << '"';
            EXPECT_EQ(ClassifyFpsWords(SplitChatLine(line)), c.action) << "as the whole line's split";
            EXPECT_EQ(StandIn::Heap().liveBlocks, before.liveBlocks) << c.line;
        }
    }
};

TEST_F(FpsArgumentTest, ClassifiesLines) { CheckAll(); }

// Every level's name, in any letter case, is that level's action, and the action names it back.
TEST_F(FpsArgumentTest, EveryLevelNameIsItsAction) {
    std::vector<std::string_view> named;
    for (const std::string_view level : PresetLevelNames) {
        std::string upper(level);
        std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
        const FpsAction action = ParseFpsArgument(Utf8ToFString("/fps " + std::string(level)));
        EXPECT_EQ(ParseFpsArgument(Utf8ToFString("fps " + upper)), action) << level;
        ASSERT_TRUE(PresetLevelOf(action)) << level << " is no level's action";
        named.push_back(*PresetLevelOf(action));
    }
    EXPECT_TRUE(std::equal(named.begin(), named.end(), PresetLevelNames.begin(), PresetLevelNames.end()));
}

TEST_F(FpsArgumentTest, ArbitraryUnitsAreSafe) {
    const std::u16string lines[] = {u"/fps \xD800", u"/fps \xDC00low", std::u16string(u"/fps o\0n", 8),
                                    u"/fps " + std::u16string(5000, u'x')};
    for (const auto& text : lines) {
        const FString line(reinterpret_cast<const TCHAR*>(text.c_str()));
        EXPECT_EQ(ParseFpsArgument(line), FpsAction::Usage);
    }
}

// Only the words that decide the action become engine strings, however many follow.
TEST_F(FpsArgumentTest, ReadsNoMoreWordsThanDecide) {
    std::string line = "fps";
    for (int i = 0; i < 10000; ++i) {
        line += " a";
    }
    const FString text = Utf8ToFString(line);
    const auto before = StandIn::Heap().allocations;
    EXPECT_EQ(ParseFpsArgument(text), FpsAction::Usage);
    EXPECT_LE(StandIn::Heap().allocations - before, 8u);
}

}  // namespace
