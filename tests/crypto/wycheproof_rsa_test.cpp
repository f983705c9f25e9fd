// Wycheproof RSASSA-PKCS1-v1_5 SHA-256 vectors through RSA_getDigestFromSignature followed by a
// comparison with the message's SHA-256. This path is lenient by design (the strict check sits
// in the signing layer): the test pins which invalid vectors it accepts.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "crypto/ca_mgmt.hpp"
#include "crypto/digest.hpp"
#include "crypto/rsa.hpp"
#include "hex.hpp"
#include "json_fields.hpp"
#include "test_data.hpp"

namespace {

struct Result {
    int valid = 0;
    std::set<std::string> rejectedValid;
    std::set<std::string> acceptedInvalid;  // "tcId:comment"
};

bool accepts(const RSAKey* key, const std::vector<std::uint8_t>& msg,
             const std::vector<std::uint8_t>& sig) {
    std::uint8_t digest[64];
    std::uint32_t length = 0;
    std::int32_t id = 0;
    if (sig.empty() ||
        RSA_getDigestFromSignature(key, sig.data(), static_cast<std::int32_t>(sig.size()), digest,
                                   &length, &id) != OK) {
        return false;
    }
    std::uint8_t expected[64];
    std::uint32_t expectedLength = 0;
    static const std::uint8_t kNothing = 0;
    CRYPTO_computeDigest(msg.empty() ? &kNothing : msg.data(),
                         static_cast<std::uint32_t>(msg.size()), expected, &expectedLength,
                         DIGEST_SHA256);
    return length == expectedLength && std::equal(digest, digest + length, expected);
}

Result runFile(const std::string& name) {
    Result r;
    const auto file = readTestFile("wycheproof/" + name);
    AsymmetricKey key;
    CRYPTO_initAsymmetricKey(&key);
    std::string id, comment, msg, sig;
    for (const auto& [field, value] : jsonFields(std::string(file.begin(), file.end()))) {
        if (field == "publicKeyDer") {
            const auto der = fromHex(value);
            std::uint8_t* blob = nullptr;
            std::uint32_t blobLength = 0;
            EXPECT_EQ(CA_MGMT_publicKeyDerToKeyBlob(
                          der.data(), static_cast<std::uint32_t>(der.size()), &blob, &blobLength),
                      OK);
            EXPECT_EQ(CA_MGMT_extractKeyBlob(blob, blobLength, &key), OK);
            CA_MGMT_freeKeyBlob(&blob);
        } else if (field == "tcId") {
            id = value;
        } else if (field == "comment") {
            comment = value;
        } else if (field == "msg") {
            msg = value;
        } else if (field == "sig") {
            sig = value;
        } else if (field == "result") {
            const bool ok = accepts(key.key, fromHex(msg), fromHex(sig));
            if (value == "valid") {
                ++r.valid;
                if (!ok) {
                    r.rejectedValid.insert(id + ":" + comment);
                }
            } else if (ok) {
                r.acceptedInvalid.insert(id + ":" + comment);
            }
        }
    }
    CRYPTO_uninitAsymmetricKey(&key);
    return r;
}

// The recorded list, one "file tcId comment" per line.
std::vector<std::string> pinnedLines() {
    const auto text = readTestFile("wycheproof-lenient-accepts.txt");
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line[0] != '#') {
                lines.push_back(line);
            }
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

class WycheproofRsa : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(BASE64_initializeContext(), OK); }
};

}  // namespace

TEST_F(WycheproofRsa, Sha256VectorsOfEveryKeySize) {
    for (const char* file :
         {"rsa_signature_2048_sha256_test.json", "rsa_signature_3072_sha256_test.json",
          "rsa_signature_4096_sha256_test.json"}) {
        Result r = runFile(file);
        EXPECT_GT(r.valid, 5) << file;
        EXPECT_TRUE(r.rejectedValid.empty())
            << file << ": " << testing::PrintToString(r.rejectedValid);
        std::set<std::string> accepted;
        for (const std::string& a : r.acceptedInvalid) {
            accepted.insert(std::string(file) + " " + a.substr(0, a.find(':')) + " " +
                            a.substr(a.find(':') + 1));
        }
        std::set<std::string> pinned;
        for (const std::string& line : pinnedLines()) {
            if (line.rfind(file, 0) == 0) {
                pinned.insert(line);
            }
        }
        EXPECT_EQ(accepted, pinned) << file;
    }
}
