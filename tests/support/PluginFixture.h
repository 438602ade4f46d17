#pragma once
// The plugin started in-process, as the host would start it, over the stand-in host.

#include <string>
#include <vector>

#include "command/FpsCommand.h"
#include "config/PluginConfig.h"
#include "plugin/Plugin.h"
#include "support/TestSupport.h"

namespace TestSupport {

class PluginFixture : public HostTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The player types a line, which the host hands to the plugin's chat command; the engine heap
    // must be exactly as it was before it.
    void Say(AShooterPlayerController* player, const std::string& line);
    // The fps command of the line run for the player under `config` (not the plugin's own), with
    // the plugin's table; the same check of the heap.
    void Run(AShooterPlayerController* player, const std::string& line);
    // The replies sent to this player since the last call, all under the configured sender.
    std::vector<std::string> Replies(AShooterPlayerController* player);
    // The commands this player's client received since the last call.
    std::vector<std::string> Received(AShooterPlayerController* player);
    // The preset the plugin remembers for this player, or "" for none.
    static std::string Active(AShooterPlayerController* player);

    // The configuration Run works with, and whose sender Replies expects.
    Lumora::PluginConfig config = Lumora::BuiltInConfig();
};

}  // namespace TestSupport
