// Where a version-3 sub-image keeps its signature and what the signature covers.
#pragma once

#include <cstdint>
#include <span>

struct signed_range {
    enum class kind {
        unsigned_image,  // no version-3 header, or no signature record
        signed_image,
        malformed,  // records or hashed range outside the sub-image
    };
    kind what = kind::unsigned_image;
    std::span<const std::uint8_t> signature;
    std::span<const std::uint8_t> hashed;
};

// Reads the sub-image's header: the last signature record and the bytes from the header length
// to the end of the sub-image.
signed_range find_signed_range(std::span<const std::uint8_t> sub_image);
