#include "devhost/Session.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string_view>

#include "devhost/Console.h"
#include "devhost/GameTime.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace Devhost {

const char* const Help =
    "commands, one a line:\n"
    "  join NAME                 a player whose character is NAME connects\n"
    "  chat NAME TEXT...         that player types TEXT in chat\n"
    "  leave NAME                the player logs out\n"
    "  rejoin NAME               the player connects again, with a new controller at the old address\n"
    "  cvars NAME                that player's client console variables\n"
    "  wait SECONDS              game time moves on\n"
    "  pace SECONDS              game time that passes before each chat line (1 unless set; the host drops\n"
    "                            a player's line that comes less than a second after their previous one)\n"
    "  load | unload             load the plugin and start it | stop it and unload the library\n"
    "  load-plugin NAME PATH     put another plugin's library at ArkApi/Plugins/NAME/NAME.so and load it\n"
    "  unload-plugin NAME        unload that plugin\n"
    "  fault no-rpc NAME | no-class NAME | rpc-fails-after NAME N | refuse-hook | no-messenger | missing-key KEY\n"
    "  heap                      the engine heap's live blocks and bytes\n"
    "  help                      this text\n"
    "  # ...                     a comment\n";

void Session::Print(const json& event, const std::string& readable) {
    if (options_.json) {
        // Escaped as lumora-config show --json escapes: DEL, C1 and format characters too.
        std::cout << Lumora::JsonWithEscapedControls(
                         event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
                  << '\n';
    } else {
        std::istringstream lines(readable);
        for (std::string line; std::getline(lines, line);) {
            std::cout << Lumora::EscapeText(line) << '\n';
        }
    }
    std::cout.flush();
}
void Session::Error(const std::string& message) {
    failed_ = true;
    Print({{"event", "error"}, {"message", message}}, "error: " + Lumora::EscapeText(message));
}

void Session::OnEvent(const StandIn::Event& event) {
    using Kind = StandIn::Event::Kind;
    switch (event.kind) {
        case Kind::Log:
            Print({{"event", "log"}, {"level", event.level}, {"message", event.text}, {"line", event.extra}},
                  Lumora::EscapeText(event.extra));
            break;
        case Kind::Chat:
            Print({{"event", "chat"}, {"player", NameOf(event.player)}, {"sender", event.extra}, {"text", event.text}},
                  "[chat to " + Lumora::EscapeText(NameOf(event.player)) + "] " + Lumora::EscapeText(event.extra) +
                      ": " + Lumora::EscapeText(event.text));
            break;
        case Kind::Console:
            Print({{"event", "console"}, {"player", NameOf(event.player)}, {"command", event.text}},
                  "[" + Lumora::EscapeText(NameOf(event.player)) + "'s console] " + Lumora::EscapeText(event.text));
            break;
        case Kind::Register:
        case Kind::Unregister: {
            const bool registered = event.kind == Kind::Register;
            const std::string what = event.extra.empty() ? "chat command" : event.extra;
            Print(
                {{"event", registered ? "register" : "unregister"}, {"alias", event.text}, {"kind", what}},
                "[host] " + what + (registered ? " registered: " : " unregistered: ") + Lumora::EscapeText(event.text));
            break;
        }
        case Kind::ChatShown:
            Print({{"event", "chat-shown"}, {"player", NameOf(event.player)}, {"text", event.text}},
                  "[chat to everyone] " + Lumora::EscapeText(NameOf(event.player)) + ": " +
                      Lumora::EscapeText(event.text));
            break;
        case Kind::HookInstall:
        case Kind::HookRemove: {
            const bool install = event.kind == Kind::HookInstall;
            Print({{"event", "hook"},
                   {"action", install ? "install" : "remove"},
                   {"key", event.text},
                   {"result", event.result}},
                  std::string("[host] hook ") + (install ? "installed" : "removed") + " on " +
                      Lumora::EscapeText(event.text) + ": " + (event.result ? "yes" : "refused"));
            break;
        }
        case Kind::Join:
            Print({{"event", "join"}, {"player", event.text}}, Lumora::EscapeText(event.text) + " joined");
            break;
        case Kind::Leave:
            Print({{"event", "leave"}, {"player", event.text}}, Lumora::EscapeText(event.text) + " left");
            break;
        case Kind::ChatDropped:
            Print({{"event", "chat-dropped"}, {"player", NameOf(event.player)}, {"text", event.text}},
                  "[host] " + Lumora::EscapeText(NameOf(event.player)) +
                      "'s chat line dropped: less than a second after the previous one");
            break;
    }
}

AShooterPlayerController* Session::Find(const std::string& name, bool mustBeConnected) {
    if (name.empty()) {
        Error("a player's name is missing");
        return nullptr;
    }
    auto it = players_.find(name);
    if (it == players_.end()) {
        Error("no player " + name + " has joined");
        return nullptr;
    }
    if (mustBeConnected && !StandIn::IsConnected(it->second)) {
        Error(name + " is not connected");
        return nullptr;
    }
    return it->second;
}

void Session::Load(const std::string& name, StandIn::PluginLoad how) {
    if (StandIn::PluginLoaded(name)) {
        Error("the plugin " + name + " is already loaded");
        return;
    }
    std::string error;
    if (!StandIn::LoadPlugin(name, error, how)) {
        Error(error);
    }
}

void Session::Unload(const std::string& name) {
    std::string error;
    if (!StandIn::UnloadPlugin(name, error)) {
        Error(error);
    }
}

// Lays out the plugin's folder as the host expects it: the library at ArkApi/Plugins/NAME/NAME.so
// (NAME.dll on Windows), whatever the file it comes from is named.
bool Session::Install(const std::string& name, const fs::path& library) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") {
        Error("a plugin's NAME is one folder name");
        return false;
    }
    // Copying over the library of a loaded plugin would change the code under it.
    if (StandIn::PluginLoaded(name)) {
        Error("the plugin " + name + " is already loaded");
        return false;
    }
    std::error_code error;
    StandIn::InstallPlugin(options_.serverDir, name, library, error);
    if (error) {
        Error("could not copy " + Lumora::PathText(library) + " to " + Lumora::PathText(PluginFolder(name)) + ": " +
              error.message());
        return false;
    }
    return true;
}

void Session::LoadOther(const std::string& name, const fs::path& library, StandIn::PluginLoad how) {
    if (Install(name, library)) {
        Load(name, how);
    }
}

void Session::Fault(std::istringstream& words) {
    std::string kind, name;
    words >> kind;
    if (kind == "refuse-hook") {
        StandIn::FaultRefuseHook(true);
    } else if (kind == "no-messenger") {
        StandIn::FaultNoMessenger(true);
    } else if (kind == "missing-key") {
        std::string key;
        std::getline(words >> std::ws, key);
        if (key.empty()) {
            Error("fault missing-key needs a KEY");
            return;
        }
        StandIn::FaultMissingKey(key);
    } else if (kind == "no-rpc" || kind == "no-class" || kind == "rpc-fails-after") {
        words >> name;
        AShooterPlayerController* player = Find(name, false);
        if (player == nullptr) {
            return;
        }
        if (kind == "no-rpc") {
            StandIn::FaultNoRpc(player);
        } else if (kind == "no-class") {
            StandIn::FaultNullClass(player);
        } else {
            std::string count, rest;
            words >> count >> rest;
            if (!rest.empty() || !Digits(count, 9)) {
                Error("fault rpc-fails-after needs a NAME and a count N of 0 or more");
                return;
            }
            StandIn::FaultRpcFailsAfter(player, std::stoi(count));
        }
    } else {
        Error(kind.empty() ? "fault needs a KIND" : "unknown fault: " + kind);
    }
}

void Session::Execute(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command.empty() || command[0] == '#') {
        return;
    }
    std::string name;
    if (command == "join") {
        words >> name;
        if (name.empty()) {
            Error("join needs a NAME");
        } else if (players_.count(name) != 0) {
            Error("a player " + name + " has already joined");
        } else {
            players_[name] = StandIn::Join(name);
        }
    } else if (command == "chat") {
        words >> name;
        AShooterPlayerController* player = Find(name, true);
        if (player == nullptr) {
            return;
        }
        if (StandIn::LoadedPlugins().empty()) {
            Error("no plugin is loaded");
            return;
        }
        std::string text;
        std::getline(words, text);
        if (!text.empty() && text[0] == ' ') {
            text.erase(0, 1);  // the one space after the name; the rest stands as typed
        }
        if (!options_.json) {
            std::cout << Lumora::EscapeText(name) << " types: " << Lumora::EscapeText(text) << '\n';
        }
        StandIn::Chat(player, text);
    } else if (command == "leave") {
        words >> name;
        if (AShooterPlayerController* player = Find(name, true)) {
            StandIn::Leave(player);
        }
    } else if (command == "rejoin") {
        words >> name;
        if (AShooterPlayerController* player = Find(name, false)) {
            StandIn::Rejoin(player);
        }
    } else if (command == "cvars") {
        words >> name;
        if (AShooterPlayerController* player = Find(name, false)) {
            auto cvars = StandIn::ClientCvars(player);
            std::string readable = Lumora::EscapeText(name) + "'s console variables:";
            for (const auto& [variable, value] : cvars) {
                readable += "\n  " + Lumora::EscapeText(variable) + " = " + Lumora::EscapeText(value);
            }
            Print({{"event", "cvars"}, {"player", name}, {"cvars", cvars}}, readable);
        }
    } else if (command == "wait" || command == "pace") {
        std::string number, rest;
        words >> number >> rest;
        const std::optional<double> seconds = rest.empty() ? Seconds(number) : std::nullopt;
        if (!seconds) {
            Error(command + " needs a number of seconds, 0 or more, in digits with '.' as the point (such as 1.5)");
        } else if (command == "wait") {
            StandIn::AdvanceGameTime(*seconds);
        } else {
            StandIn::SetChatSpacing(*seconds);
        }
    } else if (command == "load") {
        Load();
    } else if (command == "unload") {
        Unload();
    } else if (command == "load-plugin") {
        std::string library;
        words >> name;
        std::getline(words >> std::ws, library);
        if (name.empty() || library.empty()) {
            Error("load-plugin needs a NAME and the PATH of its library");
        } else {
            LoadOther(name, library);
        }
    } else if (command == "unload-plugin") {
        words >> name;
        if (name.empty()) {
            Error("unload-plugin needs a NAME");
        } else {
            Unload(name);
        }
    } else if (command == "fault") {
        Fault(words);
    } else if (command == "heap") {
        auto heap = StandIn::Heap();
        Print({{"event", "heap"}, {"live_blocks", heap.liveBlocks}, {"live_bytes", heap.liveBytes}},
              "engine heap: " + std::to_string(heap.liveBlocks) + " live blocks, " + std::to_string(heap.liveBytes) +
                  " bytes");
    } else if (command == "help") {
        if (options_.json) {
            Print({{"event", "help"}, {"text", Help}}, Help);
        } else {
            std::cout << Help;
        }
    } else {
        Error("unknown command: " + command + " (try help)");
    }
}

int Session::Run() {
    try {
        StandIn::StartHost({options_.serverDir, false, true});
    } catch (const std::exception& error) {
        throw std::runtime_error(std::string("the host could not start its log in the server folder: ") + error.what());
    }
    StandIn::SetEventListener([this](const StandIn::Event& event) { OnEvent(event); });

    Install("Lumora", options_.plugin);
    const fs::path pluginDir = PluginFolder("Lumora");
    std::error_code error;
    // The host reads the plugin's PluginInfo.json before it loads the library.
    StandIn::CopyFileOver(LUMORA_PLUGIN_INFO_PATH, pluginDir / "PluginInfo.json", error);
    if (error) {
        Error("could not copy PluginInfo.json: " + error.message());
    }
    if (options_.config) {
        StandIn::CopyFileOver(*options_.config, pluginDir / "config.json", error);
        if (error) {
            Error("could not copy the configuration: " + error.message());
        }
    }
    if (!options_.json) {
        std::cout << "server folder: " << Lumora::EscapeText(Lumora::PathText(options_.serverDir)) << '\n';
    }
    Load("Lumora", StandIn::PluginLoad::StartUp);
    for (const auto& [name, library] : options_.otherPlugins) {
        LoadOther(name, library, StandIn::PluginLoad::StartUp);
    }

    if (options_.script) {
        std::ifstream script(*options_.script);
        std::string line;
        while (std::getline(script, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            Execute(line);
        }
    }
    if (!options_.script || StdinIsTerminal()) {
        if (StdinIsTerminal()) {
            if (!options_.json) {
                std::cout << "type help for the commands; end with Ctrl-D\n";
            }
            for (std::string line; ReadTypedLine(line);) {
                Execute(line);
            }
        } else {
            std::string line;
            while (std::getline(std::cin, line)) {
                Execute(line);
            }
        }
    }
    // The host never unloads plugins at shut-down; the development host does, so that a session
    // shows every block given back.
    for (const auto& name : StandIn::LoadedPlugins()) {
        Unload(name);
    }
    StandIn::SetEventListener(nullptr);
    StandIn::StopHost();
    return failed_ ? 1 : 0;
}

}  // namespace Devhost
