#include "subimages.hpp"

#include "crypto/sha256.hpp"
#include "files.hpp"
#include "image/crc.hpp"

namespace imgtool {

std::optional<subimage_pass> pass_subimage(int fd, const image::subimage_ref& sub,
                                           const std::string& path, const payload_sink& sink) {
    subimage_pass pass;
    const auto& h = sub.header;
    pass.header.reserve(h.header_length);
    if (!read_chunks(fd, sub.offset, h.header_length, path, [&](auto chunk) {
            pass.header.insert(pass.header.end(), chunk.begin(), chunk.end());
            return true;
        })) {
        return std::nullopt;
    }
    std::uint32_t crc = image::image_crc(std::span(pass.header).subspan(4), image::crc_initial);
    SHA256_CTX sha{};
    SHA256_initDigest(&sha);
    if (!read_chunks(fd, sub.offset + h.header_length, h.payload_length, path, [&](auto chunk) {
            crc = image::image_crc(chunk, crc);
            SHA256_updateDigest(&sha, chunk.data(), static_cast<std::uint32_t>(chunk.size()));
            return !sink || sink(chunk);
        })) {
        return std::nullopt;
    }
    SHA256_finalDigest(&sha, pass.sha256.data());
    pass.crc_good = crc == h.crc;
    return pass;
}

std::string hex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const auto b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

}  // namespace imgtool
