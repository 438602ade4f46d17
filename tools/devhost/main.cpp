// lumora-devhost: plays the game server with the stand-in host and engine, loads the plugin as the
// host does, and runs a session of commands from a script or from the keyboard.

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>

#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if !defined(_WIN32)
#include <editline/readline.h>
#endif
#include <nlohmann/json.hpp>

#include "AsaApiStandIn/Control.h"
#include "devhost/Hold.h"
#include "text/ToolProcess.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

#if !defined(_WIN32)
// Closes the descriptors first..last. close_range is missing before Linux 5.9 and refused under some
// seccomp profiles (containers): then one by one, up to the process's descriptor limit.
void CloseDescriptors(unsigned first, unsigned last) {
    if (first > last || close_range(first, last, 0) == 0) {
        return;
    }
    const long limit = sysconf(_SC_OPEN_MAX);
    const unsigned end = limit > 0 ? static_cast<unsigned>(std::min<long>(limit, 1L << 24)) : 1U << 20;
    for (unsigned fd = first; fd <= last && fd < end; ++fd) {
        close(static_cast<int>(fd));
    }
}

// A process of its own that removes the server folder this run made once the run has ended, however
// it ended (a signal, a broken pipe, a crash): it waits for the end of a pipe only the run writes to.
void RemoveWhenThisProcessEnds(const fs::path& folder) {
    int ends[2];
    if (pipe(ends) != 0) {
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        // Every descriptor but the read end goes, its own copy of the write end among them, however
        // many the run inherited: else the pipe never closes.
        if (ends[0] > 0) {
            CloseDescriptors(0, static_cast<unsigned>(ends[0]) - 1);
        }
        CloseDescriptors(static_cast<unsigned>(ends[0]) + 1, ~0U);
        setsid();  // a Ctrl-C at the terminal reaches the run, not this
        // A stop by name (pkill lumora-devhost) reaches this too; it ends only when the pipe closes.
        for (const int stop : {SIGTERM, SIGHUP, SIGINT}) {
            signal(stop, SIG_IGN);
        }
        char byte = 0;
        while (read(ends[0], &byte, 1) > 0) {
        }
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        _exit(0);
    }
    close(ends[0]);
    if (child < 0) {
        close(ends[1]);
    }
    // The write end stays open, unused, until this process ends.
}
#else
fs::path FolderToRemove;
BOOL WINAPI RemoveOnCtrlC(DWORD) {
    std::error_code ignored;
    fs::remove_all(FolderToRemove, ignored);
    return FALSE;  // and the default handling ends the process
}
void RemoveWhenThisProcessEnds(const fs::path& folder) {
    FolderToRemove = folder;
    SetConsoleCtrlHandler(RemoveOnCtrlC, TRUE);
}
#endif

bool StdinIsTerminal() {
#if defined(_WIN32)
    // Not _isatty: it is true for the NUL device too, and a script run with "<NUL" would get prompts.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

// One line typed at the prompt, with line editing and history where the system has them.
bool ReadTypedLine(std::string& line) {
#if defined(_WIN32)
    std::cout << "lumora> " << std::flush;
    return static_cast<bool>(std::getline(std::cin, line));
#else
    char* input = readline("lumora> ");
    if (input == nullptr) {
        return false;
    }
    line = input;
    std::free(input);
    if (!line.empty()) {
        add_history(line.c_str());
    }
    return true;
#endif
}

const char* const Usage =
    "usage: lumora-devhost [--server-dir DIR] [--plugin PATH] [--config FILE] [--also-plugin NAME=PATH]...\n"
    "                      [--script FILE] [--json] [--help]\n"
    "       lumora-devhost --hold LIBRARY   (maps LIBRARY as a server holds a loaded plugin, calls nothing\n"
    "                      in it, and holds it until the input ends)\n"
    "exit status: 0 when everything went through; 1 when a plugin failed to load, a file could not be\n"
    "copied or a command was refused (each printed as an error); 2 for a usage error\n";

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

// True when text is 1 to maxDigits decimal digits and nothing else. Read by hand: a regex over a
// long line recurses once a character and overflows the stack.
bool Digits(std::string_view text, std::size_t maxDigits = std::string_view::npos) {
    return !text.empty() && text.size() <= maxDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Seconds as written in a script: digits, perhaps a '.' and more digits; nothing else. Game time
// keeps whole milliseconds, so the value is rounded to one.
std::optional<double> Seconds(const std::string& text) {
    const auto point = text.find('.');
    if (!Digits(std::string_view(text).substr(0, point), 9) ||
        (point != std::string::npos && !Digits(std::string_view(text).substr(point + 1)))) {
        return std::nullopt;
    }
    std::int64_t milliseconds = std::stoll(text.substr(0, point)) * 1000;
    if (point != std::string::npos) {
        const std::string fraction = text.substr(point + 1) + "000";
        milliseconds += std::stoll(fraction.substr(0, 3)) + (fraction[3] >= '5' ? 1 : 0);
    }
    return static_cast<double>(milliseconds) / 1000;
}

struct Options {
    fs::path serverDir;
    fs::path plugin = LUMORA_PLUGIN_PATH;
    std::optional<fs::path> config;
    std::optional<fs::path> script;
    std::vector<std::pair<std::string, fs::path>> otherPlugins;  // loaded after Lumora, in this order
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
    void Print(const json& event, const std::string& readable) {
        if (options_.json) {
            // Escaped as lumora-config show --json escapes: DEL, C1 and format characters too.
            std::cout << Lumora::JsonWithEscapedControls(event.dump(-1, ' ', false, json::error_handler_t::replace))
                      << '\n';
        } else {
            std::istringstream lines(readable);
            for (std::string line; std::getline(lines, line);) {
                std::cout << Lumora::EscapeText(line) << '\n';
            }
        }
        std::cout.flush();
    }
    void Error(const std::string& message) {
        failed_ = true;
        Print({{"event", "error"}, {"message", message}}, "error: " + Lumora::EscapeText(message));
    }
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
    fs::path PluginFolder(const std::string& name) const { return StandIn::PluginFolder(options_.serverDir, name); }
    bool Install(const std::string& name, const fs::path& library);
    void LoadOther(const std::string& name, const fs::path& library,
                   StandIn::PluginLoad how = StandIn::PluginLoad::Command);
    void Fault(std::istringstream& words);

    Options options_;
    std::map<std::string, AShooterPlayerController*> players_;
    bool failed_ = false;  // an error was printed: the exit status says so
};

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

int UsageError(const std::string& reason) {
    std::cerr << "lumora-devhost: " << Lumora::EscapeText(reason) << '\n' << Usage;
    return 2;
}

int Main(int argc, char** argv) {
    Options options;
    std::optional<fs::path> serverDir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage << '\n' << Help;
            return 0;
        } else if (arg == "--hold") {
            const auto text = value();
            if (!text || argc != 3) {
                return UsageError("--hold needs a LIBRARY, and nothing else");
            }
            return Lumora::HoldLibrary(Lumora::PathFromText(*text));
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--also-plugin") {
            auto text = value();
            const auto equals = text ? text->find('=') : std::string::npos;
            if (equals == std::string::npos || equals == 0 || equals + 1 == text->size()) {
                return UsageError("--also-plugin needs NAME=PATH");
            }
            options.otherPlugins.emplace_back(text->substr(0, equals), Lumora::PathFromText(text->substr(equals + 1)));
        } else if (arg == "--server-dir" || arg == "--plugin" || arg == "--config" || arg == "--script") {
            auto text = value();
            if (!text) {
                return UsageError(arg + " needs a value");
            }
            if (arg == "--server-dir") {
                serverDir = Lumora::PathFromText(*text);
            } else if (arg == "--plugin") {
                options.plugin = Lumora::PathFromText(*text);
            } else if (arg == "--config") {
                options.config = Lumora::PathFromText(*text);
            } else {
                options.script = Lumora::PathFromText(*text);
            }
        } else {
            return UsageError("unknown option: " + arg);
        }
    }
    std::error_code error;
    if (!fs::is_regular_file(options.plugin, error)) {
        return UsageError("no plugin at " + Lumora::PathText(options.plugin));
    }
    if (options.config && !fs::is_regular_file(*options.config, error)) {
        return UsageError("no configuration file at " + Lumora::PathText(*options.config));
    }
    if (options.script && !fs::is_regular_file(*options.script, error)) {
        return UsageError("no script at " + Lumora::PathText(*options.script));
    }
    bool ownFolder = !serverDir;
    if (serverDir) {
        options.serverDir = fs::absolute(*serverDir, error);
        fs::create_directories(options.serverDir, error);
        if (!fs::is_directory(options.serverDir, error)) {
            return UsageError("cannot use " + Lumora::PathText(*serverDir) + " as the server folder");
        }
    } else {
        try {
            options.serverDir = StandIn::NewServerFolder("lumora-server");
        } catch (const fs::filesystem_error& failed) {
            // The temporary folder itself may be what is wrong (TMPDIR names no folder).
            return UsageError(std::string("cannot make a server folder: ") + failed.what());
        }
        RemoveWhenThisProcessEnds(options.serverDir);
    }
    int status = Session(options).Run();
    if (ownFolder) {
        fs::remove_all(options.serverDir, error);
    }
    return status;
}

}  // namespace

// Whatever fails before or after the session (a server folder or log that cannot be used) ends
// in a message, never in terminate.
int main(int argc, char** argv) { return Lumora::RunTool("lumora-devhost", Main, argc, argv); }
