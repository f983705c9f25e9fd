#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/digest.hpp"
#include "crypto/md5.hpp"
#include "crypto/sha1.hpp"
#include "crypto/sha256.hpp"
#include "crypto/sha512.hpp"
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
        const char* digest;
    };
    const Case cases[] = {
        {DIGEST_SHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {DIGEST_SHA256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {DIGEST_SHA256, kTwoBlock,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
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
    };
    for (const Case& c : cases) {
        EXPECT_EQ(digestHex(c.algorithm, bytesOf(c.message)), c.digest)
            << "algorithm " << c.algorithm << " on \"" << c.message << "\"";
    }
}

TEST(ComputeDigest, PaddingBoundaries) {
    // Messages of n 'a' bytes around the 56- and 64-byte (SHA-512: 112/128) block edges.
    struct Case {
        std::size_t n;
        const char* sha256;
        const char* sha512Prefix;
    };
    const Case cases[] = {
        {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318",
         "b0220c772cbf6c1822e2cb38a437d0e1"},
        {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a",
         "962b64aae357d2a4fee3ded8b539bdc9"},
        {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34",
         "c1b0f5c6d3b03dfe4a2602e67242f54e"},
        {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb",
         "01d35c10c6c38c2dcf48f7eebb3235fb"},
        {65, "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0",
         "b83086cd8494e55708ad7ecd82dfb4bc"},
        {111, "6374f73208854473827f6f6a3f43b1f53eaa3b82c21c1a6d69a2110b2a79baad",
         "fa9121c7b32b9e01733d034cfc78cbf6"},
        {112, "f54353008a2553262ecdc4a34749563ba0950e8b0fc8652780b0a614b99683c1",
         "c01d080efd492776a1c43bd23dd99d0a"},
        {127, "c57e9278af78fa3cab38667bef4ce29d783787a2f731d4e12200270f0c32320a",
         "828613968b501dc00a97e08c73b118aa"},
        {128, "6836cf13bac400e9105071cd6af47084dfacad4e5e302c94bfed24e013afb73e",
         "b73d1929aa615934e61a871596b3f3b3"},
        {129, "c12cb024a2e5551cca0e08fce8f1c5e314555cc3fef6329ee994a3db752166ae",
         "4f681e0bd53cda4b5a2041cc8a06f2ea"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> m(c.n, 'a');
        EXPECT_EQ(digestHex(DIGEST_SHA256, m), c.sha256) << c.n;
        EXPECT_EQ(digestHex(DIGEST_SHA512, m).substr(0, 32), c.sha512Prefix) << c.n;
    }
}

TEST(ComputeDigest, MillionTimesA) {
    std::vector<std::uint8_t> m(1000000, 'a');
    EXPECT_EQ(digestHex(DIGEST_SHA256, m),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(ComputeDigest, UnsupportedIdentifiersZeroTheOutputAndLeaveTheLength) {
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    for (std::uint32_t id : {0u, 2u, 3u, 7u, 15u}) {
        std::uint8_t out[64];
        std::fill(std::begin(out), std::end(out), 0xEE);
        std::uint32_t length = 1234;
        EXPECT_EQ(CRYPTO_computeDigest(abc, 3, out, &length, id), ERR_UNSUPPORTED_DIGEST) << id;
        EXPECT_EQ(length, 1234u);
        EXPECT_EQ(std::count(std::begin(out), std::end(out), 0), 64);
    }
}

TEST(ComputeDigest, NullPointersWriteNothing) {
    std::uint8_t data[1] = {0};
    std::uint8_t out[64] = {7};
    std::uint32_t length = 5;
    EXPECT_EQ(CRYPTO_computeDigest(nullptr, 0, out, &length, DIGEST_SHA256), ERR_NULL_POINTER);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(CRYPTO_computeDigest(data, 1, nullptr, &length, DIGEST_SHA256), ERR_NULL_POINTER);
    EXPECT_EQ(CRYPTO_computeDigest(data, 1, out, nullptr, DIGEST_SHA256), ERR_NULL_POINTER);
}

TEST(Sha256, NullContextOrDataIsRefusedEvenForZeroLength) {
    SHA256_CTX ctx;
    std::uint8_t out[32];
    EXPECT_EQ(SHA256_initDigest(nullptr), ERR_NULL_POINTER);
    ASSERT_EQ(SHA256_initDigest(&ctx), OK);
    EXPECT_EQ(SHA256_updateDigest(&ctx, nullptr, 0), ERR_NULL_POINTER);
    EXPECT_EQ(SHA256_updateDigest(nullptr, out, 0), ERR_NULL_POINTER);
    EXPECT_EQ(SHA256_finalDigest(&ctx, nullptr), ERR_NULL_POINTER);
    EXPECT_EQ(SHA256_finalDigest(nullptr, out), ERR_NULL_POINTER);
}

// Feeds the message in pieces of the given sizes (cycled) and compares with one update.
template <typename Ctx, typename Init, typename Update, typename Final>
void expectPiecewiseEqualsWhole(Init init, Update update, Final final, std::size_t digestSize) {
    std::vector<std::uint8_t> message(1000);
    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    Ctx whole;
    std::uint8_t expected[64];
    init(&whole);
    update(&whole, message.data(), static_cast<std::uint32_t>(message.size()));
    final(&whole, expected);

    const std::vector<std::vector<std::uint32_t>> schedules = {
        {1}, {0, 63}, {64}, {65}, {127, 1}, {3, 61, 200}, {129, 0, 128}};
    for (const auto& schedule : schedules) {
        Ctx ctx;
        init(&ctx);
        std::size_t pos = 0;
        for (std::size_t k = 0; pos < message.size(); ++k) {
            std::uint32_t n = schedule[k % schedule.size()];
            n = static_cast<std::uint32_t>(std::min<std::size_t>(n, message.size() - pos));
            ASSERT_EQ(update(&ctx, message.data() + pos, n), OK);
            pos += n;
        }
        std::uint8_t got[64];
        final(&ctx, got);
        EXPECT_EQ(toHex(got, digestSize), toHex(expected, digestSize))
            << "first piece " << schedule[0];
    }
}

TEST(PiecewiseUpdate, EqualsOneUpdateForEveryAlgorithm) {
    expectPiecewiseEqualsWhole<SHA256_CTX>(SHA256_initDigest, SHA256_updateDigest,
                                           SHA256_finalDigest, 32);
}

TEST(ComputeDigest, OpensslMadeSha256OfBufferPrefixes) {
    const auto data = readTestFile("vectors/sha.bin");
    const auto listing = readTestFile("vectors/sha256.txt");
    std::string text(listing.begin(), listing.end());
    std::size_t pos = 0;
    int checked = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        const std::size_t space = line.find(' ');
        const auto n = static_cast<std::size_t>(std::stoul(line.substr(0, space)));
        ASSERT_LE(n, data.size());
        EXPECT_EQ(
            digestHex(DIGEST_SHA256, std::vector<std::uint8_t>(data.begin(), data.begin() + n)),
            line.substr(space + 1))
            << n << " bytes";
        ++checked;
    }
    EXPECT_GT(checked, 10);
}
