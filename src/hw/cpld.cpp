#include "hw/cpld.hpp"

#include <fcntl.h>
#include <sys/mman.h>

#include <cstdio>

#include "platform/seam.hpp"

namespace {

constexpr off_t window_address = 0xC0000000;
constexpr std::size_t window_size = 0x100;

int mem_fd = 0;
volatile std::uint8_t* base = nullptr;

bool mapped() {
    if (base != nullptr) {
        return true;
    }
    if (cpld_init()) {
        return true;
    }
    std::printf("ERROR - failed to open access to CPLD\n");
    return false;
}

bool in_window(std::uint32_t offset) {
    if (offset < window_size) {
        return true;
    }
    std::printf("CPLD offset 0x%x is outside the register window\n", offset);
    return false;
}

}  // namespace

int cpld_init() {
    const int fd = platform::dev_open("/dev/mem", O_RDWR);
    if (fd < 0) {
        std::printf("cpld_init open() FAILED\n");
        mem_fd = 0;
        return 0;
    }
    void* map = platform::dev_mmap(nullptr, window_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                                   window_address);
    if (map == MAP_FAILED) {
        std::printf("mmap() FAILED\n");
        platform::dev_close(fd);
        mem_fd = 0;
        base = nullptr;
        return 0;
    }
    mem_fd = fd;
    base = static_cast<volatile std::uint8_t*>(map);
    return 1;
}

int cpld_read(std::uint32_t offset, std::uint8_t* destination) {
    if (!in_window(offset) || !mapped()) {
        return 0;
    }
    const std::uint8_t value = base[offset];
    if (destination != nullptr) {
        *destination = value;
    } else {
        std::printf("CPLD offset 0x%x = 0x%x\n", offset, value);
    }
    return 1;
}

int cpld_write(std::uint32_t offset, std::uint8_t value) {
    if (!in_window(offset) || !mapped()) {
        return 0;
    }
    base[offset] = value;
    return 1;
}

int cpld_close() {
    // Never opened: descriptor 0 is standard input, not ours to close.
    if (mem_fd <= 0) {
        base = nullptr;
        return 0;
    }
    if (base != nullptr) {
        platform::dev_munmap(const_cast<std::uint8_t*>(base), window_size);
    }
    const int result = platform::dev_close(mem_fd);
    mem_fd = 0;
    base = nullptr;
    return result;
}
