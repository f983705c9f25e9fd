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
    const image::header_signature found = image::find_signature(sub_image.first(header_length));
    if (found.what == image::header_signature::kind::malformed) {
        result.what = signed_range::kind::malformed;
        return result;
    }
    if (found.what == image::header_signature::kind::unsigned_image) {
        return result;
    }
    result.what = signed_range::kind::signed_image;
    result.signature = found.signature;
    result.hashed = sub_image.subspan(header_length, end - header_length);
    return result;
}
