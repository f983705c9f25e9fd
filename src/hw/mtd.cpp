#include "hw/mtd.hpp"

#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/seam.hpp"

namespace {

struct Slot {
    const char* path;
    int flags;
};

// The rescue and ONIE partitions are written rarely and not synchronously.
constexpr Slot slots[MTD_COUNT] = {
    {"/dev/mtd-uboot", O_RDWR | O_SYNC},
    {"/dev/mtd-ubootenv", O_RDWR | O_SYNC},
    {"/dev/mtd-devicetree", O_RDWR | O_SYNC},
    {"/dev/mtd-kernel", O_RDWR | O_SYNC},
    {"/dev/mtd-rfs", O_RDWR | O_SYNC},
    {"/dev/mtd-rescue", O_RDWR},
    {"/dev/mtd-onie", O_RDWR},
};

int table[MTD_COUNT] = {-1, -1, -1, -1, -1, -1, -1};

constexpr std::uint32_t write_piece = 1024;

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

// The block arithmetic masks with -block_size, which only works for a power of two.
bool usable(const mtd_geometry& g) {
    if (g.block_size == 0 || (g.block_size & (g.block_size - 1)) != 0) {
        std::printf("MTD erase size 0x%x is not a power of two\n", g.block_size);
        return false;
    }
    return true;
}

struct Span {
    std::uint32_t first;
    std::uint64_t count;
};

// Blocks touched by [offset, offset + length), in unsigned 32-bit arithmetic that wraps but
// for the count: an empty range at a block boundary touches none, while a range reaching the last
// block of the 32-bit space touches every block up to it (both wrap to 0 in 32 bits).
Span touched_blocks(std::uint32_t offset, std::uint32_t length, const mtd_geometry& g) {
    const std::uint32_t mask = 0u - g.block_size;
    const std::uint32_t first = offset & mask;
    if (length == 0 && first == offset) {
        return {first, 0};
    }
    const std::uint32_t last = ((offset + length - 1) & mask) + g.block_size - 1;
    return {first, (std::uint64_t{last} - first + 1) >> g.block_shift};
}

}  // namespace

int mtd_fd(int slot) {
    return slot >= 0 && slot < MTD_COUNT ? table[slot] : -1;
}

int mtd_get_info(int fd, mtd_geometry* geometry) {
    mtd_info_user info{};
    const int result = platform::dev_ioctl(fd, MEMGETINFO, &info);
    if (result != 0) {
        std::printf("Could not get MTD device info \n");
        return 0;
    }
    geometry->block_size = info.erasesize;
    geometry->total_size = info.size;
    geometry->block_count = info.erasesize != 0 ? info.size / info.erasesize : 0;
    geometry->block_shift = 0;
    while (geometry->block_shift < 32 && (info.erasesize >> geometry->block_shift & 1u) == 0) {
        ++geometry->block_shift;
    }
    return 1;
}

int mtd_erase(int fd, std::uint32_t start, std::uint32_t length) {
    erase_info_user request{start, length};
    return platform::dev_ioctl(fd, MEMERASE, &request) >= 0 ? 1 : 0;
}

int mtd_read(int fd, std::uint32_t offset, std::uint32_t length, void* buffer) {
    return platform::dev_pread(fd, buffer, length, offset) >= 0 ? 1 : 0;
}

int mtd_write(int fd, std::uint32_t offset, std::uint32_t length, const void* buffer) {
    return platform::dev_pwrite(fd, buffer, length, offset) >= 0 ? 1 : 0;
}

int flash_read(void* buffer, int fd, std::uint32_t length, std::uint32_t offset) {
    return mtd_read(fd, offset, length, buffer);
}

int flash_write(const void* data, int fd, std::uint32_t length, std::uint32_t offset,
                std::uint8_t show_progress, const mtd_geometry* geometry) {
    // A range that wraps past the end of the 32-bit offset space has no blocks to hold it; the
    // wrapping arithmetic would otherwise copy far beyond one block.
    if (length != 0 && offset + length - 1 < offset) {
        std::printf("Flash Write range 0x%x + 0x%x is outside the device\n", offset, length);
        return 0;
    }
    const std::uint32_t block_size = geometry->block_size;
    const Span blocks = touched_blocks(offset, length, *geometry);
    Buffer work(static_cast<std::uint8_t*>(std::malloc(std::size_t{block_size} + write_piece)));
    if (!work) {
        std::printf("Flash Write malloc failed\n");
        return 0;
    }
    if (show_progress) {
        std::printf("     ");
        std::fflush(stdout);
    }
    const auto* source = static_cast<const std::uint8_t*>(data);
    std::uint32_t consumed = 0;
    std::uint32_t block = blocks.first;
    for (std::uint64_t i = 0; i < blocks.count; ++i) {
        std::uint32_t slice_start = 0;
        std::uint32_t slice_length = block_size;
        if (blocks.count == 1) {
            slice_start = offset - block;
            slice_length = length;
        } else if (i == 0) {
            slice_start = offset - block;
            slice_length = block_size - slice_start;
        } else if (i == blocks.count - 1) {
            slice_length = length - consumed;
        }

        std::memset(work.get(), 0, block_size);
        if (!mtd_read(fd, block, block_size, work.get())) {
            std::printf("Flash Write mtd read failed.\n\n");
            return 0;
        }
        if (slice_length != 0) {
            std::memcpy(work.get() + slice_start, source + consumed, slice_length);
        }
        if (!mtd_erase(fd, block, block_size)) {
            std::printf("Flash Write mtd erase failed.\n\n");
            return 0;
        }
        // Pieces never run past the block: a block smaller than a piece must not drag the
        // buffer's tail into the next block.
        for (std::uint32_t k = 0; k < block_size; k += write_piece) {
            const std::uint32_t piece = block_size - k < write_piece ? block_size - k : write_piece;
            if (!mtd_write(fd, block + k, piece, work.get() + k)) {
                std::printf("Flash Write mtd write failed.\n\n");
                return 0;
            }
        }
        if (show_progress) {
            std::printf("\b\b\b\b%3.3d%c", static_cast<int>(std::uint64_t{i} * 100 / blocks.count),
                        '%');
            std::fflush(stdout);
        }
        block += block_size;
        consumed += slice_length;
    }
    if (show_progress) {
        std::printf("\b\b\b\b100%c\n", '%');
    }
    return 1;
}

int flash_erase(int fd, std::uint32_t length, std::uint32_t offset, const mtd_geometry* geometry) {
    const Span blocks = touched_blocks(offset, length, *geometry);
    std::uint32_t block = blocks.first;
    for (std::uint64_t i = 0; i < blocks.count; ++i) {
        if (!mtd_erase(fd, block, geometry->block_size)) {
            std::printf("Flash Erase mtd erase failed.\n");
            return 0;
        }
        block += geometry->block_size;
    }
    return 1;
}

void mtd_open_all() {
    for (int i = 0; i < MTD_COUNT; ++i) {
        // A second call must not leak the first set.
        if (table[i] >= 0) {
            platform::dev_close(table[i]);
        }
        table[i] = platform::dev_open(slots[i].path, slots[i].flags);
    }
}

int flash_init() {
    mtd_open_all();
    return 1;
}

int partition_read(void* buffer, int fd, std::uint32_t offset, std::uint32_t length) {
    mtd_geometry geometry{};
    if (!mtd_get_info(fd, &geometry)) {
        return -1;
    }
    return flash_read(buffer, fd, length, offset) ? 0 : -1;
}

int partition_write(const void* data, int fd, std::uint32_t offset, std::uint32_t length,
                    std::uint8_t show_progress) {
    mtd_geometry geometry{};
    if (!mtd_get_info(fd, &geometry) || !usable(geometry)) {
        return -1;
    }
    return flash_write(data, fd, length, offset, show_progress, &geometry) ? 0 : -1;
}

int partition_erase(int fd, std::uint32_t length, std::uint32_t offset) {
    mtd_geometry geometry{};
    if (!mtd_get_info(fd, &geometry) || !usable(geometry)) {
        return -1;
    }
    return flash_erase(fd, length, offset, &geometry) ? 0 : -1;
}
