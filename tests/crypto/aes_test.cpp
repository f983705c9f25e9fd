#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/aes.hpp"
#include "hex.hpp"
#include "test_data.hpp"
#include "wycheproof.hpp"

namespace {

AesContext context(const std::vector<std::uint8_t>& key, bool encrypt, std::uint32_t mode) {
    AesContext ctx{};
    EXPECT_EQ(AES_initContext(&ctx, static_cast<std::int32_t>(key.size() * 8), key.data(),
                              encrypt ? 1 : 0, mode),
              OK);
    return ctx;
}

std::vector<std::uint8_t> run(const AesContext& ctx, bool encrypt, std::vector<std::uint8_t> data,
                              std::uint8_t* iv) {
    std::int32_t outBits = -1;
    const auto bits = static_cast<std::int32_t>(data.size() * 8);
    CryptoStatus status =
        encrypt ? AES_encryptBlocks(&ctx, iv, data.data(), bits, data.data(), &outBits)
                : AES_decryptBlocks(&ctx, iv, data.data(), bits, data.data(), &outBits);
    EXPECT_EQ(status, OK);
    EXPECT_EQ(outBits, bits);
    return data;
}

}  // namespace

TEST(Aes, Fips197AppendixCExamples) {
    const std::string plain = "00112233445566778899aabbccddeeff";
    struct Case {
        const char* key;
        const char* cipher;
        std::uint32_t rounds;
    };
    const Case cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a", 10},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191",
         12},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089", 14},
    };
    for (const Case& c : cases) {
        AesContext enc = context(fromHex(c.key), true, MODE_ECB);
        AesContext dec = context(fromHex(c.key), false, MODE_ECB);
        EXPECT_EQ(enc.rounds, c.rounds);
        EXPECT_EQ(toHex(run(enc, true, fromHex(plain), nullptr)), c.cipher) << c.key;
        EXPECT_EQ(toHex(run(dec, false, fromHex(c.cipher), nullptr)), plain) << c.key;

        std::uint8_t block[16];
        const auto p = fromHex(plain);
        AES_encryptBlock(enc.roundKeys, static_cast<std::int32_t>(enc.rounds), p.data(), block);
        EXPECT_EQ(toHex(block, 16), c.cipher);
        AES_decryptBlock(dec.roundKeys, static_cast<std::int32_t>(dec.rounds), block, block);
        EXPECT_EQ(toHex(block, 16), plain);
    }
}

TEST(Aes, ArgumentChecksTouchNothing) {
    const auto key = fromHex("000102030405060708090a0b0c0d0e0f");
    AesContext ctx{};
    ctx.rounds = 77;
    EXPECT_EQ(AES_initContext(&ctx, 96, key.data(), 1, MODE_CBC), ERR_AES_BAD_KEY_LENGTH);
    EXPECT_EQ(ctx.rounds, 77u) << "a refused key leaves the context alone";
    EXPECT_EQ(AES_initContext(nullptr, 128, key.data(), 1, MODE_CBC), ERR_NULL_POINTER);
    EXPECT_EQ(AES_initContext(&ctx, 128, nullptr, 1, MODE_CBC), ERR_NULL_POINTER);
    std::uint32_t rk[60];
    EXPECT_EQ(AES_expandEncryptKey(rk, key.data(), 96), 0);
    EXPECT_EQ(AES_expandDecryptKey(rk, key.data(), 160), 0);

    AesContext dec = context(key, false, MODE_CBC);
    AesContext enc = context(key, true, MODE_CBC);
    AesContext badMode = context(key, true, 3);
    AesContext badModeDec = context(key, false, 3);
    std::vector<std::uint8_t> data(32, 0x11);
    std::vector<std::uint8_t> iv(16, 0x22);
    std::int32_t outBits = -1;
    struct Case {
        const char* what;
        CryptoStatus status;
        std::int32_t outBits;
    };
    auto check = [&](const Case& c, CryptoStatus got) {
        EXPECT_EQ(got, c.status) << c.what;
        EXPECT_EQ(outBits, c.outBits) << c.what;
        EXPECT_EQ(data, std::vector<std::uint8_t>(32, 0x11)) << c.what;
        EXPECT_EQ(iv, std::vector<std::uint8_t>(16, 0x22)) << c.what;
        outBits = -1;
    };
    check({"encrypt with a decryption context", ERR_AES_BAD_DIRECTION, -1},
          AES_encryptBlocks(&dec, iv.data(), data.data(), 256, data.data(), &outBits));
    check({"decrypt with an encryption context", ERR_AES_BAD_DIRECTION, -1},
          AES_decryptBlocks(&enc, iv.data(), data.data(), 256, data.data(), &outBits));
    check({"encrypt in mode 3", ERR_AES_BAD_MODE, -1},
          AES_encryptBlocks(&badMode, iv.data(), data.data(), 256, data.data(), &outBits));
    check({"decrypt in mode 3", ERR_AES_BAD_DIRECTION, 256},
          AES_decryptBlocks(&badModeDec, iv.data(), data.data(), 256, data.data(), &outBits));
    check({"no input", ERR_NULL_POINTER, -1},
          AES_encryptBlocks(&enc, iv.data(), nullptr, 256, data.data(), &outBits));
    check({"zero bits, encrypt", OK, 0},
          AES_encryptBlocks(&enc, iv.data(), data.data(), 0, data.data(), &outBits));
    check({"zero bits, decrypt", OK, 0},
          AES_decryptBlocks(&dec, iv.data(), data.data(), 0, data.data(), &outBits));
    check({"fewer bits than a block", OK, 0},
          AES_encryptBlocks(&enc, iv.data(), data.data(), 127, data.data(), &outBits));
}

TEST(Aes, PartialBlocksAreIgnoredAndEcbNeedsNoVector) {
    const auto key = fromHex("000102030405060708090a0b0c0d0e0f");
    AesContext ecb = context(key, true, MODE_ECB);
    std::vector<std::uint8_t> in(32, 0x5A), out(32, 0);
    std::int32_t outBits = 0;
    ASSERT_EQ(AES_encryptBlocks(&ecb, nullptr, in.data(), 200, out.data(), &outBits), OK);
    EXPECT_EQ(outBits, 128);
    EXPECT_NE(out[15], 0);
    EXPECT_EQ(std::count(out.begin() + 16, out.end(), 0), 16) << "the partial block is untouched";
}

TEST(Aes, CbcChainsAcrossCallsInBothDirections) {
    const auto key = fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    std::vector<std::uint8_t> plain(16 * 7);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<std::uint8_t>(i * 13);
    }
    const AesContext enc = context(key, true, MODE_CBC);
    const AesContext dec = context(key, false, MODE_CBC);
    const auto iv0 = fromHex("000102030405060708090a0b0c0d0e0f");
    auto iv = iv0;
    const auto whole = run(enc, true, plain, iv.data());
    const std::vector<std::uint8_t> lastBlock(whole.end() - 16, whole.end());
    EXPECT_EQ(iv, lastBlock);
    // Split after k blocks: the vector left by the first call carries the chain on.
    for (std::size_t k : {1u, 3u, 6u}) {
        for (const bool encrypt : {true, false}) {
            const auto& in = encrypt ? plain : whole;
            const AesContext& ctx = encrypt ? enc : dec;
            iv = iv0;
            auto out = run(ctx, encrypt, {in.begin(), in.begin() + 16 * k}, iv.data());
            const auto rest = run(ctx, encrypt, {in.begin() + 16 * k, in.end()}, iv.data());
            out.insert(out.end(), rest.begin(), rest.end());
            EXPECT_EQ(out, encrypt ? whole : plain) << "split after " << k << " blocks";
            EXPECT_EQ(iv, lastBlock);
        }
    }
    // Unaligned buffers give the same bytes.
    std::vector<std::uint8_t> shifted(plain.size() + 3);
    std::copy(plain.begin(), plain.end(), shifted.begin() + 3);
    std::vector<std::uint8_t> ivShifted(17);
    std::copy(iv0.begin(), iv0.end(), ivShifted.begin() + 1);
    std::int32_t outBits = 0;
    ASSERT_EQ(AES_encryptBlocks(&enc, ivShifted.data() + 1, shifted.data() + 3,
                                static_cast<std::int32_t>(plain.size() * 8), shifted.data() + 3,
                                &outBits),
              OK);
    EXPECT_EQ(std::vector<std::uint8_t>(shifted.begin() + 3, shifted.end()), whole);
}

TEST(Aes, WycheproofCbcVectorsDecryptToPlaintextAndPadding) {
    int checked = 0;
    for (const auto& c : wycheproof::read(testDataPath("wycheproof/aes_cbc_pkcs5_test.json"))) {
        const auto k = fromHex(c.at("key"));
        const auto ct = fromHex(c.at("ct"));
        auto iv = fromHex(c.at("iv"));
        if (iv.size() != 16 || ct.empty() || ct.size() % 16 != 0) {
            continue;  // not a whole-block ciphertext: nothing for the block operations
        }
        auto m = fromHex(c.at("msg"));
        const std::size_t pad = 16 - m.size() % 16;
        m.insert(m.end(), pad, static_cast<std::uint8_t>(pad));
        const auto p = run(context(k, false, MODE_CBC), false, ct, iv.data());
        if (c.at("result") == "valid") {
            EXPECT_EQ(toHex(p), toHex(m)) << "tcId " << c.at("tcId");
            iv = fromHex(c.at("iv"));
            EXPECT_EQ(run(context(k, true, MODE_CBC), true, m, iv.data()), ct)
                << "tcId " << c.at("tcId");
        } else {
            // Invalid vectors are bad paddings: what comes out is not plaintext + padding.
            EXPECT_NE(toHex(p), toHex(m)) << "tcId " << c.at("tcId");
        }
        ++checked;
    }
    EXPECT_GT(checked, 150);
}
