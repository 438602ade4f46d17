// The engine's strings and the host's UTF-8 converter.

#include <algorithm>
#include <cstring>
#include <new>

#include "Internal.h"

namespace {

// Decodes one code point from UTF-8; returns the number of bytes used, or 0 for an invalid sequence.
int DecodeUtf8(const unsigned char* s, std::int64_t left, char32_t& cp) {
    unsigned char c = s[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    int n = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < n) {
        return 0;
    }
    for (int i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return n;
}

// Decodes one code point from UTF-16; returns the units used, or 0 for an unpaired surrogate.
int DecodeUtf16(const TCHAR* s, std::int64_t left, char32_t& cp) {
    char32_t u = static_cast<char16_t>(s[0]);
    if (u < 0xD800 || u > 0xDFFF) {
        cp = u;
        return 1;
    }
    if (u > 0xDBFF || left < 2) {
        return 0;
    }
    char32_t v = static_cast<char16_t>(s[1]);
    if (v < 0xDC00 || v > 0xDFFF) {
        return 0;
    }
    cp = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
    return 2;
}

int Utf8Length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

std::size_t WideLength(const TCHAR* s) {
    std::size_t n = 0;
    while (s[n] != 0) {
        ++n;
    }
    return n;
}

FString FromUnits(const TCHAR* units, std::size_t count) {
    FString result;
    if (count == 0) {
        return result;
    }
    auto n = static_cast<int32>(count + 1);
    result.Data = static_cast<TCHAR*>(StandIn::EngineMalloc(static_cast<uint64>(n) * sizeof(TCHAR), 0));
    if (result.Data == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(result.Data, units, count * sizeof(TCHAR));
    result.Data[count] = 0;
    result.ArrayNum = n;
    result.ArrayMax = n;
    return result;
}

}  // namespace

// ---- FString ------------------------------------------------------------------------------

FString::FString(const char* narrow) {
    std::u16string wide;
    for (const char* p = narrow; p != nullptr && *p != 0; ++p) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(*p));
    }
    FString made = StandIn::MakeFString(wide);
    Data = made.Data;
    ArrayNum = made.ArrayNum;
    ArrayMax = made.ArrayMax;
}

FString::FString(const TCHAR* wide) {
    FString made = FromUnits(wide, wide == nullptr ? 0 : WideLength(wide));
    Data = made.Data;
    ArrayNum = made.ArrayNum;
    ArrayMax = made.ArrayMax;
}

FString::FString(const FString& other) {
    if (other.ArrayNum == 0) {
        return;
    }
    Data = static_cast<TCHAR*>(StandIn::EngineMalloc(static_cast<uint64>(other.ArrayNum) * sizeof(TCHAR), 0));
    if (Data == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(Data, other.Data, static_cast<std::size_t>(other.ArrayNum) * sizeof(TCHAR));
    ArrayNum = other.ArrayNum;
    ArrayMax = other.ArrayNum;
}

// NOLINTNEXTLINE(performance-noexcept-move-constructor): the engine's is not noexcept either
FString::FString(FString&& other) : Data(other.Data), ArrayNum(other.ArrayNum), ArrayMax(other.ArrayMax) {
    other.Data = nullptr;
    other.ArrayNum = 0;
    other.ArrayMax = 0;
}

int32 FString::ParseIntoArray(TArray<FString>& out, const TCHAR* delimiter, bool cullEmpty) const {
    for (FString& piece : out) {
        StandIn::FreeFString(piece);
    }
    StandIn::EngineFree(out.Data);
    out = TArray<FString>{};

    std::u16string text = StandIn::ToU16(*this);
    std::u16string delim = delimiter == nullptr
                               ? std::u16string()
                               : std::u16string(reinterpret_cast<const char16_t*>(delimiter), WideLength(delimiter));
    std::vector<std::u16string> pieces;
    if (delim.empty()) {
        if (!text.empty() || !cullEmpty) {
            pieces.push_back(text);
        }
    } else {
        std::size_t start = 0;
        while (true) {
            std::size_t at = text.find(delim, start);
            std::u16string piece = text.substr(start, at == std::u16string::npos ? std::u16string::npos : at - start);
            if (!piece.empty() || !cullEmpty) {
                pieces.push_back(piece);
            }
            if (at == std::u16string::npos) {
                break;
            }
            start = at + delim.size();
        }
    }
    if (pieces.empty()) {
        return 0;
    }
    auto count = static_cast<int32>(pieces.size());
    out.Data = static_cast<FString*>(StandIn::EngineMalloc(pieces.size() * sizeof(FString), 0));
    if (out.Data == nullptr) {
        throw std::bad_alloc();
    }
    out.ArrayMax = count;
    for (const auto& piece : pieces) {
        new (&out.Data[out.ArrayNum]) FString(StandIn::MakeFString(piece));
        out.ArrayNum++;
    }
    return count;
}

// ---- the converter ------------------------------------------------------------------------

namespace UE::Core::Private {

int32 GetConvertedLength(const TCHAR* /*targetMarker*/, const char* source, int32 sourceLength) {
    auto s = reinterpret_cast<const unsigned char*>(source);
    std::int64_t n = 0;
    for (std::int64_t i = 0; i < sourceLength;) {
        char32_t cp = 0;
        int used = DecodeUtf8(s + i, sourceLength - i, cp);
        if (used == 0) {
            return -1;
        }
        i += used;
        n += cp < 0x10000 ? 1 : 2;
    }
    return static_cast<int32>(n);
}

int32 GetConvertedLength(const char* /*targetMarker*/, const TCHAR* source, int32 sourceLength) {
    std::int64_t n = 0;
    for (std::int64_t i = 0; i < sourceLength;) {
        char32_t cp = 0;
        int used = DecodeUtf16(source + i, sourceLength - i, cp);
        if (used == 0) {
            return -1;
        }
        i += used;
        n += Utf8Length(cp);
    }
    return static_cast<int32>(n);
}

TCHAR* Convert(TCHAR* dest, int32 destLength, const char* source, int32 sourceLength) {
    auto s = reinterpret_cast<const unsigned char*>(source);
    TCHAR* out = dest;
    TCHAR* const end = dest + std::max(destLength, 0);
    for (std::int64_t i = 0; i < sourceLength;) {
        char32_t cp = 0;
        int used = DecodeUtf8(s + i, sourceLength - i, cp);
        if (used == 0 || end - out < (cp < 0x10000 ? 1 : 2)) {
            return nullptr;
        }
        i += used;
        if (cp < 0x10000) {
            *out++ = static_cast<TCHAR>(cp);
        } else {
            cp -= 0x10000;
            *out++ = static_cast<TCHAR>(0xD800 + (cp >> 10));
            *out++ = static_cast<TCHAR>(0xDC00 + (cp & 0x3FF));
        }
    }
    return out;
}

char* Convert(char* dest, int32 destLength, const TCHAR* source, int32 sourceLength) {
    char* out = dest;
    char* const end = dest + std::max(destLength, 0);
    for (std::int64_t i = 0; i < sourceLength;) {
        char32_t cp = 0;
        int used = DecodeUtf16(source + i, sourceLength - i, cp);
        if (used == 0 || end - out < Utf8Length(cp)) {
            return nullptr;
        }
        i += used;
        std::string bytes;
        if (cp < 0x80) {
            *out++ = static_cast<char>(cp);
        } else {
            AppendUtf8(bytes, cp);
            std::memcpy(out, bytes.data(), bytes.size());
            out += bytes.size();
        }
    }
    return out;
}

}  // namespace UE::Core::Private

// ---- the host's own helpers ---------------------------------------------------------------

namespace StandIn {

FString MakeFString(const std::u16string& text) {
    return FromUnits(reinterpret_cast<const TCHAR*>(text.data()), text.size());
}

void FreeFString(FString& text) {
    EngineFree(text.Data);
    text.Data = nullptr;
    text.ArrayNum = 0;
    text.ArrayMax = 0;
}

std::u16string ToU16(const FString& text) {
    const TCHAR* p = *text;
    return std::u16string(reinterpret_cast<const char16_t*>(p), WideLength(p));
}

int CompareIgnoringCase(const TCHAR* a, const TCHAR* b) {
    auto fold = [](TCHAR c) -> int {
        return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : static_cast<int>(static_cast<char16_t>(c));
    };
    for (;; ++a, ++b) {
        int x = fold(*a);
        int y = fold(*b);
        if (x != y || x == 0) {
            return x - y;
        }
    }
}

namespace {

// Re-encodes every code point, with U+FFFD for each unit that begins no valid sequence.
template <typename Out, typename Unit, typename Decode, typename Append>
Out Recode(const Unit* units, std::size_t count, Decode decode, Append append) {
    Out out;
    const auto size = static_cast<std::int64_t>(count);
    for (std::int64_t i = 0; i < size;) {
        char32_t cp = 0;
        int used = decode(units + i, size - i, cp);
        if (used == 0) {
            cp = 0xFFFD;
            used = 1;
        }
        i += used;
        append(out, cp);
    }
    return out;
}

}  // namespace

std::u16string ToUtf16(const std::string& utf8) {
    return Recode<std::u16string>(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size(), DecodeUtf8,
                                  AppendUtf16);
}

std::string ToUtf8(const std::u16string& utf16) {
    return Recode<std::string>(reinterpret_cast<const TCHAR*>(utf16.data()), utf16.size(), DecodeUtf16, AppendUtf8);
}

std::string ToUtf8(const FString& text) { return ToUtf8(ToU16(text)); }

}  // namespace StandIn
