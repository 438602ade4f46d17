#include "lumora-config/Sha256.h"

namespace Lumora {

std::string Sha256::Hex(const unsigned char* digest) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < DigestBytes; ++i) {
        text += Digits[digest[i] >> 4];
        text += Digits[digest[i] & 0xF];
    }
    return text;
}

}  // namespace Lumora
