#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "crypto/ca_mgmt.hpp"
#include "der_builder.hpp"
#include "hex.hpp"
#include "test_data.hpp"
#include "vlong_helpers.hpp"

namespace {

class KeysTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(BASE64_initializeContext(), OK); }
};

struct Blob {
    std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    ~Blob() {
        if (data != nullptr) {
            CA_MGMT_freeKeyBlob(&data);
        }
    }
    Bytes bytes() const { return Bytes(data, data + length); }
};

CryptoStatus pemToBlob(const Bytes& pem, Blob& blob) {
    return CA_MGMT_pemPublicKeyToKeyBlob(pem.data(), static_cast<std::uint32_t>(pem.size()),
                                         &blob.data, &blob.length);
}
CryptoStatus derToBlob(const Bytes& d, Blob& blob) {
    return CA_MGMT_publicKeyDerToKeyBlob(d.data(), static_cast<std::uint32_t>(d.size()), &blob.data,
                                         &blob.length);
}

std::string decode64(const std::string& text, CryptoStatus* status) {
    std::uint8_t* out = nullptr;
    std::uint32_t n = 0;
    *status = BASE64_decodeMessage(reinterpret_cast<const std::uint8_t*>(text.data()),
                                   static_cast<std::uint32_t>(text.size()), &out, &n);
    std::string hex = *status == OK ? toHex(out, n) : "";
    if (out != nullptr) {
        BASE64_freeMessage(&out);
    }
    return hex;
}

// SubjectPublicKeyInfo for rsaEncryption (or another last arc) around n and e.
Bytes spki(const Bytes& n, const Bytes& e, std::uint8_t arc = 1) {
    Bytes alg =
        der(0x30,
            cat({der(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, arc}), der(0x05, {})}));
    Bytes bits = cat({{0x00}, der(0x30, cat({der(0x02, n), der(0x02, e)}))});
    return der(0x30, cat({alg, der(0x03, bits)}));
}

Bytes modulusOf(std::size_t bytes) {
    Bytes n(bytes, 0x5B);
    n[0] = 0x00;  // a leading zero octet, as DER writes for a set top bit
    n[1] = 0xC1;
    return n;
}

}  // namespace

TEST_F(KeysTest, Base64Groups) {
    struct Case {
        const char* text;
        CryptoStatus status;
        const char* hex;
    };
    const Case cases[] = {
        {"QQ==", OK, "41"},
        {"QUI=", OK, "4142"},
        {"QUJD", OK, "414243"},
        {"QQ=A", OK, "41"},  // the fourth character after '=' is not examined
        {"QQ", ERR_BASE64_BAD_INPUT, ""},
        {"QUJDR", ERR_BASE64_BAD_INPUT, ""},
        {"Q===", ERR_BASE64_BAD_INPUT, ""},
        {"QQ==QUJD", ERR_BASE64_BAD_INPUT, ""},  // '=' in a group that is not the last
        {"QUI=QUJD", ERR_BASE64_BAD_INPUT, ""},
        {"QQ*=", ERR_BASE64_BAD_INPUT, ""},
        {"QUJ*", ERR_BASE64_BAD_INPUT, ""},
        {"*UJD", ERR_BASE64_BAD_INPUT, ""},
        {"+/+/", OK, "fbffbf"},
    };
    for (const Case& c : cases) {
        CryptoStatus status;
        EXPECT_EQ(decode64(c.text, &status), c.hex) << c.text;
        EXPECT_EQ(status, c.status) << c.text;
    }
}

// Each OpenSSL-made key in every form the loaders take gives the same blob: the fixed RSA header,
// then the modulus with its length.
TEST_F(KeysTest, EveryFormOfAKeyGivesTheSameBlob) {
    // The longer keys come in as SubjectPublicKeyInfo DER in the Wycheproof test.
    const std::string base = "vectors/rsa2048";
    const Bytes modulus = readHexFile(base + ".n.hex");
    const auto size = static_cast<std::uint32_t>(modulus.size());
    const Bytes expected =
        cat({fromHex("00000000 00000001 00000001 01 00 00000003 010001"),
             {0, 0, static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)},
             modulus});
    // The Base64 lines of the PEM file, to wrap in other armour and spacing.
    const Bytes pemFile = readTestFile(base + ".spki.pem");
    const std::string pem(pemFile.begin(), pemFile.end());
    const std::size_t body = pem.find('\n') + 1;
    const auto joined = [&](const std::string& separator) {
        std::string text;
        for (const char c : pem.substr(body, pem.find("-----END") - body)) {
            text += c == '\n' ? separator : std::string(1, c);
        }
        return text;
    };
    struct Form {
        const char* what;
        Bytes input;
        bool pem;
        CryptoStatus status;
    };
    const Form forms[] = {
        {"SubjectPublicKeyInfo PEM", pemFile, true, OK},
        {"PEM with CRLF", readTestFile(base + ".spki.crlf.pem"), true, OK},
        {"PEM with blank lines", readTestFile(base + ".spki.blanks.pem"), true, OK},
        {"RSAPublicKey PEM", readTestFile(base + ".rsapub.pem"), true, OK},
        {"SubjectPublicKeyInfo DER", readTestFile(base + ".spki.der"), false, OK},
        {"RSAPublicKey DER", readTestFile(base + ".rsapub.der"), false, OK},
        {"other armour, spaces and tabs",
         bytesOf("-----BEGIN X-----   \n\n\n" + joined(" \t\n  ") + "-----END X-----"), true, OK},
        {"no armour, one line", bytesOf(joined("")), true, OK},
        {"anything after a dash dropped", bytesOf(joined(" ") + "\n-- comment"), true, OK},
        {"a TAB straight after a token belongs to it", bytesOf(joined("\t\n")), true,
         ERR_BASE64_BAD_INPUT},
        {"a character outside Base64", bytesOf(joined("").replace(40, 1, "*")), true,
         ERR_BASE64_BAD_INPUT},
    };
    for (const Form& f : forms) {
        Blob blob;
        EXPECT_EQ(f.pem ? pemToBlob(f.input, blob) : derToBlob(f.input, blob), f.status) << f.what;
        if (f.status == OK) {
            EXPECT_EQ(toHex(blob.bytes()), toHex(expected)) << f.what;
        }
    }
    std::uint8_t* out = nullptr;
    std::uint32_t n = 0;
    const std::uint8_t dash = '-';
    EXPECT_EQ(CA_MGMT_decodePem(&dash, 0, &out, &n), ERR_MEM_ALLOC_FAIL);
    EXPECT_EQ(CA_MGMT_decodePem(&dash, 1, &out, &n), ERR_BASE64_BAD_INPUT);
    const Bytes notAKey = bytesOf("hello");
    Blob blob;
    EXPECT_EQ(pemToBlob(notAKey, blob), ERR_BASE64_BAD_INPUT);
    EXPECT_EQ(derToBlob(notAKey, blob), ERR_EC_BAD_DER) << "what the DER attempt reports";
}

TEST_F(KeysTest, BlobRoundTripsThroughTheKeyObject) {
    Blob blob;
    ASSERT_EQ(pemToBlob(readTestFile("vectors/rsa2048.spki.pem"), blob), OK);
    AsymmetricKey key;
    CRYPTO_initAsymmetricKey(&key);
    ASSERT_EQ(CA_MGMT_extractKeyBlob(blob.data, blob.length, &key), OK);
    ASSERT_EQ(key.type, KEY_TYPE_RSA);
    EXPECT_EQ(key.key->privateKey, 0);
    std::int32_t k = 0;
    ASSERT_EQ(RSA_getCipherTextLength(key.key, &k), OK);
    EXPECT_EQ(k, 256);

    AsymmetricKey copy;
    CRYPTO_initAsymmetricKey(&copy);
    ASSERT_EQ(CRYPTO_copyAsymmetricKey(&copy, &key), OK);
    EXPECT_NE(copy.key, key.key);
    EXPECT_NE(copy.key->n, key.key->n) << "a deep copy";
    EXPECT_EQ(VLONG_compareUnsigned(copy.key->n, key.key->n), 0);
    EXPECT_EQ(VLONG_compareUnsigned(copy.key->e, key.key->e), 0);
    Blob again;
    ASSERT_EQ(CA_MGMT_makeKeyBlob(&copy, &again.data, &again.length), OK);
    EXPECT_EQ(again.bytes(), blob.bytes());

    EXPECT_EQ(CRYPTO_uninitAsymmetricKey(&key), OK);
    EXPECT_EQ(key.type, KEY_TYPE_NONE);
    EXPECT_EQ(CRYPTO_uninitAsymmetricKey(&key), OK);
    CRYPTO_uninitAsymmetricKey(&copy);

    AsymmetricKey odd{7, nullptr};
    EXPECT_EQ(CRYPTO_uninitAsymmetricKey(&odd), ERR_BAD_KEY_TYPE);
    EXPECT_EQ(odd.type, 7u);
    EXPECT_EQ(CRYPTO_copyAsymmetricKey(&copy, &odd), ERR_BAD_KEY_TYPE);
    EXPECT_EQ(CA_MGMT_makeKeyBlob(&odd, &again.data, &again.length), ERR_KEY_BLOB_UNKNOWN_KEY_TYPE);
}

TEST_F(KeysTest, KeyBlobBounds) {
    const Bytes good = fromHex("00000000 00000001 00000001 01 00 00000001 03 00000002 c001");
    struct Case {
        const char* what;
        Bytes blob;
        CryptoStatus status;
    };
    auto with = [&](std::size_t at, std::uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    const std::vector<Case> cases = {
        {"well formed", good, OK},
        {"bytes after the last value", cat({good, {0xAA, 0xBB}}), OK},
        {"shorter than the header", Bytes(good.begin(), good.begin() + 11), ERR_BAD_KEY_BLOB},
        {"no RSA data", Bytes(good.begin(), good.begin() + 13), ERR_BAD_KEY_BLOB},
        {"older form", with(3, 1), ERR_BAD_KEY_BLOB_VERSION},
        {"blob version 2", with(7, 2), ERR_BAD_KEY_BLOB_VERSION},
        {"type high bytes", with(9, 1), ERR_BAD_KEY_BLOB},
        {"elliptic curve", with(11, 2), ERR_BAD_KEY_BLOB},
        {"RSA data version 2", with(12, 2), ERR_BAD_KEY_BLOB_VERSION},
        {"exponent overruns", with(17, 0x40), ERR_BAD_KEY_BLOB},
        {"modulus overruns", with(22, 3), ERR_BAD_KEY_BLOB},
        {"modulus length cut", Bytes(good.begin(), good.begin() + 21), ERR_BAD_KEY_BLOB},
        {"huge length", with(14, 0xFF), ERR_BAD_KEY_BLOB},
        {"private flag without private values", with(13, 1), ERR_BAD_KEY_BLOB},
    };
    for (const Case& c : cases) {
        AsymmetricKey key;
        CRYPTO_initAsymmetricKey(&key);
        EXPECT_EQ(
            CA_MGMT_extractKeyBlob(c.blob.data(), static_cast<std::uint32_t>(c.blob.size()), &key),
            c.status)
            << c.what;
        EXPECT_EQ(key.type, c.status == OK ? KEY_TYPE_RSA : KEY_TYPE_NONE) << c.what;
        CRYPTO_uninitAsymmetricKey(&key);
    }
    EXPECT_EQ(CA_MGMT_extractKeyBlob(nullptr, 10, nullptr), ERR_NULL_POINTER);
}

// Damaged and out-of-range key forms.
TEST_F(KeysTest, RsaKeyDerRules) {
    const Bytes n256 = modulusOf(257);  // 256 bytes after the leading zero
    const Bytes e65537 = {0x01, 0x00, 0x01};
    struct Case {
        const char* what;
        Bytes der;
        CryptoStatus parse;   // CA_MGMT_parseRsaKeyDer
        CryptoStatus toBlob;  // CA_MGMT_publicKeyDerToKeyBlob
    };
    const std::vector<Case> cases = {
        {"SubjectPublicKeyInfo", spki(n256, e65537), OK, OK},
        {"512-byte modulus", spki(modulusOf(513), e65537), OK, OK},
        {"513-byte modulus", spki(modulusOf(514), e65537), ERR_RSA_NOT_RSA_DER, ERR_EC_BAD_DER},
        {"5-byte exponent", spki(n256, {0x01, 0x00, 0x00, 0x00, 0x01}), ERR_RSA_NOT_RSA_DER,
         ERR_EC_BAD_DER},
        {"exponent 1", spki(n256, {0x01}), ERR_RSA_NOT_RSA_DER, ERR_EC_BAD_DER},
        {"RSASSA-PSS algorithm", spki(n256, e65537, 10), ERR_RSA_NOT_RSA_DER, ERR_EC_BAD_DER},
        {"RSAPublicKey", der(0x30, cat({der(0x02, n256), der(0x02, e65537)})), OK, OK},
        {"RSAPublicKey, 600-byte modulus",
         der(0x30, cat({der(0x02, modulusOf(601)), der(0x02, e65537)})), OK, OK},
        {"RSAPublicKey, exponent 1", der(0x30, cat({der(0x02, n256), der(0x02, {0x01})})),
         ERR_BAD_EXPONENT, ERR_EC_BAD_DER},
        {"RSAPublicKey, 5-byte exponent",
         der(0x30, cat({der(0x02, n256), der(0x02, {1, 0, 0, 0, 1})})), ERR_RSA_NOT_RSA_DER,
         ERR_EC_BAD_DER},
        {"one element", der(0x30, der(0x02, n256)), ERR_RSA_NOT_RSA_DER, ERR_EC_BAD_DER},
        {"not a SEQUENCE", der(0x31, cat({der(0x02, n256), der(0x02, e65537)})),
         ERR_RSA_NOT_RSA_DER, ERR_EC_BAD_DER},
        {"private key, version 2",
         der(0x30, cat({der(0x02, {0x02}), der(0x02, n256), der(0x02, e65537)})),
         ERR_RSA_BAD_VERSION, ERR_EC_BAD_DER},
        // A parse failure comes out as the parser's status; asn1_test has each input it refuses.
        {"truncated", fromHex("3082010a0282"), ERR_EOF, ERR_EC_BAD_DER},
    };
    for (const Case& c : cases) {
        AsymmetricKey key;
        CRYPTO_initAsymmetricKey(&key);
        EXPECT_EQ(
            CA_MGMT_parseRsaKeyDer(c.der.data(), static_cast<std::uint32_t>(c.der.size()), &key),
            c.parse)
            << c.what;
        EXPECT_EQ(key.type, c.parse == OK ? KEY_TYPE_RSA : KEY_TYPE_NONE) << c.what;
        CRYPTO_uninitAsymmetricKey(&key);
        Blob blob;
        EXPECT_EQ(derToBlob(c.der, blob), c.toBlob) << c.what;
    }
}
