// The flash image types: where each goes, how big it may be, whether it must be signed, and
// what the console says about it.
#pragma once

#include <cstdint>

#include "hw/mtd.hpp"
#include "image/header.hpp"

namespace image {

struct flash_kind {
    std::uint32_t type;
    int partition;
    std::uint32_t limit;
    bool limit_on_payload;  // the limit counts the payload only, not header and payload
    bool payload_only;      // the partition receives the payload without the header
    bool signed_type;
    const char* announcement;
    const char* crc_failure;   // takes the computed CRC
    const char* size_failure;  // takes the measured size and the limit
    const char* write_failure;
};

inline constexpr flash_kind flash_kinds[] = {
    {TYPE_BOOTLOADER, MTD_UBOOT, 0x80000, true, true, false,
     "Installing Boot Loader: ", "Bad crc for UBOOT: 0x%08x, voiding download\n",
     "UBOOT image is too big for flash (%d > %d)\n", "Uboot image update failed"},
    {TYPE_KERNEL, MTD_KERNEL, 0x300000, false, false, true,
     "Installing Kernel: ", "Bad crc for KERNEL: 0x%08x, voiding download\n",
     "KERNEL image is too big for flash (%d > %d)\n", "kernel image update failed"},
    {TYPE_RFS, MTD_RFS, 0xF00000, false, false, true,
     "Installing Root Filesystem: ", "Bad crc for RFS: 0x%08x, voiding download\n",
     "RFS image is too big for flash (%d > %d)\n", "RFS image update failed"},
    {TYPE_DEVICETREE, MTD_DEVICETREE, 0x40000, false, false, true,
     "Installing Device Tree: ", "Bad crc for DFT: 0x%08x, voiding download\n",
     "DFT image is too big for flash (%d > %d)\n", "DFT image update failed"},
    {TYPE_DIAGNOSTICS, MTD_RESCUE, 0xA00000, false, false, false,
     "Installing Diagnostics: ", "Bad crc for DIAGNOSTICS IMAGE: 0x%08x, voiding download\n",
     "DIAGS image is too big for flash (%d > %d)\n", "DIAGS image update failed"},
};

inline const flash_kind* find_flash_kind(std::uint32_t type) {
    for (const flash_kind& kind : flash_kinds) {
        if (kind.type == type) {
            return &kind;
        }
    }
    return nullptr;
}

}  // namespace image
