#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "crypto/rsa.hpp"
#include "crypto/vlong.hpp"
#include "der_builder.hpp"
#include "hex.hpp"
#include "test_data.hpp"
#include "vlong_helpers.hpp"

namespace {

struct KeyFree {
    void operator()(RSAKey* k) const { RSA_freeKey(&k); }
};
using Key = std::unique_ptr<RSAKey, KeyFree>;

Key publicKey(const std::vector<std::uint8_t>& n, std::uint32_t e = 65537) {
    RSAKey* k = nullptr;
    EXPECT_EQ(RSA_createKey(&k), OK);
    EXPECT_EQ(RSA_setPublicKeyParameters(k, e, n.data(), static_cast<std::uint32_t>(n.size())), OK);
    return Key(k);
}

// The fixed 2048-bit key, with its private exponent to make signatures over chosen blocks.
struct Signer {
    std::vector<std::uint8_t> n = readHexFile("vectors/rsa2048.n.hex");
    std::vector<std::uint8_t> d = readHexFile("vectors/rsa2048.d.hex");
    Key key = publicKey(n);

    std::vector<std::uint8_t> sign(const std::vector<std::uint8_t>& block) const {
        Vlong m(block), dv(d), nv(n), s;
        EXPECT_EQ(VLONG_modexp(m.get(), dv.get(), nv.get(), s.holder(), nullptr), OK);
        std::vector<std::uint8_t> out(n.size());
        std::int32_t len = static_cast<std::int32_t>(out.size());
        EXPECT_EQ(VLONG_byteStringFromVlong(s.get(), out.data(), &len), OK);
        return out;
    }
};

const char* kSha256Oid = "0609608648016503040201";
const char* kSha1Oid = "06052b0e03021a";
const char* kSha512Oid = "0609608648016503040203";

// SEQUENCE { SEQUENCE { OID, parameters }, OCTET STRING digest }; the parameters are a NULL or
// (parameterBytes > 0) an OCTET STRING of that many bytes to pad the structure out.
Bytes digestInfo(const char* oidTlv, std::size_t digestLength, std::size_t parameterBytes = 0) {
    const Bytes alg =
        cat({fromHex(oidTlv),
             parameterBytes > 0 ? der(0x04, Bytes(parameterBytes, 0x5A)) : Bytes{0x05, 0x00}});
    Bytes digest(digestLength);
    for (std::size_t i = 0; i < digestLength; ++i) {
        digest[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    return der(0x30, cat({der(0x30, alg), der(0x04, digest)}));
}

// A SHA-256 DigestInfo of exactly `size` bytes.
std::vector<std::uint8_t> sha256InfoOfSize(std::size_t size) {
    for (std::size_t p = 1; p < size; ++p) {
        auto info = digestInfo(kSha256Oid, 32, p);
        if (info.size() == size) {
            return info;
        }
    }
    ADD_FAILURE() << "no DigestInfo of " << size << " bytes";
    return {};
}

// 00 01 FF..FF 00 payload, k bytes, with `ones` 0xFF bytes when given (else as many as fit).
std::vector<std::uint8_t> padded(const std::vector<std::uint8_t>& payload, std::size_t k,
                                 std::size_t ones = 0) {
    if (ones == 0) {
        ones = k - 3 - payload.size();
    }
    std::vector<std::uint8_t> block = {0x00, 0x01};
    block.insert(block.end(), ones, 0xFF);
    block.push_back(0x00);
    block.insert(block.end(), payload.begin(), payload.end());
    block.insert(block.begin(), k - block.size(), 0x00);  // shorter blocks: leading zeros
    return block;
}

struct Outcome {
    CryptoStatus status;
    std::uint32_t length = 999;
    std::int32_t id = 999;
    std::vector<std::uint8_t> digest;
};

Outcome digestOf(const RSAKey* key, const std::vector<std::uint8_t>& signature) {
    Outcome o;
    o.digest.assign(64, 0xEE);
    o.status = RSA_getDigestFromSignature(key, signature.data(),
                                          static_cast<std::int32_t>(signature.size()),
                                          o.digest.data(), &o.length, &o.id);
    return o;
}

}  // namespace

// Which odd encodings this lenient layer lets through is no matter (the acceptance check decides);
// its refusals are what callers see.
TEST(RsaSignature, PaddingAndDigestInfoRefusals) {
    Signer signer;
    const std::size_t k = signer.n.size();
    const auto sha256Info = digestInfo(kSha256Oid, 32);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> block;
        CryptoStatus status;
        std::int32_t id;
        std::uint32_t length;
    };
    std::vector<std::uint8_t> allOnes(k, 0xFF);
    allOnes[0] = 0x00;
    allOnes[1] = 0x01;
    auto typeTwo = padded(sha256Info, k);
    typeTwo[1] = 0x02;
    auto badFiller = padded(sha256Info, k);
    badFiller[20] = 0xFE;
    auto extraByte = sha256Info;
    extraByte.push_back(0x00);
    auto wrongLengthInInfo = digestInfo(kSha1Oid, 32);
    const std::vector<Case> cases = {
        {"eight 0xFF bytes", padded(sha256InfoOfSize(k - 11), k, 8), OK, 11, 32},
        {"SHA-1", padded(digestInfo(kSha1Oid, 20), k), OK, 5, 20},
        {"SHA-512", padded(digestInfo(kSha512Oid, 64), k), OK, 13, 64},
        {"seven 0xFF bytes", padded(sha256InfoOfSize(k - 10), k, 7), ERR_RSA_BAD_PADDING, 999, 999},
        {"block type 2", typeTwo, ERR_RSA_BAD_PADDING, 999, 999},
        {"non-0xFF filler", badFiller, ERR_RSA_BAD_PADDING, 999, 999},
        {"no separator: empty payload", allOnes, ERR_DER_INVALID_CONTENT, 999, 999},
        {"SHA-1 OID, 32 bytes", padded(wrongLengthInInfo, k), ERR_SIGNATURE_FORMAT, 5, 999},
        {"unknown hash arc, some digest", padded(digestInfo("0609608648016503040209", 32), k),
         ERR_SIGNATURE_FORMAT, -1, 999},
        {"unrelated OID", padded(digestInfo("06032a0304", 32), k), ERR_DER_OID_MISMATCH, 999, 999},
        {"one extra byte after the DigestInfo", padded(extraByte, k), ERR_DER_UNEXPECTED_ITEM, 999,
         999},
        {"DigestInfo without elements", padded(fromHex("3000"), k), ERR_DER_UNEXPECTED_ITEM, 999,
         999},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.block.size(), k) << c.what;
        Outcome o = digestOf(signer.key.get(), signer.sign(c.block));
        EXPECT_EQ(o.status, c.status) << c.what;
        EXPECT_EQ(o.id, c.id) << c.what;
        EXPECT_EQ(o.length, c.length) << c.what;
        if (o.status == OK) {
            for (std::uint32_t i = 0; i < 64; ++i) {
                EXPECT_EQ(o.digest[i], i < o.length ? 0xA0 + i : 0) << c.what << " byte " << i;
            }
        } else {
            EXPECT_EQ(o.digest[0], 0xEE) << c.what << ": no digest written on failure";
        }
    }
}

TEST(RsaSignature, KeyAndLengthChecks) {
    Signer signer;
    auto sig = signer.sign(padded(digestInfo(kSha256Oid, 32), signer.n.size()));
    std::vector<std::uint8_t> shorter(sig.begin() + 1, sig.end());
    EXPECT_EQ(digestOf(signer.key.get(), shorter).status, ERR_SIGNATURE_FORMAT);

    // Exponent 2^32 + 1 does not fit one unit.
    Key wideExponent = publicKey(signer.n);
    VLONG_freeVlong(&wideExponent->e, nullptr);
    const std::vector<std::uint8_t> e = fromHex("0100000001");
    ASSERT_EQ(VLONG_vlongFromByteString(e.data(), 5, &wideExponent->e, nullptr), OK);
    EXPECT_EQ(digestOf(wideExponent.get(), sig).status, ERR_RSA_EXPONENT_TOO_LONG);

    // A 4104-bit modulus is one byte over the limit.
    std::vector<std::uint8_t> big(513, 0xC3);
    Key tooLong = publicKey(big);
    EXPECT_EQ(digestOf(tooLong.get(), std::vector<std::uint8_t>(513, 1)).status,
              ERR_RSA_MODULUS_TOO_LONG);
    std::vector<std::uint8_t> limit(512, 0xC3);
    Key atLimit = publicKey(limit);
    EXPECT_EQ(digestOf(atLimit.get(), std::vector<std::uint8_t>(512, 1)).status,
              ERR_RSA_BAD_PADDING);

    std::uint8_t digest[64];
    std::uint32_t length;
    std::int32_t id;
    EXPECT_EQ(RSA_getDigestFromSignature(nullptr, sig.data(), 256, digest, &length, &id),
              ERR_NULL_POINTER);
    EXPECT_EQ(
        RSA_getDigestFromSignature(signer.key.get(), sig.data(), 256, digest, &length, nullptr),
        ERR_NULL_POINTER);
    EXPECT_EQ(RSA_verifySignature(nullptr, sig.data(), digest, &length, nullptr), ERR_RSA_NULL_KEY);
    RSAKey* empty = nullptr;
    ASSERT_EQ(RSA_createKey(&empty), OK);
    std::int32_t k = 0;
    EXPECT_EQ(RSA_getCipherTextLength(empty, &k), ERR_NULL_POINTER);
    EXPECT_EQ(RSA_setPublicKeyParameters(empty, 1, signer.n.data(), 256), ERR_BAD_EXPONENT);
    EXPECT_EQ(RSA_setPublicKeyParameters(nullptr, 3, signer.n.data(), 256), ERR_RSA_NULL_KEY);
    RSA_freeKey(&empty);
}
