// The two text conversions, both ways, on arbitrary bytes and units.

#include "FuzzSupport.h"
#include "host/EngineString.h"

using namespace Lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzSupport::StartHostOnce();
    const StandIn::HeapStats before = StandIn::Heap();
    {
        // Bytes as UTF-8 text.
        std::string text(reinterpret_cast<const char*>(data), size);
        const FString wide = Utf8ToFString(text);
        std::string back = FStringToUtf8(wide);
        FUZZ_CHECK(FuzzSupport::ValidUtf8(back), "UTF-8 out");
        std::string upToZero = text.substr(0, text.find('\0'));
        if (FuzzSupport::ValidUtf8(upToZero)) {
            FUZZ_CHECK(back == upToZero, "valid text survives the round trip");
        }
    }
    {
        // Byte pairs as 16-bit units.
        std::u16string units;
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (unit == 0) {
                break;
            }
            units += unit;
        }
        const FString wide(reinterpret_cast<const TCHAR*>(units.c_str()));
        const std::string text = FStringToUtf8(wide);
        FUZZ_CHECK(FuzzSupport::ValidUtf8(text), "UTF-8 out");
        if (StandIn::ToUtf16(StandIn::ToUtf8(units)) == units) {
            const FString again = Utf8ToFString(text);
            FUZZ_CHECK(std::u16string(reinterpret_cast<const char16_t*>(*again)) == units, "valid units survive");
        }
    }
    const StandIn::HeapStats after = StandIn::Heap();
    FUZZ_CHECK(after.liveBlocks == before.liveBlocks && after.liveBytes == before.liveBytes, "heap unchanged");
    return 0;
}
