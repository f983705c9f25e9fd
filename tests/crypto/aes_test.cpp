#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/aes.hpp"
#include "hex.hpp"
#include "test_data.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

AesContext context(const Bytes& key, bool encrypt, std::uint32_t mode) {
    AesContext ctx{};
    EXPECT_EQ(AES_initContext(&ctx, static_cast<std::int32_t>(key.size() * 8), key.data(),
                              encrypt ? 1 : 0, mode),
              OK);
    return ctx;
}

CryptoStatus crypt(const AesContext& ctx, bool encrypt, std::uint8_t* iv, const std::uint8_t* in,
                   std::size_t bits, std::uint8_t* out, std::int32_t* outBits) {
    const auto n = static_cast<std::int32_t>(bits);
    return encrypt ? AES_encryptBlocks(&ctx, iv, in, n, out, outBits)
                   : AES_decryptBlocks(&ctx, iv, in, n, out, outBits);
}

}  // namespace

// OpenSSL-made answers for one 1 KiB buffer. Each goes through whole (unaligned, with a partial
// block after it that stays untouched) and in place in two calls, where the vector left by the
// first carries the chain on.
TEST(Aes, KnownAnswersOfEveryKeySizeModeAndDirection) {
    const Bytes plain = readTestFile("vectors/aes.plain");
    const Bytes iv0 = readHexFile("vectors/aes.iv.hex");
    for (const std::string size : {"128", "192", "256"}) {
        const Bytes key = readHexFile("vectors/aes" + size + ".key.hex");
        for (const std::string mode : {"ecb", "cbc"}) {
            const Bytes cipher = readTestFile("vectors/aes" + size + "." + mode + ".cipher");
            const bool cbc = mode == "cbc";
            for (const bool encrypt : {true, false}) {
                const std::string what = size + " " + mode + (encrypt ? " encrypt" : " decrypt");
                const AesContext ctx = context(key, encrypt, cbc ? MODE_CBC : MODE_ECB);
                const Bytes& in = encrypt ? plain : cipher;
                const Bytes& expected = encrypt ? cipher : plain;
                Bytes source(in.size() + 16, 0x5A);
                for (std::size_t i = 0; i < in.size(); ++i) {
                    source[3 + i] = in[i];  // not std::copy: GCC 12 misreads its bounds here
                }
                Bytes out(in.size() + 14, 0xEE);
                Bytes iv = iv0;
                std::int32_t outBits = -1;
                ASSERT_EQ(crypt(ctx, encrypt, cbc ? iv.data() : nullptr, source.data() + 3,
                                in.size() * 8 + 100, out.data() + 1, &outBits),
                          OK)
                    << what;
                EXPECT_EQ(outBits, static_cast<std::int32_t>(in.size() * 8)) << what;
                EXPECT_EQ(Bytes(out.begin() + 1, out.end() - 13), expected) << what;
                EXPECT_EQ(Bytes(out.end() - 13, out.end()), Bytes(13, 0xEE)) << what;
                for (const std::size_t split : {16u, 1008u}) {
                    Bytes buffer = in;
                    iv = iv0;
                    ASSERT_EQ(crypt(ctx, encrypt, iv.data(), buffer.data(), split * 8,
                                    buffer.data(), &outBits),
                              OK);
                    ASSERT_EQ(crypt(ctx, encrypt, iv.data(), buffer.data() + split,
                                    (in.size() - split) * 8, buffer.data() + split, &outBits),
                              OK);
                    EXPECT_EQ(buffer, expected) << what << ", split after " << split;
                    EXPECT_EQ(iv, cbc ? Bytes(cipher.end() - 16, cipher.end()) : iv0) << what;
                }
                if (!cbc) {
                    std::uint8_t block[16];
                    const auto rounds = static_cast<std::int32_t>(ctx.rounds);
                    (encrypt ? AES_encryptBlock : AES_decryptBlock)(ctx.roundKeys, rounds,
                                                                    in.data(), block);
                    EXPECT_EQ(toHex(block, 16), toHex(expected.data(), 16)) << what;
                }
            }
        }
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

    const AesContext dec = context(key, false, MODE_CBC);
    const AesContext enc = context(key, true, MODE_CBC);
    const AesContext badMode = context(key, true, 3);
    const AesContext badModeDec = context(key, false, 3);
    struct Case {
        const char* what;
        const AesContext& ctx;
        bool encrypt;
        bool input;
        std::size_t bits;
        CryptoStatus status;
        std::int32_t outBits;
    };
    const Case cases[] = {
        {"encrypt with a decryption context", dec, true, true, 256, ERR_AES_BAD_DIRECTION, -1},
        {"decrypt with an encryption context", enc, false, true, 256, ERR_AES_BAD_DIRECTION, -1},
        {"encrypt in mode 3", badMode, true, true, 256, ERR_AES_BAD_MODE, -1},
        {"decrypt in mode 3", badModeDec, false, true, 256, ERR_AES_BAD_DIRECTION, 256},
        {"no input", enc, true, false, 256, ERR_NULL_POINTER, -1},
        {"zero bits, encrypt", enc, true, true, 0, OK, 0},
        {"zero bits, decrypt", dec, false, true, 0, OK, 0},
        {"fewer bits than a block", enc, true, true, 127, OK, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> data(32, 0x11);
        std::vector<std::uint8_t> iv(16, 0x22);
        std::int32_t outBits = -1;
        EXPECT_EQ(crypt(c.ctx, c.encrypt, iv.data(), c.input ? data.data() : nullptr, c.bits,
                        data.data(), &outBits),
                  c.status)
            << c.what;
        EXPECT_EQ(outBits, c.outBits) << c.what;
        EXPECT_EQ(data, std::vector<std::uint8_t>(32, 0x11)) << c.what;
        EXPECT_EQ(iv, std::vector<std::uint8_t>(16, 0x22)) << c.what;
    }
}
