// One pass over a sub-image: its header kept, its payload streamed through the CRC and SHA-256
// (and, if asked, to a sink) a chunk at a time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/bundle.hpp"

namespace imgtool {

using payload_sink = std::function<bool(std::span<const std::uint8_t>)>;

struct subimage_pass {
    std::vector<std::uint8_t> header;  // the header-length bytes, records included
    bool crc_good = false;
    std::array<std::uint8_t, 32> sha256{};  // of the payload: what a signature covers
};

// Only for a sub-image without fault. Nothing when the file cannot be read (said on standard
// error) or the sink fails.
std::optional<subimage_pass> pass_subimage(int fd, const image::subimage_ref& sub,
                                           const std::string& path, const payload_sink& sink = {});

std::string hex(std::span<const std::uint8_t> bytes);

}  // namespace imgtool
