#include "image/writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"
#include "image/records.hpp"

namespace image {
namespace {

const std::vector<std::uint8_t> data = {'m', 'p', '.', 'e', 'l', 'f'};

TEST(MakeSubimage, MatchesAHandBuiltVersion3Header) {
    const auto made = make_subimage(
        {TYPE_KXOS, 0x01020304, 3, {alternative_type_record(TYPE_DIAGNOSTICS)}, data});
    ASSERT_TRUE(made);
    std::vector<std::uint8_t> expected = {
        0,    0,    0,    0,                             // crc, filled below
        0x00, 0x00, 0x00, 0x16,                          // 32 + 6 - 16
        0x08, 0x70, 0x67, 0x74, 0x01, 0x02, 0x03, 0x04,  // type, version
        'H',  'D',  'R',  '3',  0x00, 0x00, 0x00, 0x20,  // magic, header length 32
        0x00, 0x06, 0x00, 0x08, 0x06, 0x70, 0x67, 0x74,  // alternative type record
        'm',  'p',  '.',  'e',  'l',  'f'};
    store_be32(expected.data(), image_crc(std::span(expected).subspan(4), 0xFFFFFFFF));
    EXPECT_EQ(*made, expected);
}

TEST(MakeSubimage, EveryHeaderVersionParsesBackIntact) {
    for (std::uint8_t hv : {1, 2, 3}) {
        const auto made = make_subimage({TYPE_RFS, 0xFFFFFFFF, hv, {}, data});
        ASSERT_TRUE(made) << int{hv};
        const auto& bytes = *made;
        const image_header h = parse_image_header(std::span(bytes).first<header_probe_size>());
        EXPECT_EQ(h.header_version, hv);
        EXPECT_EQ(h.type(), TYPE_RFS);
        EXPECT_EQ(h.version, 0xFFFFFFFFU);
        EXPECT_EQ(h.payload_length, data.size());
        EXPECT_EQ(h.total(), bytes.size());
        EXPECT_EQ(check_image_lengths(h, bytes.size()), header_fault::none);
        EXPECT_EQ(image_crc_mismatch(std::span(bytes).subspan(4), h.crc), 0);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + h.header_length, bytes.end()), data);
    }
}

TEST(MakeSubimage, RefusesWhatTheHeaderCannotSay) {
    EXPECT_FALSE(make_subimage({TYPE_RFS, 0, 4, {}, data}));
    EXPECT_FALSE(make_subimage({TYPE_RFS, 0, 1, {alternative_type_record(TYPE_KXOS)}, data}));
    const std::vector<std::uint8_t> big(0x10000);
    EXPECT_FALSE(make_subimage({TYPE_RFS, 0, 3, {{9, big}}, data}));
}

TEST(SealSubimage, ChangedBytesGetANewCrc) {
    auto bytes = *make_subimage({TYPE_APPLICATION, 0, 3, {}, data});
    bytes[8] |= 0x80;  // the flagged type word with the magic is still version 3
    const image_header stale = parse_image_header(std::span(bytes).first<header_probe_size>());
    EXPECT_EQ(image_crc_mismatch(std::span(bytes).subspan(4), stale.crc), 1);
    seal_subimage(bytes);
    const image_header h = parse_image_header(std::span(bytes).first<header_probe_size>());
    EXPECT_EQ(h.header_version, 3);
    EXPECT_EQ(h.type(), TYPE_APPLICATION);
    EXPECT_EQ(image_crc_mismatch(std::span(bytes).subspan(4), h.crc), 0);
}

}  // namespace
}  // namespace image
