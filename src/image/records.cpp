#include "image/records.hpp"

#include "image/byte_order.hpp"

namespace image {

std::optional<header_record> record_walk::next() {
    if (offset_ >= header_.size()) {
        return std::nullopt;
    }
    const std::size_t left = header_.size() - offset_;
    if (left < 4) {
        end_ = record_end::overrun;
        offset_ = static_cast<std::uint32_t>(header_.size());
        return std::nullopt;
    }
    const std::uint8_t* p = header_.data() + offset_;
    const std::uint16_t length = load_be16(p + 2);
    if (length < 4) {
        end_ = record_end::bad_length;
    } else if (length > left) {
        end_ = record_end::overrun;
    } else {
        offset_ += length;
        return header_record{load_be16(p), std::span(p + 4, length - 4U)};
    }
    offset_ = static_cast<std::uint32_t>(header_.size());
    return std::nullopt;
}

alternative_type find_alternative_type(std::span<const std::uint8_t> header) {
    record_walk walk(header);
    while (const auto record = walk.next()) {
        if (record->type != record_alternative_type || record->body.size() < 4) {
            continue;
        }
        const std::uint32_t code = load_be32(record->body.data());
        if (((code ^ TYPE_APPLICATION) & type_family_mask) == 0) {
            return {code, record_end::complete};
        }
    }
    return {std::nullopt, walk.end()};
}

header_signature find_signature(std::span<const std::uint8_t> header) {
    header_signature result;
    if (header.size() < v3_records_offset || load_be32(header.data() + 16) != hdr3_magic) {
        return result;
    }
    record_walk walk(header);
    std::optional<std::span<const std::uint8_t>> body;
    while (const auto record = walk.next()) {
        if (record->type == record_signature) {
            body = record->body;
        }
    }
    if (walk.end() != record_end::complete) {
        result.what = header_signature::kind::malformed;
        return result;
    }
    if (!body) {
        return result;
    }
    const auto signature = signature_bytes(*body);
    if (!signature) {
        result.what = header_signature::kind::malformed;
        return result;
    }
    result.what = header_signature::kind::signed_image;
    result.signature = *signature;
    return result;
}

std::optional<std::span<const std::uint8_t>> signature_bytes(std::span<const std::uint8_t> body) {
    if (body.size() < 2) {
        return std::nullopt;
    }
    const std::size_t length = load_be16(body.data());
    if (length > body.size() - 2) {
        return std::nullopt;
    }
    return body.subspan(2, length);
}

}  // namespace image
