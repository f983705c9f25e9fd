// Composing sub-images, for the tools and tests that make bundles. The boot manager itself
// only reads them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace image {

struct record_spec {
    std::uint16_t type;
    std::vector<std::uint8_t> body;
};

struct subimage_layout {
    std::uint32_t type;  // without bit 31; a version-2 header sets it
    std::uint32_t version;
    std::uint8_t header_version = 3;
    std::vector<record_spec> records;  // version 3 only
    std::span<const std::uint8_t> payload;
};

// A record naming the type the boot scan takes instead of the header's.
record_spec alternative_type_record(std::uint32_t type);

// The sub-image with its crc field filled in, or nothing when it cannot be described: an
// unknown header version, records on a header other than version 3, a header longer than
// 16 bits can say, or a total past 32 bits.
std::optional<std::vector<std::uint8_t>> make_subimage(const subimage_layout& layout);

// Recomputes the crc field of a whole sub-image after its bytes were changed; fewer than 4
// bytes are left alone.
void seal_subimage(std::span<std::uint8_t> subimage);

}  // namespace image
