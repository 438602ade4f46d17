// lumora-devhost: plays the game server with the stand-in host and engine, loads the plugin as the
// host does, and runs a session of commands from a script or from the keyboard.

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

#include "AsaApiStandIn/Control.h"
#include "devhost/Cleanup.h"
#include "devhost/Hold.h"
#include "devhost/Session.h"
#include "text/ToolProcess.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;
using namespace Devhost;

namespace {

const std::string Usage =
    "usage: lumora-devhost [--server-dir DIR] [--plugin PATH] [--config FILE] [--also-plugin NAME=PATH]...\n"
    "                      [--script FILE] [--json] [--help]\n"
    "       lumora-devhost --hold LIBRARY   (maps LIBRARY as a server holds a loaded plugin, calls nothing\n"
    "                      in it, and holds it until the input ends)\n"
    "exit status: 0 when everything went through; 1 when a plugin failed to load, a file could not be\n"
    "copied or a command was refused (each printed as an error); 2 for a usage error; " +
    std::to_string(Lumora::OutputLostStatus) + " when standard output could not be written\n";

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
