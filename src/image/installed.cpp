#include "image/installed.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

#include "hw/mtd.hpp"
#include "image/byte_order.hpp"
#include "image/crc.hpp"

namespace image {
namespace {

// The boot loader's program image carries its header copy here.
constexpr std::uint32_t bootloader_header_offset = 0xF0;
// An installed copy is checked a piece at a time: a partition can be many megabytes.
constexpr std::uint32_t check_piece_size = 0x2000;

// The partition whose offset 0 holds the whole installed sub-image of `type`, or -1.
int whole_image_partition(std::uint32_t type) {
    switch (type) {
        case TYPE_KERNEL:
            return MTD_KERNEL;
        case TYPE_RFS:
            return MTD_RFS;
        case TYPE_DEVICETREE:
            return MTD_DEVICETREE;
        case TYPE_DIAGNOSTICS:
            return MTD_RESCUE;
        default:
            return -1;
    }
}

int open_slot_file(std::uint32_t slot) {
    char path[32];
    std::snprintf(path, sizeof path, "/user/images/image%u", static_cast<unsigned>(slot));
    return ::open(path, O_RDONLY | O_CLOEXEC);
}

bool read_slot_file(std::uint32_t slot, installed_header& out) {
    const int fd = open_slot_file(slot);
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

// The sub-image at offset 0 of something `available` bytes long is whole: its lengths fit and
// its CRC holds. `read_at` (offset, buffer, count) fills the buffer or fails. A header that
// matches over a body cut short by a power failure is not whole, so it gets written again.
template <typename Reader>
bool subimage_intact(std::uint64_t available, Reader read_at) {
    // A version-1 sub-image may be shorter than the probe; its header never looks at the rest.
    std::array<std::uint8_t, header_probe_size> probe{};
    const auto probe_length =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(available, probe.size()));
    if (!read_at(0, probe.data(), probe_length)) {
        return false;
    }
    const image_header header = parse_image_header(probe);
    if (check_image_lengths(header, available) != header_fault::none) {
        return false;
    }
    std::array<std::uint8_t, check_piece_size> piece{};
    std::uint32_t crc = crc_initial;
    const std::uint32_t total = header.total();
    for (std::uint32_t offset = 4; offset < total;) {
        const std::uint32_t count = std::min(total - offset, check_piece_size);
        if (!read_at(offset, piece.data(), count)) {
            return false;
        }
        crc = image_crc(std::span(piece).first(count), crc);
        offset += count;
    }
    return crc == header.crc;
}

bool partition_intact(int slot) {
    const int fd = mtd_fd(slot);
    mtd_geometry geometry{};
    if (mtd_get_info(fd, &geometry) == 0) {
        return false;
    }
    return subimage_intact(geometry.total_size,
                           [fd](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t count) {
                               return partition_read(buffer, fd, offset, count) == 0;
                           });
}

bool read_fully_at(int fd, std::uint32_t offset, std::uint8_t* buffer, std::uint32_t count) {
    std::uint32_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, buffer + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::uint32_t>(n);
    }
    return true;
}

bool slot_file_intact(std::uint32_t slot) {
    const int fd = open_slot_file(slot);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    const bool intact =
        ::fstat(fd, &st) == 0 &&
        subimage_intact(static_cast<std::uint64_t>(st.st_size),
                        [fd](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t count) {
                            return read_fully_at(fd, offset, buffer, count);
                        });
    ::close(fd);
    return intact;
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
        default:
            break;
    }
    const int partition = whole_image_partition(type);
    if (partition < 0) {
        std::printf("Unknown image type 0x%x \n", static_cast<unsigned>(type));
        return 0;
    }
    read_partition_header(partition, 0, out);
    return 1;
}

int same_version_installed(std::span<const std::uint8_t, header_common_size> header,
                           std::uint32_t slot) {
    const std::uint32_t raw_type = load_be32(header.data() + 8);
    installed_header installed{};
    if (!read_installed_header(raw_type, &installed, slot)) {
        return 0;
    }
    if (raw_type == TYPE_BOOTLOADER) {
        // Only the program image is in flash; its header copy has no crc of the whole to check.
        return std::equal(header.begin() + 4, header.end(), installed.begin() + 4) ? 1 : 0;
    }
    if (!std::equal(header.begin(), header.end(), installed.begin())) {
        return 0;
    }
    const bool intact = raw_type == TYPE_APPLICATION
                            ? slot_file_intact(slot)
                            : partition_intact(whole_image_partition(raw_type));
    return intact ? 1 : 0;
}

}  // namespace image
