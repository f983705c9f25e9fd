// What is installed for each image type: the first 16 header bytes kept at the start of a
// partition or slot file (the boot loader keeps its copy at offset 0xF0 of its own image).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "image/header.hpp"

namespace image {

using installed_header = std::array<std::uint8_t, header_common_size>;

// Fills `destination` (first set to zeros) with the installed header of `type`; `slot` picks
// the image slot file for TYPE_APPLICATION. 1 after a read, even a failed flash read, which
// leaves the zeros; 0 when `destination` is null, the slot file cannot be opened, or the type
// has no installed copy ("Unknown image type 0x%x \n" on standard output).
int read_installed_header(std::uint32_t type, installed_header* destination, std::uint32_t slot);

// 1 when what is installed for the header's type has the same header: length, type and version
// for the boot loader (whose crc word is part of its program image), all 16 bytes otherwise.
// Where the partition or slot file holds the whole sub-image, that copy must also be intact
// (lengths fit, CRC holds): a header written just before a power cut is not an installed image.
// The raw type word is used for the look-up, so a flagged (version-2) header never matches.
int same_version_installed(std::span<const std::uint8_t, header_common_size> header,
                           std::uint32_t slot);

}  // namespace image
