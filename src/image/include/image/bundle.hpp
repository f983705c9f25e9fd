// Reading sub-images out of a file: a bundle, an image slot file, a USB image. The file is a
// plain concatenation of sub-images and ends where fewer than 24 bytes remain.
#pragma once

#include <cstdint>
#include <vector>

#include "image/header.hpp"

namespace image {

struct subimage_ref {
    std::uint64_t offset;  // of the sub-image's first byte in the file
    image_header header;
    header_fault fault;  // none: the lengths fit the file and may be used
};

enum class walk_step {
    subimage,    // `out` describes the next sub-image; check its fault before using it
    end,         // fewer than 24 bytes left, or the walk stopped at a faulty header
    read_error,  // the file could not be measured or read
};

// Walks a file sub-image by sub-image. It holds the descriptor without owning it, reads with
// positioned reads only, and after a faulty header ends: with unusable lengths there is no
// next sub-image to move to.
class bundle_walk {
public:
    explicit bundle_walk(int fd) : fd_(fd) {}

    // The file is measured on the first call. subimage: `out` holds the header at the walk's
    // offset, and the walk moves past it only when it has no fault. read_error (fstat or the
    // 24-byte read failed) leaves `out` and the offset as they were.
    walk_step next(subimage_ref& out);
    // Bytes left after the last sub-image once the walk has ended normally.
    std::uint64_t trailing_bytes() const { return size_ - offset_; }

private:
    int fd_;
    bool measured_ = false;
    bool stopped_ = false;
    std::uint64_t size_ = 0;
    std::uint64_t offset_ = 0;
};

// Fills `out` with `count` bytes at `offset` of the file, resuming after short reads and
// interrupts. False when `out` cannot be allocated (left empty, nothing read), or when the file
// ends early or a read fails (the file changed under us; `out` has `count` bytes, not all read).
bool read_file_range(int fd, std::uint64_t offset, std::uint32_t count,
                     std::vector<std::uint8_t>& out);

// Feeds `count` bytes at `offset` of the file into the CRC register `crc`, reading them through a
// small buffer, so that a large sub-image is checked without being held in memory. Fails on a
// short read or when the buffer cannot be allocated (`crc` is then meaningless).
bool crc_file_range(int fd, std::uint64_t offset, std::uint32_t count, std::uint32_t& crc);

// The whole sub-image: header, records and payload. False without reading for a sub-image with
// a fault; otherwise as read_file_range.
bool read_subimage(int fd, const subimage_ref& sub, std::vector<std::uint8_t>& out);

// The header with its records (header-length bytes), as read_subimage.
bool read_header_bytes(int fd, const subimage_ref& sub, std::vector<std::uint8_t>& out);

}  // namespace image
