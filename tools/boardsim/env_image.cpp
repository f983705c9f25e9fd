#include "env_image.hpp"

#include <array>

namespace boardsim {
namespace {

constexpr std::size_t crc_size = 4;

constexpr std::array<std::uint32_t, 256> crc_table = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}();

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t c = 0xFFFFFFFFU;
    for (std::size_t i = 0; i < size; ++i) {
        c = crc_table[(c ^ data[i]) & 0xFFU] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFU;
}

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

}  // namespace boardsim
