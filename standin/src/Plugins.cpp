// The host's plugin manager: plugins loaded from their folders through the platform's dynamic
// loader, in the host's order, each one's registrations taken back by its module after its unload.

#include <algorithm>
#include <fstream>
#include <utility>

#include <spdlog/fmt/fmt.h>
#include <nlohmann/json.hpp>

#include "Internal.h"

namespace StandIn {

// The plugin whose code called into the host, found as the host finds it: by the module that
// holds the return address. "" for the program itself and for anything not loaded as a plugin.
std::string OwnerOf(const void* returnAddress) {
    const void* module = ModuleOf(returnAddress);
    for (const auto* list : {&State().plugins, &State().strays}) {
        for (const auto& plugin : *list) {
            if (module != nullptr && plugin.base == module) {
                return plugin.name;
            }
        }
    }
    return {};
}

namespace {

// PluginInfo.json as the host reads it: the keys one by one into a record of its own, until the
// first of the wrong type (a warning; that key and those after it stay out of the record). A file
// that is not JSON fails the load; an absent file is read as an empty object.
nlohmann::json ReadPluginInfo(const std::filesystem::path& folder) {
    nlohmann::json file = nlohmann::json::object();
    if (std::ifstream stream(folder / "PluginInfo.json"); stream.is_open()) {
        stream >> file;
    }
    nlohmann::json info = nlohmann::json::object();
    try {
        info["FullName"] = file.value("FullName", "");
        info["Description"] = file.value("Description", "No description");
        info["Version"] = file.value("Version", 1.0F);
        info["MinApiVersion"] = file.value("MinApiVersion", 0.0F);
        info["Dependencies"] = file.value("Dependencies", std::vector<std::string>{});
        info["PreventUnloading"] = file.value("PreventUnloading", false);
    } catch (const std::exception& fault) {
        if (State().hostLog) {
            State().hostLog->warn("(API::PluginManager::ReadPluginInfo) {}", fault.what());
        }
    }
    return info;
}

bool LoadFailed(std::string& error, std::string reason) {
    error = std::move(reason);
    if (State().hostLog) {
        State().hostLog->warn(error);
    }
    return false;
}

std::vector<LoadedPlugin>::iterator FindPlugin(const std::string& name) {
    auto& plugins = State().plugins;
    return std::find_if(plugins.begin(), plugins.end(), [&](const LoadedPlugin& p) { return p.name == name; });
}

}  // namespace

void SetHostVersion(float version) { State().hostVersion = version; }

bool LoadPlugin(const std::string& name, std::string& error, PluginLoad how) {
    auto& state = State();
    const std::filesystem::path folder = PluginFolder(state.serverDir, name);
    const std::filesystem::path library = PluginLibrary(state.serverDir, name);
    if (!std::filesystem::exists(library)) {
        return LoadFailed(error, "Plugin " + name + " does not exist");
    }
    if (FindPlugin(name) != state.plugins.end()) {
        return LoadFailed(error, "Plugin " + name + " was already loaded");
    }
    // The host's order: the plugin's information, the version, the library and Plugin_Init, and
    // only then the plugin's record. A fault there leaves the library loaded but unlisted, and a
    // later load starts it again in the same module.
    try {
        nlohmann::json info = ReadPluginInfo(folder);
        const auto required = static_cast<float>(info["MinApiVersion"]);
        if (required != 0.0F && state.hostVersion < required) {
            return LoadFailed(error, "Plugin " + name + " requires newer API version!");
        }
        std::string reason;
        void* handle = OpenLibrary(library, reason);
        if (handle == nullptr) {
            return LoadFailed(error, "Failed to load plugin - " + name + "\n" + reason);
        }
        // Every load takes a reference on the module, a module already loaded once (a failed
        // record's) included; every unload drops one.
        auto stray = std::find_if(state.strays.begin(), state.strays.end(),
                                  [&](const LoadedPlugin& p) { return p.handle == handle; });
        if (stray == state.strays.end()) {
            stray = state.strays.insert(state.strays.end(), {name, handle, nullptr, library, false, 1});
        } else {
            ++stray->references;
        }
        if (auto init = reinterpret_cast<void (*)()>(FindSymbol(handle, "Plugin_Init")); init != nullptr) {
            stray->base = ModuleOf(reinterpret_cast<const void*>(init));
            init();
        }
        LoadedPlugin plugin = *stray;
        const std::string fullName = info["FullName"];
        const std::string description = info["Description"];
        const auto version = static_cast<float>(info["Version"]);
        (void)info["Dependencies"].get<std::vector<std::string>>();
        plugin.preventUnloading = info.value("PreventUnloading", false);
        state.strays.erase(std::find_if(state.strays.begin(), state.strays.end(),
                                        [&](const LoadedPlugin& p) { return p.handle == handle; }));
        state.plugins.push_back(plugin);
        switch (how) {
            case PluginLoad::StartUp:
                HostLog(
                    fmt::format("Loaded plugin {} V{} ({})", fullName.empty() ? name : fullName, version, description));
                break;
            case PluginLoad::Command:
                HostLog("Loaded plugin - " + name);
                break;
            case PluginLoad::Reload:
                HostLog("Reloaded plugin - " + name);
                break;
        }
        return true;
    } catch (const std::exception& fault) {
        return LoadFailed(error, fault.what());
    }
}

Registrations RemoveRegistrationsOf(const std::string& plugin) {
    Registrations removed;
    TakeCommandsOf(plugin, removed);
    TakeHooksOf(plugin, removed);
    return removed;
}

bool UnloadPlugin(const std::string& name, std::string& error) {
    auto& state = State();
    auto plugin = FindPlugin(name);
    if (plugin == state.plugins.end()) {
        error = "Plugin " + name + " is not loaded";
        return false;
    }
    if (plugin->preventUnloading) {
        error = "unloading is disabled (PreventUnloading=true)";
        return false;
    }
    LoadedPlugin unloading = *plugin;
    if (auto unload = reinterpret_cast<void (*)()>(FindSymbol(unloading.handle, "Plugin_Unload")); unload != nullptr) {
        unload();
    }
    // Right after Plugin_Unload the host takes back everything the plugin's module registered.
    state.removedAtUnload = RemoveRegistrationsOf(name);
    state.plugins.erase(FindPlugin(name));
    CloseLibrary(unloading.handle);
    if (--unloading.references > 0) {
        // A failed record's load still holds the module: it stays mapped, and runs, unlisted.
        state.strays.push_back(unloading);
        return true;
    }
    if (LibraryMapped(unloading.path)) {
        error = unloading.path.string() + " is still in memory after it was unloaded";
        return false;
    }
    return true;
}

void SetPreventUnloading(const std::string& name, bool prevent) {
    if (auto plugin = FindPlugin(name); plugin != State().plugins.end()) {
        plugin->preventUnloading = prevent;
    }
}

bool PluginLoaded(const std::string& name) { return FindPlugin(name) != State().plugins.end(); }

std::vector<std::string> LoadedPlugins() {
    std::vector<std::string> names;
    for (const auto& plugin : State().plugins) {
        names.push_back(plugin.name);
    }
    return names;
}

Registrations RemovedAtUnload() { return State().removedAtUnload; }

void CloseStrays() {
    for (const auto& stray : std::exchange(State().strays, {})) {
        for (int i = 0; i < stray.references; ++i) {
            CloseLibrary(stray.handle);
        }
    }
}

}  // namespace StandIn
