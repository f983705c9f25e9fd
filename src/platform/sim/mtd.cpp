// NOR flash partitions behind MTD character devices: erase sets whole blocks to 0xFF,
// programming can only clear bits, and out-of-range access behaves as the MTD char driver's.
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "emulators.hpp"
#include "files.hpp"

namespace sim::detail {
namespace {

std::filesystem::path backing_file(const Runtime& rt, std::size_t partition) {
    return state_path(rt.root, "flash") / (std::string(partition_names[partition]) + ".bin");
}

FlashWear& wear_of(Runtime& rt, std::size_t partition) {
    auto& wear = rt.wear[partition];
    if (!wear) {
        wear = read_flash_wear(rt.root, partition_names[partition]).value_or(FlashWear{});
        const auto& g = rt.config.partitions[partition];
        wear->erase_counts.resize(g.erase_size ? g.size / g.erase_size : 0, 0);
    }
    return *wear;
}

void save_wear(const Runtime& rt, std::size_t partition) {
    const FlashWear& wear = *rt.wear[partition];
    std::string text =
        "program-without-erase " + std::to_string(wear.program_without_erase) + "\nerases";
    for (auto count : wear.erase_counts) {
        text += ' ' + std::to_string(count);
    }
    text += '\n';
    write_text(state_path(rt.root, "wear") / std::string(partition_names[partition]), text);
}

// Counts an attempt and tells whether the fault plan makes it fail.
bool injected_io_error(Runtime& rt, std::size_t partition, IoFault::Op op) {
    auto& counter = op == IoFault::Op::erase  ? rt.erase_ops[partition]
                    : op == IoFault::Op::read ? rt.read_ops[partition]
                                              : rt.program_ops[partition];
    ++counter;
    const std::uint32_t any = rt.erase_ops[partition] + rt.program_ops[partition];
    for (const auto& f : rt.config.faults.io_errors) {
        if (f.partition != partition_names[partition]) {
            continue;
        }
        if ((f.op == op && f.nth == counter) ||
            (f.op == IoFault::Op::any && op != IoFault::Op::read && f.nth == any)) {
            return true;
        }
    }
    return false;
}

// After a completed erase or program: the board may lose power here.
void count_flash_operation(Runtime& rt) {
    if (power_cut_due(rt)) {
        lose_power(rt);
    }
}

int fail(int error) {
    errno = error;
    return -1;
}

int get_info(const Runtime& rt, const Device& dev, void* arg) {
    if (arg == nullptr) {
        return fail(EFAULT);
    }
    const auto& g = rt.config.partitions[dev.partition];
    mtd_info_user info{};
    info.type = MTD_NORFLASH;
    info.flags = MTD_CAP_NORFLASH;
    info.size = g.size;
    info.erasesize = g.erase_size;
    info.writesize = 1;
    *static_cast<mtd_info_user*>(arg) = info;
    return 0;
}

int erase(Runtime& rt, int fd, const Device& dev, const void* arg) {
    if (arg == nullptr) {
        return fail(EFAULT);
    }
    if (dev.access == O_RDONLY) {
        return fail(EPERM);
    }
    const auto& req = *static_cast<const erase_info_user*>(arg);
    const auto& g = rt.config.partitions[dev.partition];
    const std::uint64_t start = req.start;
    const std::uint64_t length = req.length;
    if (start >= g.size || length > g.size - start || g.erase_size == 0 ||
        start % g.erase_size != 0 || length % g.erase_size != 0) {
        return fail(EINVAL);
    }
    if (length == 0) {
        return 0;
    }
    if (injected_io_error(rt, dev.partition, IoFault::Op::erase)) {
        return fail(EIO);
    }
    const std::vector<std::uint8_t> erased(length, 0xFF);
    if (!pwrite_all(fd, erased.data(), erased.size(), start)) {
        return fail(EIO);
    }
    FlashWear& wear = wear_of(rt, dev.partition);
    for (std::uint64_t block = start / g.erase_size; block < (start + length) / g.erase_size;
         ++block) {
        ++wear.erase_counts[block];
    }
    save_wear(rt, dev.partition);
    count_flash_operation(rt);
    return 0;
}

// Where a transfer starts: the given offset (pread/pwrite) or the descriptor's position.
off_t start_position(int fd, std::optional<off_t> offset) {
    if (!offset) {
        return ::lseek(fd, 0, SEEK_CUR);
    }
    if (*offset < 0) {
        return fail(EINVAL);
    }
    return *offset;
}

void advance_position(int fd, std::optional<off_t> offset, off_t end) {
    if (!offset) {
        ::lseek(fd, end, SEEK_SET);
    }
}

}  // namespace

int mtd_open(Runtime& rt, std::size_t partition) {
    return ::open(backing_file(rt, partition).c_str(), O_RDWR | O_CLOEXEC);
}

int mtd_ioctl(Runtime& rt, int fd, const Device& dev, unsigned long request, void* arg) {
    switch (request) {
        case MEMGETINFO:
            return get_info(rt, dev, arg);
        case MEMERASE:
            return erase(rt, fd, dev, arg);
    }
    return fail(ENOTTY);
}

ssize_t mtd_read(Runtime& rt, int fd, const Device& dev, void* buf, std::size_t count,
                 std::optional<off_t> offset) {
    if (dev.access == O_WRONLY) {
        return fail(EBADF);
    }
    const off_t pos = start_position(fd, offset);
    if (pos < 0) {
        return -1;
    }
    const std::uint64_t size = rt.config.partitions[dev.partition].size;
    if (static_cast<std::uint64_t>(pos) >= size || count == 0) {
        return 0;
    }
    if (injected_io_error(rt, dev.partition, IoFault::Op::read)) {
        return fail(EIO);
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, size - pos));
    if (!pread_all(fd, buf, n, static_cast<std::uint64_t>(pos))) {
        return fail(EIO);
    }
    advance_position(fd, offset, pos + static_cast<off_t>(n));
    return static_cast<ssize_t>(n);
}

ssize_t mtd_write(Runtime& rt, int fd, const Device& dev, const void* buf, std::size_t count,
                  std::optional<off_t> offset) {
    if (dev.access == O_RDONLY) {
        return fail(EBADF);
    }
    const off_t pos = start_position(fd, offset);
    if (pos < 0) {
        return -1;
    }
    const std::uint64_t size = rt.config.partitions[dev.partition].size;
    if (static_cast<std::uint64_t>(pos) >= size) {
        return fail(ENOSPC);
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, size - pos));
    if (n == 0) {
        return 0;
    }
    if (injected_io_error(rt, dev.partition, IoFault::Op::program)) {
        return fail(EIO);
    }
    std::vector<std::uint8_t> cells(n);
    if (!pread_all(fd, cells.data(), n, static_cast<std::uint64_t>(pos))) {
        return fail(EIO);
    }
    const auto* data = static_cast<const std::uint8_t*>(buf);
    std::uint64_t needed_erase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        needed_erase += (data[i] & ~cells[i]) != 0;
        cells[i] &= data[i];
    }
    if (!pwrite_all(fd, cells.data(), n, static_cast<std::uint64_t>(pos))) {
        return fail(EIO);
    }
    if (needed_erase != 0) {
        wear_of(rt, dev.partition).program_without_erase += needed_erase;
        save_wear(rt, dev.partition);
    }
    advance_position(fd, offset, pos + static_cast<off_t>(n));
    count_flash_operation(rt);
    return static_cast<ssize_t>(n);
}

}  // namespace sim::detail
