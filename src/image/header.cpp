#include "image/header.hpp"

#include <cstdio>

#include "image/byte_order.hpp"

namespace image {

image_header parse_image_header(std::span<const std::uint8_t, header_probe_size> bytes) {
    const std::uint8_t* p = bytes.data();
    image_header h{};
    h.crc = load_be32(p);
    h.length = load_be32(p + 4);
    h.raw_type = load_be32(p + 8);
    h.version = load_be32(p + 12);
    // The magic decides before the flag bit: a flagged type word with "HDR3" is version 3.
    if (load_be32(p + 16) == hdr3_magic) {
        h.header_version = 3;
        h.header_length = load_be16(p + 22);
        h.payload_length = h.length + header_common_size - h.header_length;
    } else if (h.raw_type & type_v2_flag) {
        h.header_version = 2;
        h.header_length = load_be16(p + 18);
        h.payload_length = h.length;
    } else {
        h.header_version = 1;
        h.header_length = header_common_size;
        h.payload_length = h.length;
    }
    return h;
}

header_fault check_image_lengths(const image_header& header, std::uint64_t available) {
    // Recomputed in 64 bits from the stored fields, so that no wrapped 32-bit sum can pass.
    const std::uint64_t total =
        std::uint64_t{header.length} +
        (header.header_version == 2 ? header.header_length : header_common_size);
    if (total > UINT32_MAX) {
        return header_fault::wraps;
    }
    if (header.header_version == 3 && header.header_length < v3_records_offset) {
        return header_fault::short_v3_header;
    }
    if (total < 4) {
        return header_fault::total_too_small;
    }
    if (header.header_length > total) {
        return header_fault::header_beyond_total;
    }
    if (total > available) {
        return header_fault::past_end;
    }
    return header_fault::none;
}

std::array<char, 16> version_text(std::uint32_t version) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%u.%u.%u.%u", unsigned{(version >> 24) & 0xFF},
                  unsigned{(version >> 16) & 0xFF}, unsigned{(version >> 8) & 0xFF},
                  unsigned{version & 0xFF});
    return text;
}

}  // namespace image
