// UTF-8 to FString and back, and the release of engine strings.

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

std::u16string Units(const FString& text) { return std::u16string(reinterpret_cast<const char16_t*>(*text)); }

TEST_F(EngineStringTest, RoundTripsText) {
    const std::string texts[] = {"", "r.ShadowQuality 1", "Ünïcode ☃ 😀", std::string(300, 'x'), "{preset} {} {0}"};
    for (const auto& text : texts) {
        ScopedFString wide(Utf8ToFString(text));
        EXPECT_EQ(StandIn::ToUtf8(wide.value), text);
        EXPECT_EQ(FStringToUtf8(wide.value), text);
    }
}

TEST_F(EngineStringTest, EmbeddedZeroEndsTheText) {
    ScopedFString wide(Utf8ToFString(std::string("ab\0cd", 5)));
    EXPECT_EQ(Units(wide.value), u"ab");
}

TEST_F(EngineStringTest, StackScratchUpTo127UnitsEngineBlockBeyond) {
    {
        ScopedFString fits(Utf8ToFString(std::string(127, 'a')));
        // Only the string's own buffer: 128 units.
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(256u));
    }
    {
        auto live = StandIn::Heap().liveBlocks;
        ScopedFString spills(Utf8ToFString(std::string(128, 'a')));
        // The scratch block of 129 units, then the string's own buffer; the scratch is gone on return.
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(258u, 258u));
        EXPECT_EQ(StandIn::Heap().liveBlocks, live + 1);
    }
    {
        ScopedFString wide(Utf8ToFString(std::string(127, 'b')));
        StandIn::TakeAllocationSizes();
        auto live = StandIn::Heap().liveBlocks;
        EXPECT_EQ(FStringToUtf8(wide.value), std::string(127, 'b'));
        EXPECT_TRUE(StandIn::TakeAllocationSizes().empty());
        EXPECT_EQ(StandIn::Heap().liveBlocks, live);
    }
    {
        ScopedFString wide(Utf8ToFString(std::string(128, 'b')));
        StandIn::TakeAllocationSizes();
        auto live = StandIn::Heap().liveBlocks;
        EXPECT_EQ(FStringToUtf8(wide.value), std::string(128, 'b'));
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(129u));
        EXPECT_EQ(StandIn::Heap().liveBlocks, live);
    }
    {
        // 43 three-byte characters: 43 wide units but 129 UTF-8 bytes.
        std::string snowmen;
        for (int i = 0; i < 43; ++i) {
            snowmen += "☃";
        }
        ScopedFString wide(Utf8ToFString(snowmen));
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(88u));
        EXPECT_EQ(FStringToUtf8(wide.value), snowmen);
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(130u));
    }
}

TEST_F(EngineStringTest, CountZeroIsEmptyWhateverThePointer) {
    TCHAR junk[] = {'x', 'y', 0};
    FString text;
    text.Data = junk;
    text.ArrayNum = 0;
    EXPECT_EQ(FStringToUtf8(text), "");
}

TEST_F(EngineStringTest, UnterminatedTextIsNotReadPastItsCount) {
    TCHAR units[] = {'a', 'b', 'c'};
    FString text;
    text.Data = units;
    text.ArrayNum = 2;
    EXPECT_EQ(FStringToUtf8(text), "ab");
}

TEST_F(EngineStringTest, InvalidSequencesBecomeReplacementCharacters) {
    struct Case {
        std::string utf8;
        std::u16string expected;
    } cases[] = {
        {"ok\xC3", u"ok\uFFFD"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
        {"a\xC0\xAF"
         "b",
         u"a\uFFFD\uFFFDb"},
        {"\xED\xA0\x80x", u"\uFFFD\uFFFD\uFFFDx"},
        {"\xF0\x9F\x98", u"\uFFFD\uFFFD\uFFFD"},
        {std::string(200, '\x80'), std::u16string(200, u'\uFFFD')},
    };
    for (const auto& c : cases) {
        ScopedFString wide(Utf8ToFString(c.utf8));
        EXPECT_EQ(Units(wide.value), c.expected);
    }
    struct WideCase {
        std::u16string units;
        std::string expected;
    } wideCases[] = {
        {u"\xD800", "\xEF\xBF\xBD"},
        {u"a\xDC00"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {u"\xD83D\xDE00", "😀"},
        {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::u16string(150, u'\xD800'),
         [] {
             std::string s;
             for (int i = 0; i < 150; ++i)
                 s += "\xEF\xBF\xBD";
             return s;
         }()},
    };
    for (const auto& c : wideCases) {
        FString text(reinterpret_cast<const TCHAR*>(c.units.c_str()));
        EXPECT_EQ(FStringToUtf8(text), c.expected);
        ReleaseFString(text);
    }
}

TEST_F(EngineStringTest, ReleasesGoThroughTheEngineAllocator) {
    FString none;
    StandIn::ResetLookupCounts();
    ReleaseFString(none);
    EXPECT_EQ(StandIn::TotalLookups(), 0u) << "a null buffer calls nothing";

    TArray<FString> array;
    array.Data = static_cast<FString*>(AllocateEngineBlock(2 * sizeof(FString)));
    array.ArrayNum = 0;
    array.ArrayMax = 2;
    ReleaseFStringArray(array);  // only the array's own buffer

    FString line(ASA_TEXT("a b c"));
    TArray<FString> words;
    line.ParseIntoArray(words, ASA_TEXT(" "), true);
    ReleaseFStringArray(words);
    ReleaseFString(line);
    // The fixture checks that nothing is left on the engine heap.
}

TEST_F(EngineStringTest, MissingAllocatorThrowsWithoutLeaking) {
    StandIn::FaultMissingKey("FMemory.Malloc(unsigned__int64,unsignedint)");
    EXPECT_THROW(Utf8ToFString(std::string(200, 'a')), std::bad_alloc);
    ScopedFString small(Utf8ToFString("short"));  // no block of its own is needed
    EXPECT_EQ(Units(small.value), u"short");
}

}  // namespace
