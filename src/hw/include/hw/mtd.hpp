// The board's MTD flash partitions: a table of descriptors opened once at start-up, reads at any
// offset, and writes at any offset carried out block by block (read, merge, erase, write back).
// This module owns the table's descriptors; the calls print their own errors.
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
// open yet), and for a slot outside the table.
int mtd_fd(int slot);

// One system call each; 1 on success, 0 on failure. Success means only that the call did not
// fail: a read or write cut short (at the end of the device) still gives 1.
// mtd_get_info prints on failure and leaves geometry untouched; block_shift is the erase size's
// trailing zero bits. mtd_erase needs a block-aligned range.
int mtd_get_info(int fd, mtd_geometry* geometry);
int mtd_erase(int fd, std::uint32_t start, std::uint32_t length);
int mtd_read(int fd, std::uint32_t offset, std::uint32_t length, void* buffer);
int mtd_write(int fd, std::uint32_t offset, std::uint32_t length, const void* buffer);

// Block level; 1 on success, 0 on failure after printing the failed step. geometry is the
// device's with a power-of-two block size (the partition level checks that). flash_read is
// mtd_read with its arguments in another order. flash_write reads each block touched, merges
// the data, erases the block and writes it back in 1 KiB pieces; a failure leaves the blocks
// before it written and the failing one possibly erased. show_progress prints a percentage.
// flash_write refuses a range wrapping past 2^32; flash_erase does not check. Both work on
// the blocks touched by [offset, offset + length): length 0 at an offset inside a block still
// rewrites (or erases) that block, and a range reaching the last 32-bit block touches every
// block up to it, so the device's refusal past its end fails the call.
int flash_read(void* buffer, int fd, std::uint32_t length, std::uint32_t offset);
int flash_write(const void* data, int fd, std::uint32_t length, std::uint32_t offset,
                std::uint8_t show_progress, const mtd_geometry* geometry);
int flash_erase(int fd, std::uint32_t length, std::uint32_t offset, const mtd_geometry* geometry);

// Open every partition into the table with its flags (a slot that fails holds -1, silently),
// closing what an earlier call opened. flash_init always returns 1.
int flash_init();
void mtd_open_all();

// Partition level: 0 on success, -1 on failure. Each asks the device for its geometry first
// (failing if fd is not an MTD device); write and erase also refuse a block size that is not a
// power of two, printing it. Otherwise as flash_read, flash_write and flash_erase.
int partition_read(void* buffer, int fd, std::uint32_t offset, std::uint32_t length);
int partition_write(const void* data, int fd, std::uint32_t offset, std::uint32_t length,
                    std::uint8_t show_progress);
int partition_erase(int fd, std::uint32_t length, std::uint32_t offset);
