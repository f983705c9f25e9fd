#include "image/bundle.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <span>

#include "image/crc.hpp"

namespace image {
namespace {

bool pread_full(int fd, std::uint8_t* dst, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, dst, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        dst += got;
        count -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace

walk_step bundle_walk::next(subimage_ref& out) {
    if (!measured_) {
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || st.st_size < 0) {
            return walk_step::read_error;
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
        measured_ = true;
    }
    if (stopped_ || size_ - offset_ < header_probe_size) {
        return walk_step::end;
    }
    std::array<std::uint8_t, header_probe_size> probe{};
    if (!pread_full(fd_, probe.data(), probe.size(), offset_)) {
        return walk_step::read_error;
    }
    out.offset = offset_;
    out.header = parse_image_header(probe);
    out.fault = check_image_lengths(out.header, size_ - offset_);
    if (out.fault == header_fault::none) {
        offset_ += out.header.total();
    } else {
        stopped_ = true;
    }
    return walk_step::subimage;
}

bool read_file_range(int fd, std::uint64_t offset, std::uint32_t count,
                     std::vector<std::uint8_t>& out) {
    // Lengths are checked against the file before this point, but a large image can still
    // exceed free memory; that must fail the one attempt, not the process.
    try {
        out.resize(count);
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
    return pread_full(fd, out.data(), count, offset);
}

bool crc_file_range(int fd, std::uint64_t offset, std::uint32_t count, std::uint32_t& crc) {
    // A piece small enough to stay in the cache: the bytes only pass through it.
    constexpr std::uint32_t piece = 64 * 1024;
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(std::min(count, piece));
    } catch (const std::bad_alloc&) {
        return false;
    }
    while (count > 0) {
        const std::uint32_t n = std::min(count, piece);
        if (!pread_full(fd, buffer.data(), n, offset)) {
            return false;
        }
        crc = image_crc(std::span(buffer).first(n), crc);
        offset += n;
        count -= n;
    }
    return true;
}

bool read_subimage(int fd, const subimage_ref& sub, std::vector<std::uint8_t>& out) {
    return sub.fault == header_fault::none &&
           read_file_range(fd, sub.offset, sub.header.total(), out);
}

bool read_header_bytes(int fd, const subimage_ref& sub, std::vector<std::uint8_t>& out) {
    return sub.fault == header_fault::none &&
           read_file_range(fd, sub.offset, sub.header.header_length, out);
}

}  // namespace image
