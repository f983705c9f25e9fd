// A bundle read whole, one buffer per sub-image, for the commands that check or rewrite them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imgtool {

struct loaded_bundle {
    std::vector<std::vector<std::uint8_t>> subimages;
    std::vector<std::uint8_t> trailing;  // bytes after the last sub-image
};

// Nothing, with the reason on standard error, when the file cannot be read or a header's
// lengths are faulty.
std::optional<loaded_bundle> load_bundle(const std::string& path);

}  // namespace imgtool
