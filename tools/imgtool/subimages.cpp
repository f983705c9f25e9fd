#include "subimages.hpp"

#include "crypto/sha256.hpp"
#include "files.hpp"
#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/records.hpp"

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

header_signature find_signature(std::span<const std::uint8_t> header) {
    header_signature result;
    if (header.size() < image::v3_records_offset ||
        image::load_be32(header.data() + 16) != image::hdr3_magic) {
        return result;
    }
    image::record_walk walk(header);
    std::optional<std::span<const std::uint8_t>> body;
    while (const auto record = walk.next()) {
        if (record->type == image::record_signature) {
            body = record->body;
        }
    }
    if (walk.end() != image::record_end::complete) {
        result.what = header_signature::kind::malformed;
        return result;
    }
    if (!body) {
        return result;
    }
    const auto signature = image::signature_bytes(*body);
    if (!signature) {
        result.what = header_signature::kind::malformed;
        return result;
    }
    result.what = header_signature::kind::signed_image;
    result.signature = *signature;
    return result;
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
