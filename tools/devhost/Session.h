#pragma once
// A session of the development host: the stand-in host started in a server folder, the plugin
// loaded as the host loads it, and commands, one a line, from a script or the keyboard.

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "AsaApiStandIn/Control.h"

namespace Devhost {

// The session's commands, as --help and the help command print them.
extern const char* const Help;

struct Options {
    std::filesystem::path serverDir;
    std::filesystem::path plugin = LUMORA_PLUGIN_PATH;
    std::optional<std::filesystem::path> config;
    std::optional<std::filesystem::path> script;
    std::vector<std::pair<std::string, std::filesystem::path>> otherPlugins;  // loaded after Lumora, in this order
    bool json = false;
};

class Session {
public:
    explicit Session(const Options& options) : options_(options) {}

    int Run();

private:
    // The readable form is escaped line by line as the log escapes text, so no name, chat line or
    // log line can drive the terminal; a text that may hold a line break is escaped where it is
    // put in (escaping twice changes nothing).
    void Print(const nlohmann::json& event, const std::string& readable);
    void Error(const std::string& message);
    void OnEvent(const StandIn::Event& event);
    std::string NameOf(AShooterPlayerController* player) const {
        for (const auto& [name, controller] : players_) {
            if (controller == player) {
                return name;
            }
        }
        return "?";
    }
    AShooterPlayerController* Find(const std::string& name, bool mustBeConnected);
    void Execute(const std::string& line);
    // At start-up, or as plugins.load (the host's log line differs).
    void Load(const std::string& name = "Lumora", StandIn::PluginLoad how = StandIn::PluginLoad::Command);
    void Unload(const std::string& name = "Lumora");
    std::filesystem::path PluginFolder(const std::string& name) const {
        return StandIn::PluginFolder(options_.serverDir, name);
    }
    bool Install(const std::string& name, const std::filesystem::path& library);
    void LoadOther(const std::string& name, const std::filesystem::path& library,
                   StandIn::PluginLoad how = StandIn::PluginLoad::Command);
    void Fault(std::istringstream& words);

    Options options_;
    std::map<std::string, AShooterPlayerController*> players_;
    bool failed_ = false;  // an error was printed: the exit status says so
};

}  // namespace Devhost
