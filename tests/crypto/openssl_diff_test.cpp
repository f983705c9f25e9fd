// Differential tests against OpenSSL's libcrypto (host builds only).
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/digest.hpp"
#include "crypto/vlong.hpp"
#include "hex.hpp"
#include "vlong_helpers.hpp"

namespace {

struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

Bn toBn(const std::vector<std::uint8_t>& bytes) {
    return Bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

std::vector<std::uint8_t> fromBn(const BIGNUM* b) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(BN_num_bytes(b)));
    BN_bn2bin(b, out.data());
    return out;
}

}  // namespace

// In one call; the pieces of a stream are digest_test's, whose OpenSSL-made answers run everywhere.
TEST(OpensslSha256, RandomLengthsUpTo70000AndSixteenMebibytes) {
    std::mt19937 rng(11);
    std::vector<std::uint8_t> data = randomBytes(rng, 16u << 20);
    std::vector<std::uint32_t> lengths = {0, 1, 55, 56, 63, 64, 65, 127, 128, 70000, 16u << 20};
    for (int i = 0; i < 150; ++i) {
        lengths.push_back(rng() % 70001);
    }
    for (std::uint32_t n : lengths) {
        std::uint8_t ours[64];
        std::uint32_t len = 0;
        ASSERT_EQ(CRYPTO_computeDigest(data.data(), n, ours, &len, DIGEST_SHA256), OK);
        std::uint8_t theirs[32];
        ASSERT_EQ(EVP_Digest(data.data(), n, theirs, nullptr, EVP_sha256(), nullptr), 1);
        EXPECT_EQ(toHex(ours, 32), toHex(theirs, 32)) << "length " << n;
    }
}

TEST(OpensslModexp, RandomModuliEvenAndOddWithBasesAboveTheModulus) {
    std::mt19937 rng(13);
    BN_CTX* ctx = BN_CTX_new();
    vlong* pool = nullptr;
    const std::size_t bitSizes[] = {512, 1024, 1536, 2048, 3072, 4096};
    for (std::size_t bits : bitSizes) {
        for (int round = 0; round < 6; ++round) {
            auto mb = randomBytes(rng, bits / 8);
            mb[0] |= 0x80;
            mb.back() = round % 2 == 0 ? mb.back() | 1 : mb.back() & 0xFE;
            // Bases: below, equal-length, and longer than the modulus (up to twice and beyond).
            std::size_t baseLen =
                bits / 8 + (round >= 4 ? bits / 8 + 5 : static_cast<std::size_t>(round));
            auto bb = randomBytes(rng, baseLen);
            // Exponents: 65537, a full-length one for the smaller moduli, else a few bytes.
            const auto eb = round == 0                   ? fromHex("010001")
                            : round == 1 && bits <= 1024 ? randomBytes(rng, bits / 8)
                                                         : randomBytes(rng, 1 + rng() % 8);
            Bn m = toBn(mb), b = toBn(bb), e = toBn(eb);
            Bn r(BN_new());
            ASSERT_TRUE(BN_mod_exp(r.get(), b.get(), e.get(), m.get(), ctx));

            Vlong vm(mb), vb(bb), ve(eb), out;
            ASSERT_EQ(VLONG_modexp(vb.get(), ve.get(), vm.get(), out.holder(), &pool), OK);
            EXPECT_EQ(out.hexString(), toHex(fromBn(r.get()))) << bits << " bits, round " << round;
        }
    }
    VLONG_freeVlongQueue(&pool);
    BN_CTX_free(ctx);
}

TEST(OpensslDivide, RandomOperands) {
    std::mt19937 rng(14);
    BN_CTX* ctx = BN_CTX_new();
    for (int round = 0; round < 200; ++round) {
        auto nb = randomBytes(rng, 1 + rng() % 600);
        auto db = randomBytes(rng, 1 + rng() % 300);
        if (db[0] == 0 || round % 5 == 0) {
            db[0] = 1;  // divisors with a small top unit need the most normalisation
        }
        Bn n = toBn(nb), d = toBn(db), q(BN_new()), r(BN_new());
        ASSERT_TRUE(BN_div(q.get(), r.get(), n.get(), d.get(), ctx));
        Vlong vn(nb), vd(db), vq = Vlong::empty(), vr = Vlong::empty();
        ASSERT_EQ(VLONG_unsignedDivide(vq.get(), vn.get(), vd.get(), vr.get(), nullptr), OK);
        EXPECT_EQ(vq.hexString(), toHex(fromBn(q.get()))) << round;
        EXPECT_EQ(vr.hexString(), toHex(fromBn(r.get()))) << round;
    }
    BN_CTX_free(ctx);
}

namespace {

std::vector<std::uint8_t> opensslAes(const std::vector<std::uint8_t>& key, bool cbc, bool encrypt,
                                     const std::vector<std::uint8_t>& iv,
                                     const std::vector<std::uint8_t>& in) {
    const std::string name = "aes-" + std::to_string(key.size() * 8) + (cbc ? "-cbc" : "-ecb");
    const EVP_CIPHER* cipher = EVP_get_cipherbyname(name.c_str());
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), cbc ? iv.data() : nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<std::uint8_t> out(in.size() + 16);
    int n = 0, tail = 0;
    EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
    EVP_CipherFinal_ex(ctx, out.data() + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

}  // namespace

TEST(OpensslAes, RandomKeysAndBuffersEveryModeAndDirection) {
    std::mt19937 rng(15);
    for (int round = 0; round < 120; ++round) {
        const std::size_t keySize = 16 + 8 * (round % 3);
        const bool cbc = (round / 3) % 2 == 1;
        const bool encrypt = (round / 6) % 2 == 0;
        const bool inPlace = (round / 12) % 2 == 0;
        const auto key = randomBytes(rng, keySize);
        const auto iv = randomBytes(rng, 16);
        const auto in = randomBytes(rng, 16 * (1 + rng() % 64));
        const auto expected = opensslAes(key, cbc, encrypt, iv, in);

        AesContext ctx{};
        ASSERT_EQ(AES_initContext(&ctx, static_cast<std::int32_t>(keySize * 8), key.data(),
                                  encrypt ? 1 : 0, cbc ? MODE_CBC : MODE_ECB),
                  OK);
        auto ourIv = iv;
        std::vector<std::uint8_t> buffer = in;
        std::vector<std::uint8_t> separate(in.size());
        std::uint8_t* out = inPlace ? buffer.data() : separate.data();
        std::int32_t outBits = 0;
        const auto bits = static_cast<std::int32_t>(in.size() * 8);
        ASSERT_EQ(encrypt
                      ? AES_encryptBlocks(&ctx, ourIv.data(), buffer.data(), bits, out, &outBits)
                      : AES_decryptBlocks(&ctx, ourIv.data(), buffer.data(), bits, out, &outBits),
                  OK);
        EXPECT_EQ(toHex(out, in.size()), toHex(expected))
            << keySize * 8 << (cbc ? " CBC" : " ECB") << (encrypt ? " encrypt" : " decrypt")
            << (inPlace ? " in place" : "");
    }
}
