// A sealed sub-image for the image library's tests, which also run on the PowerPC build.
#pragma once

#include <cstdint>
#include <vector>

#include "image/writer.hpp"

namespace testsupport {

// `size` payload bytes of a pattern that starts at `seed`; no records.
inline std::vector<std::uint8_t> sealed_subimage(std::uint32_t type, std::size_t size,
                                                 std::uint8_t header_version = 3,
                                                 std::uint32_t version = 0x01000000,
                                                 std::uint8_t seed = 1) {
    std::vector<std::uint8_t> payload(size);
    for (std::size_t i = 0; i < size; ++i) {
        payload[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return *image::make_subimage({type, version, header_version, {}, payload});
}

}  // namespace testsupport
