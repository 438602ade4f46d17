// The plugin's shell in the process that loaded it.

#include <cstdlib>

#include <gmock/gmock.h>

#include "plugin/Plugin.h"
#include "support/TestSupport.h"

namespace {

// A process that ends with the plugin still started releases its aliases at exit, while the host
// is still there to take them.
TEST(PluginExitTest, ExitWithoutUnloadIsClean) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TestSupport::TempDir server;
            StandIn::StartHost({server.path(), false, false});
            Plugin_Init();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
