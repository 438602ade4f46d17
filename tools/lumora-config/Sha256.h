#pragma once
// SHA-256 from the system's own library: libcrypto here, CNG (bcrypt) on Windows.

#include <cstddef>
#include <memory>
#include <string>

namespace Lumora {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const void* bytes, std::size_t size);
    // The sum of everything added, as 64 lowercase hexadecimal digits; the object is used up.
    std::string HexDigest();

private:
    static constexpr std::size_t DigestBytes = 32;
    static std::string Hex(const unsigned char* digest);
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace Lumora
