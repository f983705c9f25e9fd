#include "image/writer.hpp"

#include <algorithm>

#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"
#include "image/records.hpp"

namespace image {
namespace {

// Bytes 16-19 of a version-2 header carry its header length, so it is at least this long.
constexpr std::uint32_t v2_header_length = 20;

}  // namespace

record_spec alternative_type_record(std::uint32_t type) {
    record_spec record{record_alternative_type, std::vector<std::uint8_t>(4)};
    store_be32(record.body.data(), type);
    return record;
}

std::optional<std::vector<std::uint8_t>> make_subimage(const subimage_layout& layout) {
    std::uint64_t header_length = 0;
    switch (layout.header_version) {
        case 1:
            header_length = header_common_size;
            break;
        case 2:
            header_length = v2_header_length;
            break;
        case 3:
            header_length = v3_records_offset;
            for (const auto& r : layout.records) {
                header_length += 4 + r.body.size();
                if (4 + r.body.size() > UINT16_MAX) {
                    return std::nullopt;
                }
            }
            break;
        default:
            return std::nullopt;
    }
    if ((layout.header_version != 3 && !layout.records.empty()) || header_length > UINT16_MAX) {
        return std::nullopt;
    }
    const std::uint64_t total = header_length + layout.payload.size();
    if (total > UINT32_MAX) {
        return std::nullopt;
    }

    std::vector<std::uint8_t> out(static_cast<std::size_t>(total));
    std::uint8_t* p = out.data();
    const auto hl = static_cast<std::uint32_t>(header_length);
    const auto payload_length = static_cast<std::uint32_t>(layout.payload.size());
    const std::uint32_t type =
        layout.header_version == 2 ? layout.type | type_v2_flag : layout.type;
    store_be32(p + 8, type);
    store_be32(p + 12, layout.version);
    if (layout.header_version == 3) {
        store_be32(p + 4, static_cast<std::uint32_t>(total) - header_common_size);
        store_be32(p + 16, hdr3_magic);
        store_be16(p + 22, static_cast<std::uint16_t>(hl));
        std::size_t at = v3_records_offset;
        for (const auto& r : layout.records) {
            store_be16(p + at, r.type);
            store_be16(p + at + 2, static_cast<std::uint16_t>(4 + r.body.size()));
            std::copy(r.body.begin(), r.body.end(), p + at + 4);
            at += 4 + r.body.size();
        }
    } else {
        store_be32(p + 4, payload_length);
        if (layout.header_version == 2) {
            store_be16(p + 18, static_cast<std::uint16_t>(hl));
        }
    }
    std::copy(layout.payload.begin(), layout.payload.end(), p + hl);
    seal_subimage(out);
    return out;
}

void seal_subimage(std::span<std::uint8_t> subimage) {
    if (subimage.size() >= 4) {
        store_be32(subimage.data(), image_crc(subimage.subspan(4), crc_initial));
    }
}

}  // namespace image
