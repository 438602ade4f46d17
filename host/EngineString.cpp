#include "host/EngineString.h"

namespace Lumora {

// Up to 127 units the conversion needs no heap block; beyond that it takes one engine block,
// freed before the conversion returns.
FString Utf8ToFString(const std::string& text) { return FString(UTF8_TO_TCHAR(text.c_str())); }

std::string FStringToUtf8(const FString& text) { return std::string(TCHAR_TO_UTF8(*text)); }

}  // namespace Lumora
