#include "image/records.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "image/byte_order.hpp"

namespace image {
namespace {

using bytes = std::vector<std::uint8_t>;

// A version-3 header region: 24 fixed bytes with the magic, then raw record bytes as given.
struct header_bytes {
    bytes data = [] {
        bytes b(24);
        store_be32(&b[16], hdr3_magic);
        return b;
    }();

    header_bytes& record(std::uint16_t type, std::uint16_t length, bytes body = {}) {
        const std::size_t at = data.size();
        data.resize(at + 4);
        store_be16(&data[at], type);
        store_be16(&data[at + 2], length);
        data.insert(data.end(), body.begin(), body.end());
        return *this;
    }
    header_bytes& code(std::uint16_t type, std::uint32_t value) {
        bytes body(4);
        store_be32(body.data(), value);
        return record(type, 8, body);
    }
};

TEST(RecordWalk, VisitsRecordsInOrderAndSkipsByLength) {
    const auto h = header_bytes{}.record(1, 6, {0xAA, 0xBB}).code(6, 0x1234).record(9, 4);
    record_walk walk(h.data);
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

// The alternative type takes only application-family codes; the signature is the last signature
// record's; a walk that does not reach the header length makes the signature malformed.
TEST(HeaderRecords, AlternativeTypeAndSignature) {
    using enum record_end;
    using kind = header_signature::kind;
    struct row {
        const char* name;
        header_bytes header;
        std::optional<std::uint32_t> alt;
        record_end end;
        kind signature;
        bytes signature_bytes = {};
    };
    const row rows[] = {
        {"no records", {}, std::nullopt, complete, kind::unsigned_image},
        {"diagnostics", header_bytes{}.record(3, 6, {0, 0}).code(6, 0x06706774), 0x06706774,
         complete, kind::signed_image},
        {"first of two wins", header_bytes{}.code(6, 0x01706774).code(6, 0x06706774), 0x01706774,
         complete, kind::unsigned_image},
        {"other family skipped", header_bytes{}.code(6, 0x06123456).code(6, 0x08706774), 0x08706774,
         complete, kind::unsigned_image},
        {"other record type", header_bytes{}.code(7, 0x06706774), std::nullopt, complete,
         kind::unsigned_image},
        {"body too short", header_bytes{}.record(6, 6, {0x06, 0x70}), std::nullopt, complete,
         kind::unsigned_image},
        // A zero-length record must not make the walk loop on the same offset.
        {"zero length stops", header_bytes{}.record(1, 0).code(6, 0x06706774).record(3, 6, {0, 0}),
         std::nullopt, bad_length, kind::malformed},
        {"length below 4 stops", header_bytes{}.record(1, 2).code(6, 0x06706774), std::nullopt,
         bad_length, kind::malformed},
        {"record leaves header", header_bytes{}.record(6, 12, {0x06, 0x70, 0x67, 0x74}),
         std::nullopt, overrun, kind::malformed},
        {"two bytes left", header_bytes{}.record(9, 4, {0, 6}), std::nullopt, overrun,
         kind::malformed},
        {"last signature counts",
         header_bytes{}
             .record(3, 8, {0, 2, 0x11, 0x22})
             .code(6, 0x06706774)
             .record(3, 9, {0, 3, 0x33, 0x44, 0x55}),
         0x06706774,
         complete,
         kind::signed_image,
         {0x33, 0x44, 0x55}},
        {"signature length past its body", header_bytes{}.record(3, 8, {0x01, 0x00, 0xAA, 0xBB}),
         std::nullopt, complete, kind::malformed},
        {"signature body of one byte", header_bytes{}.record(3, 5, {0}), std::nullopt, complete,
         kind::malformed},
    };
    for (const auto& r : rows) {
        const alternative_type alt = find_alternative_type(r.header.data);
        EXPECT_EQ(alt.type, r.alt) << r.name;
        EXPECT_EQ(alt.end, r.end) << r.name;
        const header_signature found = find_signature(r.header.data);
        EXPECT_EQ(found.what, r.signature) << r.name;
        EXPECT_EQ(bytes(found.signature.begin(), found.signature.end()), r.signature_bytes)
            << r.name;
    }
    // Without the magic, or shorter than a version-3 header, nothing is signed.
    auto no_magic = header_bytes{}.record(3, 6, {0, 0});
    EXPECT_EQ(find_signature(std::span(no_magic.data).first(20)).what, kind::unsigned_image);
    no_magic.data[16] = 0;
    EXPECT_EQ(find_signature(no_magic.data).what, kind::unsigned_image);
}

}  // namespace
}  // namespace image
