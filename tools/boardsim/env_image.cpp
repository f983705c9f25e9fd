#include "env_image.hpp"

#include <algorithm>

#include "image/crc.hpp"

namespace boardsim {
namespace {

constexpr std::size_t crc_size = 4;

// The boot loader's CRC-32 (zlib's); the image CRC is the same without the final inversion.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    return ~image::image_crc({data, size}, image::crc_initial);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> make_env_image(const std::vector<std::string>& settings,
                                                        std::size_t size) {
    std::vector<std::uint8_t> data;
    for (const std::string& setting : settings) {
        data.insert(data.end(), setting.begin(), setting.end());
        data.push_back(0);
    }
    data.push_back(0);
    if (size < crc_size || data.size() > size - crc_size) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> image(size, 0xFF);
    std::copy(data.begin(), data.end(), image.begin() + crc_size);
    const std::uint32_t crc = crc32(image.data() + crc_size, size - crc_size);
    for (std::size_t i = 0; i < crc_size; ++i) {
        image[i] = static_cast<std::uint8_t>(crc >> (8 * (crc_size - 1 - i)));
    }
    return image;
}

std::optional<std::vector<std::string>> read_env_image(const std::vector<std::uint8_t>& image) {
    if (image.size() <= crc_size) {
        return std::nullopt;
    }
    std::uint32_t stored = 0;
    for (std::size_t i = 0; i < crc_size; ++i) {
        stored = stored << 8 | image[i];
    }
    if (stored != crc32(image.data() + crc_size, image.size() - crc_size)) {
        return std::nullopt;
    }
    std::vector<std::string> settings;
    for (auto at = image.begin() + crc_size; at != image.end() && *at != 0;) {
        const auto end = std::find(at, image.end(), std::uint8_t{0});
        settings.emplace_back(at, end);
        at = end == image.end() ? end : end + 1;
    }
    return settings;
}

}  // namespace boardsim
