#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/digest.hpp"
#include "crypto/sha256.hpp"
#include "hex.hpp"
#include "test_data.hpp"

namespace {

std::string digestHex(std::uint32_t algorithm, const std::vector<std::uint8_t>& message) {
    std::uint8_t out[64];
    std::uint32_t length = 0;
    static const std::uint8_t kNothing = 0;  // an empty message still needs a data pointer
    const std::uint8_t* data = message.empty() ? &kNothing : message.data();
    EXPECT_EQ(CRYPTO_computeDigest(data, static_cast<std::uint32_t>(message.size()), out, &length,
                                   algorithm),
              OK);
    for (std::uint32_t i = length; i < 64; ++i) {
        EXPECT_EQ(out[i], 0) << "byte " << i << " after the digest";
    }
    return toHex(out, length);
}

const std::string kTwoBlock = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string kFourBlock =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
    "rsmnopqrstnopqrstu";

}  // namespace

TEST(ComputeDigest, KnownAnswersOfEveryAlgorithm) {
    struct Case {
        std::uint32_t algorithm;
        std::string message;
        std::string digest;  // or its first 16 bytes
    };
    const std::string a111(111, 'a'), a112(112, 'a'), a127(127, 'a'), a128(128, 'a');
    const Case cases[] = {
        {DIGEST_SHA224, "abc", "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
        {DIGEST_SHA224, kTwoBlock, "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
        {DIGEST_SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {DIGEST_SHA1, kTwoBlock, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {DIGEST_MD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {DIGEST_MD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {DIGEST_SHA384, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
         "34c825a7"},
        {DIGEST_SHA384, kFourBlock,
         "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa"
         "91746039"},
        {DIGEST_SHA512, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a"
         "3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {DIGEST_SHA512, kFourBlock,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99de"
         "c4b5433ac7d329eeb6dd26545e96e55b874be909"},
        // around SHA-512's padding boundary: 112 bytes leave no room for the length
        {DIGEST_SHA512, a111, "fa9121c7b32b9e01733d034cfc78cbf6"},
        {DIGEST_SHA512, a112, "c01d080efd492776a1c43bd23dd99d0a"},
        {DIGEST_SHA512, a127, "828613968b501dc00a97e08c73b118aa"},
        {DIGEST_SHA512, a128, "b73d1929aa615934e61a871596b3f3b3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(digestHex(c.algorithm, bytesOf(c.message)).substr(0, c.digest.size()), c.digest)
            << "algorithm " << c.algorithm << " on \"" << c.message << "\"";
    }
}

TEST(ComputeDigest, RefusalsLeaveTheLengthAndOnlyAnUnknownAlgorithmZeroesTheOutput) {
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    std::uint8_t out[64];
    std::uint32_t length = 1234;
    for (std::uint32_t id : {0u, 2u, 3u, 7u, 15u}) {
        std::fill(std::begin(out), std::end(out), 0xEE);
        EXPECT_EQ(CRYPTO_computeDigest(abc, 3, out, &length, id), ERR_UNSUPPORTED_DIGEST) << id;
        EXPECT_EQ(std::count(std::begin(out), std::end(out), 0), 64) << id;
    }
    out[0] = 7;
    EXPECT_EQ(CRYPTO_computeDigest(nullptr, 0, out, &length, DIGEST_SHA256), ERR_NULL_POINTER);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(CRYPTO_computeDigest(abc, 1, nullptr, &length, DIGEST_SHA256), ERR_NULL_POINTER);
    EXPECT_EQ(CRYPTO_computeDigest(abc, 1, out, nullptr, DIGEST_SHA256), ERR_NULL_POINTER);
    EXPECT_EQ(length, 1234u);

    SHA256_CTX ctx;
    EXPECT_EQ(SHA256_initDigest(nullptr), ERR_NULL_POINTER);
    ASSERT_EQ(SHA256_initDigest(&ctx), OK);
    EXPECT_EQ(SHA256_updateDigest(&ctx, nullptr, 0), ERR_NULL_POINTER) << "even for no bytes";
    EXPECT_EQ(SHA256_updateDigest(nullptr, out, 0), ERR_NULL_POINTER);
    EXPECT_EQ(SHA256_finalDigest(&ctx, nullptr), ERR_NULL_POINTER);
    EXPECT_EQ(SHA256_finalDigest(nullptr, out), ERR_NULL_POINTER);
}

// OpenSSL-made SHA-256 of prefixes of one buffer around the block edges, in one call and fed in
// pieces of the given sizes (cycled).
TEST(ComputeDigest, OpensslMadeSha256OfBufferPrefixesWholeAndInPieces) {
    const auto data = readTestFile("vectors/sha.bin");
    const auto listing = readTestFile("vectors/sha256.txt");
    std::istringstream lines(std::string(listing.begin(), listing.end()));
    const std::vector<std::vector<std::uint32_t>> schedules = {
        {1}, {0, 63}, {64}, {65}, {127, 1}, {3, 61, 200}, {129, 0, 128}};
    int checked = 0;
    std::size_t n = 0;
    for (std::string expected; lines >> n >> expected; ++checked) {
        ASSERT_LE(n, data.size());
        EXPECT_EQ(digestHex(DIGEST_SHA256, {data.begin(), data.begin() + n}), expected) << n;
        for (const auto& schedule : schedules) {
            SHA256_CTX ctx;
            ASSERT_EQ(SHA256_initDigest(&ctx), OK);
            for (std::size_t pos = 0, k = 0; pos < n; ++k) {
                const auto piece = std::min<std::size_t>(schedule[k % schedule.size()], n - pos);
                ASSERT_EQ(
                    SHA256_updateDigest(&ctx, data.data() + pos, static_cast<std::uint32_t>(piece)),
                    OK);
                pos += piece;
            }
            std::uint8_t got[32];
            ASSERT_EQ(SHA256_finalDigest(&ctx, got), OK);
            EXPECT_EQ(toHex(got, 32), expected) << n << " bytes, first piece " << schedule[0];
        }
    }
    EXPECT_GT(checked, 10);
}
