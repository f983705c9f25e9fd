#include "image/header.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "image/byte_order.hpp"

namespace image {
namespace {

using probe = std::array<std::uint8_t, header_probe_size>;

probe make_probe(std::uint32_t length, std::uint32_t type, bool hdr3, std::uint16_t at18,
                 std::uint16_t at22) {
    probe p{};
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
    return p;
}

struct parse_case {
    const char* name;
    probe bytes;
    std::uint8_t header_version;
    std::uint32_t type;
    std::uint32_t header_length;
    std::uint32_t payload_length;
    std::uint32_t total;
};

void PrintTo(const parse_case& c, std::ostream* os) {
    *os << c.name;
}

class ParseImageHeader : public ::testing::TestWithParam<parse_case> {};

TEST_P(ParseImageHeader, DerivesLengthsFromTheHeaderVersion) {
    const auto& c = GetParam();
    const image_header h = parse_image_header(c.bytes);
    EXPECT_EQ(h.header_version, c.header_version);
    EXPECT_EQ(h.type(), c.type);
    EXPECT_EQ(h.header_length, c.header_length);
    EXPECT_EQ(h.payload_length, c.payload_length);
    EXPECT_EQ(h.total(), c.total);
    EXPECT_EQ(h.crc, 0xC0FFEE01U);
    EXPECT_EQ(h.version, 0x0102030AU);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ParseImageHeader,
    ::testing::Values(parse_case{"v3", make_probe(0x200, TYPE_APPLICATION, true, 0, 0x130), 3,
                                 TYPE_APPLICATION, 0x130, 0xE0, 0x210},
                      parse_case{"v2", make_probe(0x100, 0x81706774, false, 0x20, 0x9999), 2,
                                 TYPE_APPLICATION, 0x20, 0x100, 0x120},
                      parse_case{"v1", make_probe(0x100, TYPE_KERNEL, false, 0x20, 0x9999), 1,
                                 TYPE_KERNEL, 16, 0x100, 0x110},
                      parse_case{"magic_before_flag",
                                 make_probe(0x40, 0x81706774, true, 0x77, 0x30), 3,
                                 TYPE_APPLICATION, 0x30, 0x20, 0x50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseImageHeader, KeepsBit31InTheRawType) {
    EXPECT_EQ(parse_image_header(make_probe(0, 0x81706774, false, 20, 0)).raw_type, 0x81706774U);
}

struct length_case {
    const char* name;
    probe bytes;
    std::uint64_t available;
    header_fault fault;
};

void PrintTo(const length_case& c, std::ostream* os) {
    *os << c.name;
}

class CheckImageLengths : public ::testing::TestWithParam<length_case> {};

TEST_P(CheckImageLengths, RefusesHeadersThatDescribeNoSubImage) {
    const auto& c = GetParam();
    EXPECT_EQ(check_image_lengths(parse_image_header(c.bytes), c.available), c.fault);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CheckImageLengths,
    ::testing::Values(
        length_case{"v1_exact_fit", make_probe(0x100, TYPE_KERNEL, false, 0, 0), 0x110,
                    header_fault::none},
        length_case{"v1_one_byte_short", make_probe(0x100, TYPE_KERNEL, false, 0, 0), 0x10F,
                    header_fault::past_end},
        // 0xFFFFFFF0 + 16 is 0 in 32 bits: the sub-image that would make a scan stand still.
        length_case{"v1_total_wraps_to_zero", make_probe(0xFFFFFFF0, TYPE_KERNEL, false, 0, 0),
                    UINT32_MAX, header_fault::wraps},
        length_case{"v1_total_near_4g", make_probe(0xFFFFFFE0, TYPE_KERNEL, false, 0, 0), 4096,
                    header_fault::past_end},
        length_case{"v2_total_zero", make_probe(0, 0x81706774, false, 0, 0), 4096,
                    header_fault::total_too_small},
        length_case{"v2_total_three", make_probe(3, 0x81706774, false, 0, 0), 4096,
                    header_fault::total_too_small},
        length_case{"v2_total_four", make_probe(4, 0x81706774, false, 0, 0), 4096,
                    header_fault::none},
        length_case{"v2_sum_wraps", make_probe(0xFFFFFFFF, 0x81706774, false, 0xFFFF, 0),
                    UINT64_MAX, header_fault::wraps},
        length_case{"v3_header_below_24", make_probe(0x100, TYPE_RFS, true, 0, 23), 4096,
                    header_fault::short_v3_header},
        length_case{"v3_header_only", make_probe(8, TYPE_RFS, true, 0, 24), 24, header_fault::none},
        length_case{"v3_header_beyond_total", make_probe(0x200, TYPE_RFS, true, 0, 0x300), 4096,
                    header_fault::header_beyond_total},
        length_case{"v3_length_wraps", make_probe(0xFFFFFFF0, TYPE_RFS, true, 0, 24), UINT64_MAX,
                    header_fault::wraps}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionText, PrintsEachByteUnsigned) {
    EXPECT_STREQ(version_text(0x0102030A).data(), "1.2.3.10");
    EXPECT_STREQ(version_text(0xFFFFFFFF).data(), "255.255.255.255");
    EXPECT_STREQ(version_text(0).data(), "0.0.0.0");
}

}  // namespace
}  // namespace image
