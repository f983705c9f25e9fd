// CPLD window behind /dev/mem: its registers are the bytes of ROOT/sim/cpld.bin, reached only
// through a shared mapping of the window's physical address and size, as the driver allows.
#include <fcntl.h>
#include <sys/mman.h>

#include <cerrno>

#include "emulators.hpp"
#include "sim/board.hpp"

namespace sim::detail {
namespace {

constexpr off_t cpld_window = 0xC0000000;

}  // namespace

int cpld_open(Runtime& rt) {
    return ::open(state_path(rt.root, "cpld.bin").c_str(), O_RDWR | O_CLOEXEC);
}

void* cpld_mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset) {
    if (length != cpld_size || offset != cpld_window) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return ::mmap(addr, length, prot, flags, fd, 0);
}

}  // namespace sim::detail
