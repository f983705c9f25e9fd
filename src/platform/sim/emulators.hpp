// The device models behind the simulated seam. Each returns what the kernel driver would: a
// result, or -1 with errno set.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "runtime.hpp"

namespace sim::detail {

// Opens the backing file of a partition; -1 with errno when absent.
int mtd_open(Runtime& rt, std::size_t partition);
int mtd_ioctl(Runtime& rt, int fd, const Device& dev, unsigned long request, void* arg);
// Without an offset the transfer uses and advances the descriptor's position (read/write).
ssize_t mtd_read(Runtime& rt, int fd, const Device& dev, void* buf, std::size_t count,
                 std::optional<off_t> offset);
ssize_t mtd_write(Runtime& rt, int fd, const Device& dev, const void* buf, std::size_t count,
                  std::optional<off_t> offset);

int i2c_ioctl(Runtime& rt, Device& dev, unsigned long request, void* arg);
ssize_t i2c_read(Runtime& rt, const Device& dev, void* buf, std::size_t count);
ssize_t i2c_write(Runtime& rt, const Device& dev, const void* buf, std::size_t count);

// /dev/mem opens the CPLD's register file; only the CPLD window can be mapped from it.
int cpld_open(Runtime& rt);
void* cpld_mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset);

}  // namespace sim::detail
