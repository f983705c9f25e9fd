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

TEST(MakeSubimage, RefusesWhatTheHeaderCannotSay) {
    EXPECT_FALSE(make_subimage({TYPE_RFS, 0, 4, {}, data}));
    EXPECT_FALSE(make_subimage({TYPE_RFS, 0, 1, {alternative_type_record(TYPE_KXOS)}, data}));
    const std::vector<std::uint8_t> big(0x10000);
    EXPECT_FALSE(make_subimage({TYPE_RFS, 0, 3, {{9, big}}, data}));
}

}  // namespace
}  // namespace image
