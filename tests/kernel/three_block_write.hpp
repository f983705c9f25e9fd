// The multi-block write whose console transcript must be the same on the simulated board and
// against the kernel's MTD driver.
#pragma once

#include <cstdint>
#include <string_view>

namespace kvm {

inline constexpr std::uint32_t three_block_offset = 10;
inline constexpr std::uint32_t three_block_length = 2 * 0x10000 + 100;
inline constexpr std::string_view three_block_transcript =
    "     \b\b\b\b000%\b\b\b\b033%\b\b\b\b066%\b\b\b\b100%\n";

}  // namespace kvm
