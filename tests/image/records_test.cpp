#include "image/records.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "image/byte_order.hpp"

namespace image {
namespace {

// A version-3 header region: 24 fixed bytes, then raw record bytes as given.
struct header_bytes {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(24);

    header_bytes& record(std::uint16_t type, std::uint16_t length,
                         std::vector<std::uint8_t> body = {}) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 4);
        store_be16(&bytes[at], type);
        store_be16(&bytes[at + 2], length);
        bytes.insert(bytes.end(), body.begin(), body.end());
        return *this;
    }
    header_bytes& code(std::uint16_t type, std::uint32_t value) {
        std::vector<std::uint8_t> body(4);
        store_be32(body.data(), value);
        return record(type, 8, body);
    }
    header_bytes& raw(std::vector<std::uint8_t> b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
};

TEST(RecordWalk, VisitsRecordsInOrderAndSkipsByLength) {
    const auto h = header_bytes{}.record(1, 6, {0xAA, 0xBB}).code(6, 0x1234).record(9, 4);
    record_walk walk(h.bytes);
    std::vector<std::uint16_t> types;
    std::vector<std::size_t> sizes;
    while (const auto r = walk.next()) {
        types.push_back(r->type);
        sizes.push_back(r->body.size());
    }
    EXPECT_EQ(types, (std::vector<std::uint16_t>{1, 6, 9}));
    EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 4, 0}));
    EXPECT_EQ(walk.end(), record_end::complete);
    EXPECT_FALSE(walk.next());  // stays ended
}

struct alt_case {
    const char* name;
    header_bytes header;
    std::optional<std::uint32_t> type;
    record_end end;
};

void PrintTo(const alt_case& c, std::ostream* os) {
    *os << c.name;
}

class FindAlternativeType : public ::testing::TestWithParam<alt_case> {};

TEST_P(FindAlternativeType, TakesOnlyApplicationFamilyCodes) {
    const auto& c = GetParam();
    const alternative_type alt = find_alternative_type(c.header.bytes);
    EXPECT_EQ(alt.type, c.type);
    EXPECT_EQ(alt.end, c.end);
}

INSTANTIATE_TEST_SUITE_P(
    Records, FindAlternativeType,
    ::testing::Values(
        alt_case{"no_records", header_bytes{}, std::nullopt, record_end::complete},
        alt_case{"diagnostics", header_bytes{}.record(3, 6, {0, 0}).code(6, 0x06706774), 0x06706774,
                 record_end::complete},
        alt_case{"first_of_two_wins", header_bytes{}.code(6, 0x01706774).code(6, 0x06706774),
                 0x01706774, record_end::complete},
        alt_case{"other_family_skipped", header_bytes{}.code(6, 0x06123456).code(6, 0x08706774),
                 0x08706774, record_end::complete},
        alt_case{"other_record_type_ignored", header_bytes{}.code(7, 0x06706774), std::nullopt,
                 record_end::complete},
        alt_case{"body_too_short_skipped", header_bytes{}.record(6, 6, {0x06, 0x70}), std::nullopt,
                 record_end::complete},
        alt_case{"zero_length_stops", header_bytes{}.record(1, 0).code(6, 0x06706774), std::nullopt,
                 record_end::bad_length},
        alt_case{"length_below_4_stops", header_bytes{}.record(1, 2).code(6, 0x06706774),
                 std::nullopt, record_end::bad_length},
        alt_case{"record_leaves_header", header_bytes{}.record(6, 12, {0x06, 0x70, 0x67, 0x74}),
                 std::nullopt, record_end::overrun},
        alt_case{"two_bytes_left", header_bytes{}.raw({0, 6}), std::nullopt, record_end::overrun}),
    [](const auto& info) { return std::string(info.param.name); });

// A version-3 header's magic, then the records as given.
header_bytes v3(header_bytes h) {
    store_be32(&h.bytes[16], hdr3_magic);
    return h;
}

TEST(FindSignature, TheLastSignatureRecordCounts) {
    const auto h = v3(header_bytes{}
                          .record(3, 8, {0, 2, 0x11, 0x22})
                          .code(6, 0x06706774)
                          .record(3, 9, {0, 3, 0x33, 0x44, 0x55}));
    const header_signature found = find_signature(h.bytes);
    ASSERT_EQ(found.what, header_signature::kind::signed_image);
    EXPECT_EQ(std::vector<std::uint8_t>(found.signature.begin(), found.signature.end()),
              (std::vector<std::uint8_t>{0x33, 0x44, 0x55}));
}

TEST(FindSignature, UnsignedOrMalformed) {
    using kind = header_signature::kind;
    const auto signed_record = header_bytes{}.record(3, 6, {0, 0});
    EXPECT_EQ(find_signature(signed_record.bytes).what, kind::unsigned_image) << "no magic";
    const auto with_magic = v3(signed_record);
    EXPECT_EQ(find_signature(with_magic.bytes).what, kind::signed_image);
    EXPECT_EQ(find_signature(std::span(with_magic.bytes).first(20)).what, kind::unsigned_image);
    EXPECT_EQ(find_signature(v3(header_bytes{}.code(6, 0x06706774)).bytes).what,
              kind::unsigned_image);
    // A zero-length record ends the walk: it must not loop on the same offset.
    EXPECT_EQ(find_signature(v3(header_bytes{}.record(4, 0).record(3, 6, {0, 0})).bytes).what,
              kind::malformed);
    EXPECT_EQ(find_signature(v3(header_bytes{}.record(3, 8, {0x01, 0x00, 0xAA, 0xBB})).bytes).what,
              kind::malformed)
        << "signature length past the body";
    EXPECT_FALSE(signature_bytes(std::span<const std::uint8_t>(signed_record.bytes).first(1)));
}

}  // namespace
}  // namespace image
