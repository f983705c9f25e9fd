#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/asn1.hpp"
#include "hex.hpp"

namespace {

// Parses and keeps the tree and its input alive for the test.
struct Parsed {
    std::vector<std::uint8_t> der;
    MemStream stream{};
    ASN1_ITEM* root = nullptr;
    CryptoStatus status;

    explicit Parsed(std::vector<std::uint8_t> bytes) : der(std::move(bytes)) {
        MEMSTREAM_init(&stream, der.empty() ? nullptr : der.data(),
                       static_cast<std::uint32_t>(der.size()));
        status = ASN1_parse(&stream, &root);
    }
    ~Parsed() {
        if (root != nullptr) {
            ASN1_releaseItem(&root);
        }
    }
    ASN1_ITEM* top() const { return root->firstChild; }
};

// `depth` SEQUENCEs around `inner`, of one-octet or indefinite lengths.
std::vector<std::uint8_t> nested(int depth, const char* inner, bool indefinite = false) {
    std::vector<std::uint8_t> der = fromHex(inner);
    for (int i = 0; i < depth; ++i) {
        der.insert(der.begin(), {0x30, static_cast<std::uint8_t>(indefinite ? 0x80 : der.size())});
        if (indefinite) {
            der.insert(der.end(), {0x00, 0x00});
        }
    }
    return der;
}

}  // namespace

TEST(Asn1Parse, StatusByInput) {
    struct Case {
        const char* der;
        CryptoStatus status;
        const char* why;
    };
    const Case cases[] = {
        {"3003020105ff", OK, "bytes after the first item are not parsed"},
        {"3005020105", ERR_DER_BAD_LENGTH, "sequence claims two octets the input lacks"},
        {"3004020105", ERR_EOF, "one octet missing"},
        {"", ERR_DER_INVALID_CONTENT, "empty input"},
        {"0200", ERR_DER_INVALID_CONTENT, "empty INTEGER"},
        {"0500", OK, "NULL"},
        {"0400", OK, "empty OCTET STRING"},
        {"0700", OK, "empty ObjectDescriptor"},
        {"a000", OK, "empty context-specific item"},
        {"4000", ERR_DER_INVALID_CONTENT, "empty application item"},
        {"0300", ERR_DER_INVALID_CONTENT, "BIT STRING without its unused-bits octet"},
        {"030107", ERR_DER_INVALID_CONTENT, "no bits but seven unused"},
        {"030100", OK, "no bits, none unused"},
        {"02850000000001", ERR_DER_LENGTH_TOO_LONG, "five length octets"},
        {"0284000000010a", OK, "four length octets"},
        {"0282", ERR_EOF, "length octets cut short"},
        {"02", ERR_DER_TAG_TOO_LONG, "no length octet"},
        {"1f", ERR_EOF, "long tag number cut right after the first octet"},
        {"1f81", ERR_DER_TAG_TOO_LONG, "long tag number cut short"},
        {"1f818181", ERR_DER_TAG_TOO_LONG, "four tag-number octets"},
        {"5f81817f00", ERR_DER_INVALID_CONTENT, "three tag-number octets parse; empty application"},
        {"0801ff", ERR_DER_UNSUPPORTED_TAG, "EXTERNAL"},
        {"1101ff", ERR_DER_UNSUPPORTED_TAG, "primitive SET"},
        {"0d01ff", ERR_DER_UNSUPPORTED_TAG, "relative OID"},
        {"1f1f01ff", ERR_DER_UNSUPPORTED_TAG, "universal tag 31"},
        {"0c026869", OK, "UTF8String"},
        {"1e020041", OK, "BMPString"},
        {"300402010501", ERR_DER_TAG_TOO_LONG,
         "one octet left starts an item with no length octet"},
        {"30040201050105", ERR_DER_BAD_LENGTH, "one octet left starts an item that overruns"},
        {"300402010500", ERR_DER_BAD_LENGTH, "one octet left that cannot start an item"},
        {"30030201050000", OK, "trailing bytes after a complete item"},
        {"3005020405060708", ERR_DER_BAD_LENGTH, "child overruns its parent"},
        {"3080020105000000", OK, "indefinite length closed by end-of-contents"},
        {"30800201050000", OK, "indefinite length, then end-of-contents"},
        {"3080020105", ERR_EOF, "indefinite length never closed"},
        {"0480", ERR_DER_INVALID_CONTENT, "primitive item of indefinite length"},
        {"0403aabb", ERR_EOF, "content past the end of the input"},
        {"3084ffffffff020105", ERR_DER_BAD_LENGTH, "length whose end passes 2^32"},
        {"3084fffffff90201050000", ERR_DER_BAD_LENGTH,
         "length whose end is 2^32 - 1 is not the indefinite form"},
        {"30803084ffffffff0201050000", ERR_DER_BAD_LENGTH,
         "end past 2^32 inside an indefinite parent"},
    };
    for (const Case& c : cases) {
        Parsed p(fromHex(c.der));
        EXPECT_EQ(p.status, c.status) << c.der << ": " << c.why;
        if (p.status < 0) {
            EXPECT_EQ(p.root, nullptr);
        }
    }
}

// Content at level 41 is too deep; an empty item at level 40 has none, and end-of-contents
// octets are not content.
TEST(Asn1Parse, NestingLimitIsFortyLevels) {
    EXPECT_EQ(Parsed(nested(39, "0500")).status, OK);
    EXPECT_EQ(Parsed(nested(40, "0500")).status, ERR_DER_TOO_DEEP);
    EXPECT_EQ(Parsed(nested(39, "3000")).status, OK);
    EXPECT_EQ(Parsed(nested(39, "30800000", true)).status, OK);
    EXPECT_EQ(Parsed(nested(39, "308005000000", true)).status, ERR_DER_TOO_DEEP);
}

TEST(Asn1Parse, BitAndOctetStringEncapsulation) {
    struct Case {
        const char* der;
        bool encapsulates;
        std::uint32_t firstChildTag;
    };
    const Case cases[] = {
        {"0303003000", false, 0},                  // SEQUENCE without an INTEGER
        {"03080030050201050500", true, SEQUENCE},  // SEQUENCE { INTEGER 5, NULL }
        {"0309003005020105050000", false, 0},      // SEQUENCE shorter than the content
        {"0306003003020105", false, 0},            // the INTEGER must leave content after it
        {"0403020107", true, INTEGER},             // OCTET STRING holding an INTEGER
        {"0404020100ff", false, 0},                // not filled exactly: skipped
        {"040430020201", false, 0},                // inner parse fails (empty... overrun): dropped
        {"0404aabbccdd", false, 0},
    };
    for (const Case& c : cases) {
        Parsed p(fromHex(c.der));
        ASSERT_EQ(p.status, OK) << c.der;
        EXPECT_EQ(p.top()->encapsulates, c.encapsulates ? 1 : 0) << c.der;
        if (c.encapsulates) {
            ASSERT_NE(p.top()->firstChild, nullptr) << c.der;
            EXPECT_EQ(p.top()->firstChild->tag, c.firstChildTag) << c.der;
        } else {
            EXPECT_EQ(p.top()->firstChild, nullptr) << c.der;
        }
    }
    // The INTEGER after the BIT STRING is not the first element of the SEQUENCE inside it.
    Parsed followed(fromHex("30080303003000020105"));
    ASSERT_EQ(followed.status, OK);
    EXPECT_EQ(followed.top()->firstChild->encapsulates, 0);
    EXPECT_EQ(followed.top()->firstChild->firstChild, nullptr);

    Parsed bits(fromHex("03080030050201050500"));
    EXPECT_EQ(bits.top()->value, 0u);
    EXPECT_EQ(bits.top()->dataOffset, 3u);
    EXPECT_EQ(bits.top()->length, 7u);
}

TEST(Asn1Tree, LinkedNodesCannotBeReleased) {
    Parsed p(fromHex("3006020101020102"));
    ASSERT_EQ(p.status, OK);
    ASN1_ITEM* first = p.top()->firstChild;
    EXPECT_EQ(ASN1_releaseItem(&first), ERR_TREE_LINKED_NODE);
    EXPECT_EQ(ASN1_childCount(p.top()), 2u);
}

TEST(Asn1CheckAlgorithmOid, MatchesPrefixAndReturnsTheExtraArc) {
    // SEQUENCE { OID 1.2.840.113549.1.1.11, NULL }
    Parsed p(fromHex("300d06092a864886f70d01010b0500"));
    ASSERT_EQ(p.status, OK);
    const std::uint8_t prefix[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01};
    const std::uint8_t whole[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B};
    const std::uint8_t other[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x01};
    std::uint8_t arc = 0;
    ASN1_ITEM* oid = nullptr;
    EXPECT_EQ(ASN1_checkAlgorithmOid(p.top(), &p.stream, prefix, 8, &arc, &oid), OK);
    EXPECT_EQ(arc, 0x0B);
    ASSERT_NE(oid, nullptr);
    EXPECT_EQ(oid->tag, OID);
    EXPECT_EQ(ASN1_checkAlgorithmOid(p.top(), &p.stream, whole, 9, nullptr, nullptr), OK);
    EXPECT_EQ(ASN1_checkAlgorithmOid(p.top(), &p.stream, prefix, 8, nullptr, nullptr),
              ERR_DER_OID_MISMATCH);
    EXPECT_EQ(ASN1_checkAlgorithmOid(p.top(), &p.stream, other, 8, &arc, nullptr),
              ERR_DER_OID_MISMATCH);
    EXPECT_EQ(ASN1_checkAlgorithmOid(p.top()->firstChild, &p.stream, prefix, 8, &arc, nullptr),
              ERR_DER_UNEXPECTED_ITEM);

    Parsed noOid(fromHex("3003020101"));
    EXPECT_EQ(ASN1_checkAlgorithmOid(noOid.top(), &noOid.stream, prefix, 8, &arc, nullptr),
              ERR_DER_UNEXPECTED_ITEM);
}
