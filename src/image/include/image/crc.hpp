// The sub-image checksum: reflected CRC-32 (polynomial 0xEDB88320), register preset by the
// caller and never inverted at the end, so an intact image stores the complement of the
// common CRC-32 of its bytes from offset 4.
#pragma once

#include <cstdint>
#include <span>

namespace image {

inline constexpr std::uint32_t crc_initial = 0xFFFFFFFF;

// The register after feeding `data` into a register holding `initial`. Feeding a buffer in
// pieces, each piece starting from the previous result, gives the same value as one call.
std::uint32_t image_crc(std::span<const std::uint8_t> data, std::uint32_t initial);

// 1 when the CRC of `data` (the sub-image from offset 4) is not `expected` (its crc field).
int image_crc_mismatch(std::span<const std::uint8_t> data, std::uint32_t expected);

}  // namespace image
