// Booting the application from an image slot, with the fallbacks of a missing or damaged slot.
#pragma once

#include <array>
#include <cstdint>

#include "image/header.hpp"

// What the scan of a slot file found.
struct bootable_image {
    // Bit 31 cleared, possibly taken from an alternative type record. When nothing bootable was
    // found: the type of the last sub-image examined (0 when there was none).
    std::uint32_t type = 0;
    std::uint8_t header_version = 0;
    std::uint32_t header_length = 0;
    std::uint32_t payload_length = 0;
    // crc, length, type, version as stored.
    std::array<std::uint8_t, image::header_common_size> header_copy{};
    // The sub-image's first byte in the source file.
    std::uint64_t offset = 0;
};

// Scans the sub-images of an open file for the first application or diagnostics sub-image.
// A header whose lengths describe no valid sub-image ends the scan: nothing behind it can be
// located. 1 found, 0 not found (also when the file cannot be read).
int find_bootable_image(int source, bootable_image& found);

// Boots slot 1 or 2 (a missing slot file is replaced by the other slot), or 3, the USB drive's
// image. Returns 0 when the image is damaged or holds nothing bootable on a first attempt or
// from USB, or at once for any other choice; otherwise it starts the application or ends in a
// reboot.
int boot_image_slot(int choice);
