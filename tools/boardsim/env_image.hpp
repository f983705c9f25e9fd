// The boot loader's environment as it stores it in flash.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// A CRC-32 word (big-endian, as on the target) over the rest of the image, then each setting
// NUL-terminated, one more NUL, and 0xFF up to size. nullopt when the settings do not fit.
std::optional<std::vector<std::uint8_t>> make_env_image(const std::vector<std::string>& settings,
                                                        std::size_t size);

// The settings of such an image, nullopt when its CRC does not match (erased or damaged).
std::optional<std::vector<std::string>> read_env_image(const std::vector<std::uint8_t>& image);

}  // namespace boardsim
