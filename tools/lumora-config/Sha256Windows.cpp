// SHA-256 from Windows' CNG (bcrypt).

#include <stdexcept>

#include <windows.h>
// windows.h first: bcrypt.h uses its types.
#include <bcrypt.h>

#include "lumora-config/Sha256.h"

namespace Lumora {

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0))) {
        if (state_->algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(state_->algorithm, 0);
        }
        throw std::runtime_error("the system's SHA-256 (bcrypt) could not be started");
    }
}

Sha256::~Sha256() {
    BCryptDestroyHash(state_->hash);
    BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha256::Add(const void* bytes, std::size_t size) {
    auto* next = static_cast<unsigned char*>(const_cast<void*>(bytes));
    while (size > 0) {
        const ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptHashData(state_->hash, next, chunk, 0))) {
            throw std::runtime_error("the system's SHA-256 (bcrypt) failed");
        }
        next += chunk;
        size -= chunk;
    }
}

std::string Sha256::HexDigest() {
    unsigned char digest[DigestBytes];
    if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest, DigestBytes, 0))) {
        throw std::runtime_error("the system's SHA-256 (bcrypt) failed");
    }
    return Hex(digest);
}

}  // namespace Lumora
