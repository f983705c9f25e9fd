// The records of a version-3 header: type, length (counting its own four bytes), body.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "image/header.hpp"

namespace image {

inline constexpr std::uint16_t record_signature = 3;
inline constexpr std::uint16_t record_alternative_type = 6;

struct header_record {
    std::uint16_t type;
    std::span<const std::uint8_t> body;
};

enum class record_end {
    complete,    // the walk reached the header length
    bad_length,  // a record length below 4 cannot even hold the record's own fields
    overrun,     // a record would leave the header
};

// Walks the records of a version-3 header. `header` is the sub-image's first header-length
// bytes; the walk never looks outside them and always moves forward.
class record_walk {
public:
    explicit record_walk(std::span<const std::uint8_t> header) : header_(header) {}

    // The next record, or nothing once the walk has ended (see end()).
    std::optional<header_record> next();
    record_end end() const { return end_; }

private:
    std::span<const std::uint8_t> header_;
    std::uint32_t offset_ = v3_records_offset;
    record_end end_ = record_end::complete;
};

struct alternative_type {
    std::optional<std::uint32_t> type;  // the first code of the application family
    record_end end;                     // how the walk ended when no code was taken
};

// The type the boot scan takes instead of the header's: the code of the first alternative
// type record whose low 24 bits are those of the application type.
alternative_type find_alternative_type(std::span<const std::uint8_t> header);

struct header_signature {
    enum class kind {
        unsigned_image,  // no version-3 header, or no signature record
        signed_image,
        malformed,  // the walk did not reach the header length, or the last signature record's
                    // declared length runs past its body
    };
    kind what = kind::unsigned_image;
    std::span<const std::uint8_t> signature;  // signed_image only; within `header`
};

// The signature the boot manager checks: the bytes of the last signature record of a version-3
// header ("HDR3" at bytes 16-19). `header` is the sub-image's first header-length bytes; a
// region shorter than 24 bytes or without the magic is unsigned.
header_signature find_signature(std::span<const std::uint8_t> header);

// The signature bytes of a signature record's body (16-bit length, then the bytes), or
// nothing when the declared length runs past the body.
std::optional<std::span<const std::uint8_t>> signature_bytes(std::span<const std::uint8_t> body);

}  // namespace image
