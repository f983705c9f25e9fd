#include "image/header.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "image/byte_order.hpp"

namespace image {
namespace {

constexpr std::uint32_t app = TYPE_APPLICATION;
constexpr std::uint32_t flagged_app = app | 0x80000000;

// The probe bytes of a header; only the fields that decide the layout vary.
struct probe {
    std::uint32_t length;
    std::uint32_t type;
    bool hdr3;
    std::uint16_t at18;  // a version-2 header length
    std::uint16_t at22;  // a version-3 header length

    image_header parse() const {
        std::array<std::uint8_t, header_probe_size> p{};
        store_be32(p.data(), 0xC0FFEE01);
        store_be32(p.data() + 4, length);
        store_be32(p.data() + 8, type);
        store_be32(p.data() + 12, 0x0102030A);
        if (hdr3) {
            store_be32(p.data() + 16, hdr3_magic);
        } else {
            store_be16(p.data() + 16, 0xBEEF);  // never interpreted
            store_be16(p.data() + 18, at18);
        }
        store_be16(p.data() + 20, 0xFACE);  // never interpreted
        store_be16(p.data() + 22, at22);
        return parse_image_header(p);
    }
};

TEST(ParseImageHeader, DerivesLengthsFromTheHeaderVersion) {
    struct row {
        const char* name;
        probe bytes;
        std::uint8_t header_version;
        std::uint32_t type;
        std::uint32_t header_length;
        std::uint32_t payload_length;
        std::uint32_t total;
    };
    const row rows[] = {
        {"v3", {0x200, app, true, 0, 0x130}, 3, app, 0x130, 0xE0, 0x210},
        {"v2", {0x100, flagged_app, false, 0x20, 0x9999}, 2, app, 0x20, 0x100, 0x120},
        {"v1", {0x100, TYPE_KERNEL, false, 0x20, 0x9999}, 1, TYPE_KERNEL, 16, 0x100, 0x110},
        {"v3 flagged", {0x40, flagged_app, true, 0x77, 0x30}, 3, app, 0x30, 0x20, 0x50},
    };
    for (const auto& r : rows) {
        const image_header h = r.bytes.parse();
        EXPECT_EQ(h.header_version, r.header_version) << r.name;
        EXPECT_EQ(h.raw_type, r.bytes.type) << r.name;
        EXPECT_EQ(h.type(), r.type) << r.name;
        EXPECT_EQ(h.header_length, r.header_length) << r.name;
        EXPECT_EQ(h.payload_length, r.payload_length) << r.name;
        EXPECT_EQ(h.total(), r.total) << r.name;
        EXPECT_EQ(h.crc, 0xC0FFEE01U) << r.name;
        EXPECT_EQ(h.version, 0x0102030AU) << r.name;
    }
}

TEST(CheckImageLengths, RefusesHeadersThatDescribeNoSubImage) {
    struct row {
        const char* name;
        probe bytes;
        std::uint64_t available;
        header_fault fault;
    };
    using enum header_fault;
    const row rows[] = {
        {"v1 exact fit", {0x100, TYPE_KERNEL, false, 0, 0}, 0x110, none},
        {"v1 one byte short", {0x100, TYPE_KERNEL, false, 0, 0}, 0x10F, past_end},
        // 0xFFFFFFF0 + 16 is 0 in 32 bits: the sub-image that would make a scan stand still.
        {"v1 total wraps", {0xFFFFFFF0, TYPE_KERNEL, false, 0, 0}, UINT32_MAX, wraps},
        {"v2 total 3", {3, flagged_app, false, 0, 0}, 4096, total_too_small},
        {"v2 total 4", {4, flagged_app, false, 0, 0}, 4096, none},
        {"v2 sum wraps", {0xFFFFFFFF, flagged_app, false, 0xFFFF, 0}, UINT64_MAX, wraps},
        {"v3 header below 24", {0x100, TYPE_RFS, true, 0, 23}, 4096, short_v3_header},
        {"v3 header only", {8, TYPE_RFS, true, 0, 24}, 24, none},
        {"v3 header beyond total", {0x200, TYPE_RFS, true, 0, 0x300}, 4096, header_beyond_total},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(check_image_lengths(r.bytes.parse(), r.available), r.fault) << r.name;
    }
}

}  // namespace
}  // namespace image
