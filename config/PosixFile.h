#pragma once
// What every POSIX file of the project's system calls shares: a descriptor closed however its
// scope ends, and the system's words for an error number. Included by ...Posix.cpp files only.

#include <cstddef>
#include <optional>
#include <string>
#include <system_error>

#include <unistd.h>

namespace Lumora {

struct Descriptor {
    int fd;
    explicit Descriptor(int opened) : fd(opened) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    // Hands the descriptor over: it is no longer closed here.
    int Release() {
        const int released = fd;
        fd = -1;
        return released;
    }
};

inline std::string SystemError(int number) { return std::generic_category().message(number); }

// The bytes of the regular file open at fd, no more than limit + 1 of them; nothing when fd is
// not an open regular file that can be read.
std::optional<std::string> ReadOpenedRegularFile(int fd, std::size_t limit);

}  // namespace Lumora
