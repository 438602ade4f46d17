// The host's command registry, and its chat path: the chat commands, then every chat-message
// callback, then the line shown to everyone unless one of them took it.

#include <algorithm>
#include <stdexcept>

#include "Internal.h"

namespace StandIn {
namespace {

constexpr char ChatCallbackKind[] = "chat-message callback";

template <typename Entry>
void Clear([[maybe_unused]] Entry& entry) {
    if constexpr (requires(Entry & e) { e.live; }) {
        *entry.live = false;
    }
}

// The first entry whose text equals text ignoring case goes from the list, and only from the list:
// a line being dispatched calls it still from its copy (only removal by module clears in place).
template <typename Entry>
bool RemoveFirst(std::vector<Entry>& entries, std::u16string Entry::*field, const std::u16string& text) {
    auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& entry) {
        return CompareIgnoringCase((entry.*field).c_str(), text.c_str()) == 0;
    });
    if (it == entries.end()) {
        return false;
    }
    entries.erase(it);
    return true;
}

// Takes out every entry that the plugin's module made; their texts, in registration order.
template <typename Entry>
std::vector<std::string> TakeOwned(std::vector<Entry>& entries, std::u16string Entry::*field,
                                   const std::string& plugin) {
    std::vector<std::string> taken;
    for (Entry& entry : entries) {
        if (entry.owner == plugin) {
            taken.push_back(ToUtf8(entry.*field));
            Clear(entry);
        }
    }
    std::erase_if(entries, [&](const Entry& entry) { return entry.owner == plugin; });
    return taken;
}

class Commands final : public AsaApi::ICommands {
public:
    void AddChatCommand(const FString& command,
                        const std::function<void(AShooterPlayerController*, FString*, int, int)>& callback) override {
        ThrowIfHostFault("AddChatCommand");
        State().commands.push_back({ToU16(command), callback, STANDIN_CALLER});
        Keep(State().registryCalls, {true, ToUtf8(command), true});
        Emit(Event::Kind::Register, nullptr, ToUtf8(command));
    }
    void AddConsoleCommand(const FString& command,
                           const std::function<void(APlayerController*, FString*, bool)>&) override {
        AddOther("console command", command, STANDIN_CALLER);
    }
    void AddRconCommand(const FString& command,
                        const std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>&) override {
        AddOther("RCON command", command, STANDIN_CALLER);
    }
    void AddOnTickCallback(const FString& id, const std::function<void(float)>&) override {
        AddOther("tick callback", id, STANDIN_CALLER);
    }
    void AddOnTimerCallback(const FString& id, const std::function<void()>&) override {
        AddOther("timer callback", id, STANDIN_CALLER);
    }
    void AddOnChatMessageCallback(
        const FString& id,
        const std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)>& callback) override {
        ThrowIfHostFault("AddOnChatMessageCallback");
        State().chatCallbacks.push_back({ToU16(id), callback, STANDIN_CALLER});
        Emit(Event::Kind::Register, nullptr, ToUtf8(id), ChatCallbackKind);
    }
    bool RemoveChatCommand(const FString& command) override {
        ThrowIfHostFault("RemoveChatCommand");
        bool found = RemoveFirst(State().commands, &RegisteredCommand::alias, ToU16(command));
        Keep(State().registryCalls, {false, ToUtf8(command), found});
        Emit(Event::Kind::Unregister, nullptr, ToUtf8(command), {}, found);
        return found;
    }
    bool RemoveConsoleCommand(const FString& command) override { return RemoveOther("console command", command); }
    bool RemoveRconCommand(const FString& command) override { return RemoveOther("RCON command", command); }
    bool RemoveOnTickCallback(const FString& id) override { return RemoveOther("tick callback", id); }
    bool RemoveOnTimerCallback(const FString& id) override { return RemoveOther("timer callback", id); }
    bool RemoveOnChatMessageCallback(const FString& id) override {
        ThrowIfHostFault("RemoveOnChatMessageCallback");
        bool found = RemoveFirst(State().chatCallbacks, &RegisteredChatCallback::id, ToU16(id));
        Emit(Event::Kind::Unregister, nullptr, ToUtf8(id), ChatCallbackKind, found);
        return found;
    }

private:
    static void AddOther(const char* kind, const FString& id, std::string owner) {
        ThrowIfHostFault(kind);
        State().otherRegistrations[kind].push_back({ToU16(id), std::move(owner)});
    }
    static bool RemoveOther(const char* kind, const FString& id) {
        ThrowIfHostFault(kind);
        return RemoveFirst(State().otherRegistrations[kind], &OtherRegistration::id, ToU16(id));
    }
};

}  // namespace

bool ChatWide(AShooterPlayerController* player, const std::u16string& line, int mode) {
    auto& state = State();
    state.gameTimeMs += state.chatSpacingMs;
    Player* sender = PlayerOf(player);
    // The host keeps the time of a player's previous line, 0 for none: a line within a second of it
    // is dropped, and spam_check tells the callbacks that it came within a second of that time,
    // which after the drop only a first line in the game's first second does.
    bool spamCheck = false;
    if (sender != nullptr) {
        spamCheck = state.gameTimeMs - sender->lastChatMs < 1000;
        if (sender->lastChatMs > 0 && spamCheck) {
            Emit(Event::Kind::ChatDropped, player, ToUtf8(line));
            return false;
        }
        sender->lastChatMs = state.gameTimeMs;
    }
    const int platform = sender != nullptr ? sender->platform : 0;
    // Every callback is handed the host's one string of the line.
    FString message = MakeFString(line);
    // The first word, split at spaces only, against each command ignoring case; the host calls
    // from a copy of its list.
    bool commandExecuted = false;
    const std::size_t start = line.find_first_not_of(u' ');
    if (start != std::u16string::npos) {
        const std::size_t end = line.find(u' ', start);
        const std::u16string first =
            line.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
        const std::vector<RegisteredCommand> commands = state.commands;
        for (const auto& command : commands) {
            if (*command.live && CompareIgnoringCase(command.alias.c_str(), first.c_str()) == 0) {
                command.callback(player, &message, mode, platform);
                commandExecuted = true;
                break;
            }
        }
    }
    bool taken = false;
    const std::vector<RegisteredChatCallback> callbacks = state.chatCallbacks;
    for (const auto& callback : callbacks) {
        if (*callback.live) {
            taken = callback.callback(player, &message, mode, platform, spamCheck, commandExecuted) || taken;
        }
    }
    if (commandExecuted || taken) {
        return true;
    }
    // What is shown is the host's string as the callbacks left it.
    const std::string shown = ToUtf8(ToU16(message));
    Keep(state.shownChat, {player, {}, shown});
    Emit(Event::Kind::ChatShown, player, shown);
    return false;
}

void SetPlatform(AShooterPlayerController* player, int platform) {
    if (Player* target = PlayerOf(player)) {
        target->platform = platform;
    }
}

bool Chat(AShooterPlayerController* player, const std::string& utf8Line, int mode) {
    return ChatWide(player, ToUtf16(utf8Line), mode);
}

std::vector<ChatLine> ChatLines() { return State().chatLines; }
void ClearChatLines() { State().chatLines.clear(); }
std::vector<ChatLine> ShownChatLines() { return State().shownChat; }

std::vector<std::string> RegisteredChatCommands() {
    std::vector<std::string> aliases;
    for (const auto& command : State().commands) {
        aliases.push_back(ToUtf8(command.alias));
    }
    return aliases;
}

std::vector<std::string> ChatMessageCallbackIds() {
    std::vector<std::string> ids;
    for (const auto& callback : State().chatCallbacks) {
        ids.push_back(ToUtf8(callback.id));
    }
    return ids;
}

std::vector<RegistryCall> RegistryCalls() { return State().registryCalls; }

void TakeCommandsOf(const std::string& plugin, Registrations& removed) {
    auto& state = State();
    removed.commands = TakeOwned(state.commands, &RegisteredCommand::alias, plugin);
    for (const auto& command : removed.commands) {
        Emit(Event::Kind::Unregister, nullptr, command);
    }
    removed.callbacks = TakeOwned(state.chatCallbacks, &RegisteredChatCallback::id, plugin);
    for (const auto& callback : removed.callbacks) {
        Emit(Event::Kind::Unregister, nullptr, callback, ChatCallbackKind);
    }
    for (auto& [kind, entries] : state.otherRegistrations) {
        for (const auto& id : TakeOwned(entries, &OtherRegistration::id, plugin)) {
            removed.others.push_back(kind + " " + id);
        }
    }
}

}  // namespace StandIn

AsaApi::ICommands& AsaApi::GetCommands() {
    static auto* commands = new StandIn::Commands;
    return *commands;
}
