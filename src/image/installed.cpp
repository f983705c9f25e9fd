#include "image/installed.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "hw/mtd.hpp"
#include "image/byte_order.hpp"

namespace image {
namespace {

// The boot loader's program image carries its header copy here.
constexpr std::uint32_t bootloader_header_offset = 0xF0;

bool read_slot_file(std::uint32_t slot, installed_header& out) {
    char path[32];
    std::snprintf(path, sizeof path, "/user/images/image%u", static_cast<unsigned>(slot));
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    // A file shorter than a header leaves the rest of the zeros in place.
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return true;
}

void read_partition_header(int slot, std::uint32_t offset, installed_header& out) {
    installed_header bytes{};
    if (partition_read(bytes.data(), mtd_fd(slot), offset, bytes.size()) == 0) {
        out = bytes;
    }
}

}  // namespace

int read_installed_header(std::uint32_t type, installed_header* destination, std::uint32_t slot) {
    if (destination == nullptr) {
        return 0;
    }
    installed_header& out = *destination;
    out.fill(0);
    switch (type) {
        case TYPE_APPLICATION:
            return read_slot_file(slot, out) ? 1 : 0;
        case TYPE_BOOTLOADER:
            read_partition_header(MTD_UBOOT, bootloader_header_offset, out);
            return 1;
        case TYPE_KERNEL:
            read_partition_header(MTD_KERNEL, 0, out);
            return 1;
        case TYPE_RFS:
            read_partition_header(MTD_RFS, 0, out);
            return 1;
        case TYPE_DEVICETREE:
            read_partition_header(MTD_DEVICETREE, 0, out);
            return 1;
        case TYPE_DIAGNOSTICS:
            read_partition_header(MTD_RESCUE, 0, out);
            return 1;
        default:
            std::printf("Unknown image type 0x%x \n", static_cast<unsigned>(type));
            return 0;
    }
}

int same_version_installed(std::span<const std::uint8_t, header_common_size> header,
                           std::uint32_t slot) {
    const std::uint32_t raw_type = load_be32(header.data() + 8);
    installed_header installed{};
    if (!read_installed_header(raw_type, &installed, slot)) {
        return 0;
    }
    const std::size_t from = (raw_type & ~type_v2_flag) == TYPE_BOOTLOADER ? 4 : 0;
    return std::equal(header.begin() + from, header.end(), installed.begin() + from) ? 1 : 0;
}

}  // namespace image
