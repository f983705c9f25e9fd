#include "install/file_writer.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

bool write_fully(int fd, const std::uint8_t* data, std::uint32_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::uint32_t>(n);
    }
    return true;
}

bool copy_file_bytes(int from, std::uint64_t offset, std::uint32_t count, int to) {
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(std::min(count, copy_piece_size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    while (count > 0) {
        const ssize_t got = ::pread(from, buffer.data(), std::min(count, copy_piece_size),
                                    static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || !write_fully(to, buffer.data(), static_cast<std::uint32_t>(got))) {
            return false;
        }
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::uint32_t>(got);
    }
    return true;
}

int write_file_with_progress(const char* path, const std::uint8_t* data, std::int32_t length) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return 0;
    }
    std::printf("%s", progress_blank);
    const std::uint32_t total = length > 0 ? static_cast<std::uint32_t>(length) : 0;
    // Both counts are taken in 256-byte units so the product stays within 32 bits; below one
    // unit there is no meaningful step and the field goes straight to 100 %.
    const std::uint32_t total_units = total / 256;
    std::uint32_t written = 0;
    std::uint32_t shown = 0;
    while (written < total) {
        const std::uint32_t piece =
            total - written < write_piece_size ? total - written : write_piece_size;
        if (!write_fully(fd, data + written, piece)) {
            const int error = errno;
            std::printf("File %s write failed (err %d: bytes_written %d, len %d, wr_len %d)\n",
                        path, error, static_cast<int>(written), static_cast<int>(length),
                        static_cast<int>(piece));
            ::close(fd);
            errno = error;
            return 0;
        }
        written += piece;
        if (total_units == 0) {
            continue;
        }
        const std::uint32_t percent = (written / 256) * 100 / total_units;
        if (percent != shown) {
            std::printf(progress_step, static_cast<int>(percent), '%');
            std::fflush(stdout);
            shown = percent;
        }
    }
    std::printf(progress_done, '%');
    ::close(fd);
    return 1;
}
