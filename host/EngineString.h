#pragma once
// Conversions between the plugin's UTF-8 text and the engine's FString. An FString owns its
// engine-heap buffer and gives it back when it goes, so no code here frees one.

#include <string>

#include <API/ARK/Ark.h>

namespace Lumora {

// Text up to its first zero byte; each invalid sequence arrives as the host's converter makes it.
FString Utf8ToFString(const std::string& text);
std::string FStringToUtf8(const FString& text);

}  // namespace Lumora
