// The board's MTD flash partitions: a table of descriptors opened once at start-up, reads at any
// offset, and writes at any offset carried out block by block (read, merge, erase, write back).
#pragma once

#include <cstdint>

// Slots of the partition table, in the order they are opened.
enum : int {
    MTD_UBOOT = 0,
    MTD_UBOOTENV = 1,
    MTD_DEVICETREE = 2,
    MTD_KERNEL = 3,
    MTD_RFS = 4,
    MTD_RESCUE = 5,
    MTD_ONIE = 6,
    MTD_COUNT = 7,
};

struct mtd_geometry {
    std::uint32_t block_count;
    std::uint32_t block_size;
    std::uint32_t block_shift;
    std::uint32_t total_size;
};

// Descriptor held in a table slot: -1 when the device could not be opened (or the table is not
// open yet).
int mtd_fd(int slot);

// One system call each; 1 on success, 0 on failure.
int mtd_get_info(int fd, mtd_geometry* geometry);
int mtd_erase(int fd, std::uint32_t start, std::uint32_t length);
int mtd_read(int fd, std::uint32_t offset, std::uint32_t length, void* buffer);
int mtd_write(int fd, std::uint32_t offset, std::uint32_t length, const void* buffer);

// Block level; 1 on success, 0 on failure.
int flash_read(void* buffer, int fd, std::uint32_t length, std::uint32_t offset);
int flash_write(const void* data, int fd, std::uint32_t length, std::uint32_t offset,
                std::uint8_t show_progress, const mtd_geometry* geometry);
int flash_erase(int fd, std::uint32_t length, std::uint32_t offset, const mtd_geometry* geometry);

int flash_init();
void mtd_open_all();

// Partition level: 0 on success, -1 on failure.
int partition_read(void* buffer, int fd, std::uint32_t offset, std::uint32_t length);
int partition_write(const void* data, int fd, std::uint32_t offset, std::uint32_t length,
                    std::uint8_t show_progress);
int partition_erase(int fd, std::uint32_t length, std::uint32_t offset);
