// Arbitrary character names in the usage log line.

#include "FuzzSupport.h"
#include "config/PluginConfig.h"
#include "host/ShownText.h"
#include "plugin/Plugin.h"

using namespace Lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static AShooterPlayerController* player = [] {
        FuzzSupport::StartHostOnce();
        Plugin_Init();
        return StandIn::Join("start");
    }();
    std::u16string name;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        name += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    StandIn::RenameWide(player, name);
    StandIn::ClearRecords();
    StandIn::ClearClientCommands(player);
    const StandIn::HeapStats before = StandIn::Heap();
    StandIn::Chat(player, (size & 1) != 0 ? "/fps low" : "/fps off");
    const StandIn::HeapStats after = StandIn::Heap();
    FUZZ_CHECK(after.liveBlocks == before.liveBlocks && after.liveBytes == before.liveBytes, "heap unchanged");
    const auto records = StandIn::LogRecords();
    FUZZ_CHECK(records.size() == 1, "one usage line");
    const std::string& message = records[0].message;
    FUZZ_CHECK(FuzzSupport::ValidUtf8(message), "the line is UTF-8");
    // The name as far as its first zero unit, with '?' for every unpaired surrogate.
    std::u16string upToZero = name.substr(0, name.find(u'\0'));
    for (std::size_t i = 0; i < upToZero.size(); ++i) {
        const char16_t unit = upToZero[i];
        const bool paired = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < upToZero.size() && upToZero[i + 1] >= 0xDC00 &&
                            upToZero[i + 1] <= 0xDFFF;
        if (paired) {
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            upToZero[i] = u'?';
        }
    }
    const std::string expected = "Lumora: '" + EscapeQuoted(StandIn::ToUtf8(upToZero), '\'') + "' applied ";
    FUZZ_CHECK(message.rfind(expected, 0) == 0, message);
    return 0;
}
