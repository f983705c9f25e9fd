// Sub-image headers: the common 16 bytes (crc, length, type, version) and the three ways the
// header length and payload length follow from them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace image {

inline constexpr std::uint32_t TYPE_APPLICATION = 0x01706774;
inline constexpr std::uint32_t TYPE_BOOTLOADER = 0x02706774;
inline constexpr std::uint32_t TYPE_KERNEL = 0x03706774;
inline constexpr std::uint32_t TYPE_RFS = 0x04706774;
inline constexpr std::uint32_t TYPE_DEVICETREE = 0x05706774;
inline constexpr std::uint32_t TYPE_DIAGNOSTICS = 0x06706774;
inline constexpr std::uint32_t TYPE_KXOS = 0x08706774;

// Bit 31 of the stored type word marks a version-2 header; comparisons use the type without it.
inline constexpr std::uint32_t type_v2_flag = 0x80000000;
// All type codes share their low 24 bits.
inline constexpr std::uint32_t type_family_mask = 0x00FFFFFF;
inline constexpr std::uint32_t hdr3_magic = 0x48445233;  // "HDR3" at bytes 16-19

// Readers always take this many bytes first and decide the header version from them.
inline constexpr std::size_t header_probe_size = 24;
// crc, length, type, version: what installed copies keep and what version tests compare.
inline constexpr std::uint32_t header_common_size = 16;
// Records of a version-3 header start here.
inline constexpr std::uint32_t v3_records_offset = 24;

struct image_header {
    std::uint32_t crc;
    std::uint32_t length;         // as stored; its meaning depends on header_version
    std::uint32_t raw_type;       // as stored, bit 31 kept
    std::uint32_t version;        // release a.b.c.d, most significant byte first
    std::uint8_t header_version;  // 1, 2 or 3
    std::uint32_t header_length;
    std::uint32_t payload_length;

    std::uint32_t type() const { return raw_type & ~type_v2_flag; }
    // Unsigned 32-bit like every size of the format; meaningful only once
    // check_image_lengths has accepted the header.
    std::uint32_t total() const { return header_length + payload_length; }
};

// Decodes the first 24 bytes of a sub-image. The version is 3 when bytes 16-19 hold "HDR3"
// (bit 31 of the type notwithstanding), else 2 when bit 31 is set, else 1; the header and
// payload lengths follow from it, unchecked: only check_image_lengths makes them usable.
image_header parse_image_header(std::span<const std::uint8_t, header_probe_size> bytes);

// Why a header describes no usable sub-image.
enum class header_fault {
    none,
    wraps,                // a size sum passes 2^32
    short_v3_header,      // version-3 header length below the 24 fixed bytes
    total_too_small,      // total below 4: not even the crc word fits
    header_beyond_total,  // header length larger than the whole sub-image
    past_end,             // sub-image runs past the end of its file or partition
};

// The one test of a header's lengths that every reader applies before it reads, allocates or
// skips by them. `available` counts the bytes from the sub-image's first byte to the end of
// the file or partition that holds it. The first fault in the enum's order is reported.
header_fault check_image_lengths(const image_header& header, std::uint64_t available);

// "a.b.c.d", each byte unsigned.
std::array<char, 16> version_text(std::uint32_t version);

}  // namespace image
