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
int DecodeUtf16(const char16_t* s, std::int64_t left, char32_t& cp) {
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

std::size_t WideLength(const char16_t* s) {
    std::size_t n = 0;
    while (s[n] != 0) {
        ++n;
    }
    return n;
}

// The engine's layout of a string or an array, which the engine writes directly.
struct RawArray {
    void* data = nullptr;
    int32 num = 0;
    int32 max = 0;
};
static_assert(sizeof(RawArray) == sizeof(FString), "an FString is its character array");
static_assert(sizeof(RawArray) == sizeof(TArray<FString>), "an array is a pointer, a count and a capacity");

template <typename T>
RawArray ReadRaw(const T& object) {
    RawArray raw;
    std::memcpy(&raw, static_cast<const void*>(&object), sizeof raw);
    return raw;
}

template <typename T>
void WriteRaw(T& object, const RawArray& raw) {
    std::memcpy(static_cast<void*>(&object), &raw, sizeof raw);
}

// A string of these characters on the engine heap; the empty text has no buffer.
RawArray MakeRawString(const char16_t* units, std::size_t count) {
    RawArray raw;
    if (count == 0) {
        return raw;
    }
    auto n = static_cast<int32>(count + 1);
    auto* data = static_cast<char16_t*>(StandIn::EngineMalloc(static_cast<uint64>(n) * sizeof(char16_t), 0));
    if (data == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(data, units, count * sizeof(char16_t));
    data[count] = 0;
    raw.data = data;
    raw.num = n;
    raw.max = n;
    return raw;
}

void FreeRawString(const RawArray& raw) { StandIn::EngineFree(raw.data); }

const char16_t* Units(const WIDECHAR* text) { return reinterpret_cast<const char16_t*>(text); }

}  // namespace

// ---- FString ------------------------------------------------------------------------------

FString::FString(const ANSICHAR* Str) {
    std::u16string wide;
    for (const char* p = Str; p != nullptr && *p != 0; ++p) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(*p));
    }
    WriteRaw(*this, MakeRawString(wide.data(), wide.size()));
}

FString::FString(const WIDECHAR* Str) {
    WriteRaw(*this, MakeRawString(Units(Str), Str == nullptr ? 0 : WideLength(Units(Str))));
}

int32 FString::ParseIntoArray(TArray<FString>& OutArray, const TCHAR* pchDelim, bool InCullEmpty) const {
    RawArray old = ReadRaw(OutArray);
    for (int32 i = 0; i < old.num; ++i) {
        FreeRawString(ReadRaw(static_cast<FString*>(old.data)[i]));
    }
    StandIn::EngineFree(old.data);
    WriteRaw(OutArray, RawArray{});

    std::u16string text = StandIn::ToU16(*this);
    std::u16string delim = pchDelim == nullptr ? std::u16string() : std::u16string(Units(pchDelim));
    std::vector<std::u16string> pieces;
    if (delim.empty()) {
        if (!text.empty() || !InCullEmpty) {
            pieces.push_back(text);
        }
    } else {
        std::size_t start = 0;
        while (true) {
            std::size_t at = text.find(delim, start);
            std::u16string piece = text.substr(start, at == std::u16string::npos ? std::u16string::npos : at - start);
            if (!piece.empty() || !InCullEmpty) {
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
    RawArray array;
    array.data = StandIn::EngineMalloc(pieces.size() * sizeof(FString), 0);
    if (array.data == nullptr) {
        throw std::bad_alloc();
    }
    array.max = static_cast<int32>(pieces.size());
    for (const auto& piece : pieces) {
        WriteRaw(static_cast<FString*>(array.data)[array.num], MakeRawString(piece.data(), piece.size()));
        array.num++;
    }
    WriteRaw(OutArray, array);
    return array.num;
}

// ---- the converter: each invalid sequence becomes '?' ---------------------------------------

namespace {

template <typename Unit, typename Decode>
char32_t NextCodePoint(const Unit* source, std::int64_t& i, std::int64_t length, Decode decode) {
    char32_t cp = 0;
    int used = decode(source + i, length - i, cp);
    if (used == 0) {
        cp = U'?';
        used = 1;
    }
    i += used;
    return cp;
}

int Utf16Length(char32_t cp) { return cp < 0x10000 ? 1 : 2; }

}  // namespace

namespace UE::Core::Private {

int32 GetConvertedLength(const WIDECHAR* /*Dest*/, const UTF8CHAR* Src, int32 SrcLen) {
    auto s = reinterpret_cast<const unsigned char*>(Src);
    std::int64_t n = 0;
    for (std::int64_t i = 0; i < SrcLen;) {
        n += Utf16Length(NextCodePoint(s, i, SrcLen, DecodeUtf8));
    }
    return static_cast<int32>(n);
}

int32 GetConvertedLength(const UTF8CHAR* /*Dest*/, const WIDECHAR* Src, int32 SrcLen) {
    std::int64_t n = 0;
    for (std::int64_t i = 0; i < SrcLen;) {
        n += Utf8Length(NextCodePoint(Units(Src), i, SrcLen, DecodeUtf16));
    }
    return static_cast<int32>(n);
}

WIDECHAR* Convert(WIDECHAR* Dest, int32 DestLen, const UTF8CHAR* Src, int32 SrcLen) {
    auto s = reinterpret_cast<const unsigned char*>(Src);
    std::u16string out;
    for (std::int64_t i = 0; i < SrcLen;) {
        AppendUtf16(out, NextCodePoint(s, i, SrcLen, DecodeUtf8));
    }
    if (static_cast<std::int64_t>(out.size()) > DestLen) {
        return nullptr;
    }
    std::memcpy(Dest, out.data(), out.size() * sizeof(char16_t));
    return Dest + out.size();
}

UTF8CHAR* Convert(UTF8CHAR* Dest, int32 DestLen, const WIDECHAR* Src, int32 SrcLen) {
    std::string out;
    for (std::int64_t i = 0; i < SrcLen;) {
        AppendUtf8(out, NextCodePoint(Units(Src), i, SrcLen, DecodeUtf16));
    }
    if (static_cast<std::int64_t>(out.size()) > DestLen) {
        return nullptr;
    }
    std::memcpy(Dest, out.data(), out.size());
    return Dest + out.size();
}

}  // namespace UE::Core::Private

// ---- the host's own helpers ---------------------------------------------------------------

namespace StandIn {

FString MakeFString(const std::u16string& text) {
    FString made;
    WriteRaw(made, MakeRawString(text.data(), text.size()));
    return made;
}

std::u16string ToU16(const FString& text) { return std::u16string(Units(*text)); }

int CompareIgnoringCase(const char16_t* a, const char16_t* b) {
    auto fold = [](char16_t c) -> int { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : static_cast<int>(c); };
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
    return Recode<std::string>(utf16.data(), utf16.size(), DecodeUtf16, AppendUtf8);
}

std::string ToUtf8(const FString& text) { return ToUtf8(ToU16(text)); }

}  // namespace StandIn
