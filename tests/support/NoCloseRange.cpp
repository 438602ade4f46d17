// Preloaded into a tool to play a system that refuses close_range (a kernel before Linux 5.9, or a
// seccomp profile that denies the call).
#include <cerrno>

extern "C" int close_range(unsigned, unsigned, int) {
    errno = ENOSYS;
    return -1;
}
