// SHA-256 from libcrypto.

#include <stdexcept>

#include <openssl/evp.h>

#include "lumora-config/Sha256.h"

namespace Lumora {

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

}  // namespace Lumora
