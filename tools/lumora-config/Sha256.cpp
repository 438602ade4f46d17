#include "lumora-config/Sha256.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
// windows.h first: bcrypt.h uses its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace Lumora {

namespace {

constexpr std::size_t DigestBytes = 32;

std::string Hex(const unsigned char* digest) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < DigestBytes; ++i) {
        text += Digits[digest[i] >> 4];
        text += Digits[digest[i] & 0xF];
    }
    return text;
}

}  // namespace

#if defined(_WIN32)

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

#else

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(state_->context);
        throw std::runtime_error("libcrypto's SHA-256 could not be started");
    }
}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->context); }

void Sha256::Add(const void* bytes, std::size_t size) {
    if (EVP_DigestUpdate(state_->context, bytes, size) != 1) {
        throw std::runtime_error("libcrypto's SHA-256 failed");
    }
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context, digest, &length) != 1 || length != DigestBytes) {
        throw std::runtime_error("libcrypto's SHA-256 failed");
    }
    return Hex(digest);
}

#endif

}  // namespace Lumora
