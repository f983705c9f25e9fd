#include "security/signed_range.hpp"

#include "image/byte_order.hpp"
#include "image/header.hpp"
#include "image/records.hpp"

signed_range find_signed_range(std::span<const std::uint8_t> sub_image) {
    signed_range result;
    if (sub_image.size() < image::header_probe_size ||
        image::load_be32(sub_image.data() + 16) != image::hdr3_magic) {
        return result;
    }
    const std::uint64_t header_length = image::load_be16(sub_image.data() + 22);
    const std::uint64_t end = std::uint64_t{image::load_be32(sub_image.data() + 4)} + 16;
    if (header_length < image::v3_records_offset || header_length > end || end > sub_image.size()) {
        result.what = signed_range::kind::malformed;
        return result;
    }
    image::record_walk walk(sub_image.first(header_length));
    std::span<const std::uint8_t> body;
    bool found = false;
    while (const auto record = walk.next()) {
        if (record->type == image::record_signature) {
            body = record->body;
            found = true;
        }
    }
    if (walk.end() != image::record_end::complete) {
        result.what = signed_range::kind::malformed;
        return result;
    }
    if (!found) {
        return result;
    }
    const auto signature = image::signature_bytes(body);
    if (!signature) {
        result.what = signed_range::kind::malformed;
        return result;
    }
    result.what = signed_range::kind::signed_image;
    result.signature = *signature;
    result.hashed = sub_image.subspan(header_length, end - header_length);
    return result;
}
