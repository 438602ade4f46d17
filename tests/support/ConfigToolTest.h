#pragma once
// A fixture for the tests of lumora-config as a program: the tool run on files of a folder of its
// own, and what the plugin itself logs for a file (started in the development host). For the
// targets that are given LUMORA_CONFIG_PATH and LUMORA_DEVHOST_PATH.

#include <string>

#include <gtest/gtest.h>

#include "support/JsonLines.h"
#include "support/TestSupport.h"

namespace TestSupport {

class ConfigToolTest : public ::testing::Test {
protected:
    // environment: assignments for the tool's process (POSIX shells only).
    ToolResult Tool(const std::string& arguments, const std::string& environment = "") {
        return RunTool(LUMORA_CONFIG_PATH, arguments, dir.path() / "err.txt", environment);
    }
    std::string File(const std::string& name, const std::string& content) {
        const auto path = dir.path() / name;
        WriteFile(path, content);
        return path.string();
    }
    // What the plugin logs for this file, started in the development host.
    std::string PluginReport(const std::string& file) {
        const auto run = RunCommand(ShellQuoted(LUMORA_DEVHOST_PATH) + " --json --config " + ShellQuoted(file) +
                                    " --server-dir " + ShellQuoted((dir.path() / "server").string()) + " " + NoInput());
        std::string report;
        const std::string prefix = "Lumora: invalid configuration: ";
        for (const auto& event : JsonLines(run.output)) {
            if (event.value("event", "") == "log" && event.value("message", "").rfind(prefix, 0) == 0) {
                report = event["message"].get<std::string>().substr(prefix.size());
            }
        }
        return report;
    }
    TempDir dir;
};

}  // namespace TestSupport
