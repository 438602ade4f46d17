// UTF-8 to FString and back, and what engine strings take from the engine heap.

#include <gmock/gmock.h>

#include "host/EngineString.h"
#include "support/TestSupport.h"

using namespace Lumora;
using ::testing::ElementsAre;
using TestSupport::HostTest;

namespace {

class EngineStringTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        StandIn::RecordAllocationSizes(true);
    }
    void TearDown() override {
        StandIn::RecordAllocationSizes(false);
        HostTest::TearDown();
    }
};

using TestSupport::Units;

TEST_F(EngineStringTest, RoundTripsTextUpToItsFirstZero) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"r.ShadowQuality 1", "r.ShadowQuality 1"},
        {"Ünïcode ☃ 😀", "Ünïcode ☃ 😀"},
        {std::string(300, 'x'), std::string(300, 'x')},
        {"{preset} {} {0}", "{preset} {} {0}"},
        {std::string("ab\0cd", 5), "ab"},
    };
    for (const auto& c : cases) {
        const FString wide = Utf8ToFString(c.in);
        EXPECT_EQ(StandIn::ToUtf8(wide), c.out);
        EXPECT_EQ(FStringToUtf8(wide), c.out);
    }
}

// Each allocation is named by what it is for: the string's own buffer, or a conversion's block.
TEST_F(EngineStringTest, InlineScratchUpTo127UnitsEngineBlockBeyond) {
    {
        const FString fits = Utf8ToFString(std::string(127, 'a'));
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(256u)) << "the string's 128 units only";
    }
    {
        const auto live = StandIn::Heap().liveBlocks;
        const FString spills = Utf8ToFString(std::string(128, 'a'));
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(258u, 258u)) << "scratch of 129 units, then the string";
        EXPECT_EQ(StandIn::Heap().liveBlocks, live + 1) << "the scratch is gone on return";
    }
    for (std::size_t length : {127u, 128u}) {
        const FString wide = Utf8ToFString(std::string(length, 'b'));
        StandIn::TakeAllocationSizes();
        const auto live = StandIn::Heap().liveBlocks;
        EXPECT_EQ(FStringToUtf8(wide), std::string(length, 'b'));
        const auto sizes = StandIn::TakeAllocationSizes();
        if (length == 127) {
            EXPECT_TRUE(sizes.empty());
        } else {
            EXPECT_THAT(sizes, ElementsAre(129u)) << "scratch of 129 bytes";
        }
        EXPECT_EQ(StandIn::Heap().liveBlocks, live);
    }
    // 43 three-byte characters: 43 wide units but 129 UTF-8 bytes.
    std::string snowmen;
    for (int i = 0; i < 43; ++i) {
        snowmen += "☃";
    }
    const FString wide = Utf8ToFString(snowmen);
    EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(88u)) << "the string's 44 units";
    EXPECT_EQ(FStringToUtf8(wide), snowmen);
    EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(130u)) << "scratch of 130 bytes";
}

// The host's converter never fails: each invalid sequence becomes '?'.
TEST_F(EngineStringTest, InvalidSequencesBecomeQuestionMarks) {
    EXPECT_EQ(Units(Utf8ToFString("ok\xC3")), u"ok?");
    EXPECT_EQ(Units(Utf8ToFString("\xFF\xFE")), u"??");
    EXPECT_EQ(Units(Utf8ToFString(std::string(200, '\x80'))), std::u16string(200, u'?'));
    const std::u16string unpaired =
        u"a\xDC00"
        u"b";
    EXPECT_EQ(FStringToUtf8(FString(reinterpret_cast<const TCHAR*>(unpaired.c_str()))), "a?b");
}

}  // namespace
