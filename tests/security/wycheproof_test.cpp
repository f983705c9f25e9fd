// Every RSASSA-PKCS1-v1_5 SHA-256 vector of the three Wycheproof files, classified as the file
// says: valid and acceptable signatures pass, invalid ones fail.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "security/imgsign.hpp"
#include "test_files.hpp"

namespace {

struct Vector {
    int id = 0;
    std::vector<std::uint8_t> key;  // DER SubjectPublicKeyInfo of the vector's group
    std::vector<std::uint8_t> msg;
    std::vector<std::uint8_t> sig;
    std::string result;
};

// The value of the string field `name` at or after pos; pos moves past it. The files keep
// each group's key before its tests and every test's fields in one order.
std::string field(const std::string& json, const std::string& name, std::size_t& pos) {
    const std::string key = "\"" + name + "\": \"";
    const auto at = json.find(key, pos);
    if (at == std::string::npos) {
        pos = std::string::npos;
        return {};
    }
    const auto start = at + key.size();
    const auto end = json.find('"', start);
    pos = end;
    return json.substr(start, end - start);
}

std::vector<Vector> load(const std::string& file) {
    const auto json = sectest::read_text(std::string(BM_CRYPTO_TESTDATA) + "/wycheproof/" + file);
    std::vector<Vector> vectors;
    std::vector<std::uint8_t> key;
    std::size_t pos = 0;
    while (true) {
        const auto nextKey = json.find("\"publicKeyDer\"", pos);
        const auto nextTest = json.find("\"tcId\"", pos);
        if (nextTest == std::string::npos) {
            break;
        }
        if (nextKey < nextTest) {
            pos = nextKey;
            key = sectest::from_hex(field(json, "publicKeyDer", pos));
            continue;
        }
        Vector v;
        v.id = std::stoi(json.substr(nextTest + 7, 8));
        pos = nextTest;
        v.key = key;
        v.msg = sectest::from_hex(field(json, "msg", pos));
        v.sig = sectest::from_hex(field(json, "sig", pos));
        v.result = field(json, "result", pos);
        vectors.push_back(std::move(v));
    }
    return vectors;
}

class Wycheproof : public testing::TestWithParam<const char*> {};

TEST_P(Wycheproof, EveryVectorIsClassifiedAsTheFileSays) {
    const auto vectors = load(GetParam());
    ASSERT_GT(vectors.size(), 250U);
    int passed = 0;
    for (const auto& v : vectors) {
        std::array<std::uint8_t, 32> hash{};
        std::uint32_t length = 0;
        const std::uint8_t empty = 0;
        ASSERT_EQ(
            IMGSIGN_computeSHA256(v.msg.empty() ? &empty : v.msg.data(),
                                  static_cast<std::uint32_t>(v.msg.size()), hash.data(), &length),
            OK);
        const CryptoStatus status = IMGSIGN_verifySignature(
            hash.data(), 32, v.sig.data(), static_cast<std::int32_t>(v.sig.size()), v.key.data(),
            static_cast<std::uint32_t>(v.key.size()));
        if (v.result == "invalid") {
            EXPECT_NE(status, OK) << "tcId " << v.id << " accepted";
        } else {
            EXPECT_EQ(status, OK) << "tcId " << v.id << " (" << v.result << ") refused";
            ++passed;
        }
    }
    EXPECT_GT(passed, 0);
}

INSTANTIATE_TEST_SUITE_P(Sha256, Wycheproof,
                         testing::Values("rsa_signature_2048_sha256_test.json",
                                         "rsa_signature_3072_sha256_test.json",
                                         "rsa_signature_4096_sha256_test.json"),
                         [](const auto& info) { return std::string(info.param).substr(14, 4); });

}  // namespace
