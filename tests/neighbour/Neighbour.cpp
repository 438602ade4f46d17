// Another plugin on the same server, for tests of plugins side by side. At start-up it registers
// what commands.txt beside its library asks for, one a line:
//   command TEXT   a chat command TEXT
//   word TEXT      a chat-message callback that takes every line whose first word is TEXT
// Whatever it takes it answers with the whole line, to that player, under its own name (the name
// of its library file). It gives nothing back at unload: the host takes back what it registered.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <API/ARK/Ark.h>

#if defined(_WIN32)
#define NEIGHBOUR_EXPORT __declspec(dllexport)
#else
#define NEIGHBOUR_EXPORT __attribute__((visibility("default")))
#endif

namespace {

std::string Name;
std::vector<std::string> Words;

FString Text(const std::string& utf8) { return FString(UTF8_TO_TCHAR(utf8.c_str())); }

void Answer(AShooterPlayerController* player, FString* line) {
    if (auto messenger = AsaApi::GetApiUtils().GetMessagingManager()) {
        messenger->SendChatMessage(player, Text(Name), TEXT("{}"), **line);
    }
}

void TakeCommand(AShooterPlayerController* player, FString* line, int, int) { Answer(player, line); }

bool TakeWord(AShooterPlayerController* player, FString* line, int, int, bool, bool commandExecuted) {
    TArray<FString> words;
    line->ParseIntoArray(words, TEXT(" "), true);
    if (commandExecuted || words.Num() == 0) {
        return false;
    }
    for (const std::string& word : Words) {
        if (FGenericPlatformStricmp::Stricmp(*words[0], *Text(word)) == 0) {
            Answer(player, line);
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" NEIGHBOUR_EXPORT void Plugin_Init() {
    const std::string path = TCHAR_TO_UTF8(*GetDllName());
    const std::filesystem::path library(std::u8string(path.begin(), path.end()));
    Name = library.stem().string();
    Words.clear();
    std::ifstream file(library.parent_path() / "commands.txt");
    std::string kind, text;
    while (file >> kind >> text) {
        if (kind == "command") {
            AsaApi::GetCommands().AddChatCommand(Text(text), &TakeCommand);
        } else if (kind == "word") {
            Words.push_back(text);
        }
    }
    if (!Words.empty()) {
        AsaApi::GetCommands().AddOnChatMessageCallback(Text(Name), &TakeWord);
    }
}

extern "C" NEIGHBOUR_EXPORT void Plugin_Unload() {}
