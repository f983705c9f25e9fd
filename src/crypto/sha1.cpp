#include "crypto/sha1.hpp"

#include <cstddef>

#include "bytes.hpp"
#include "crypto/mem.hpp"
#include "md_engine.hpp"

using namespace crypto_detail;

namespace {

void compress(std::uint32_t H[5], const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t W[80];
    for (; blocks > 0; --blocks, data += 64) {
        for (int i = 0; i < 16; ++i) {
            W[i] = loadBe32(data + 4 * i);
        }
        for (int i = 16; i < 80; ++i) {
            W[i] = rotl32(W[i - 3] ^ W[i - 8] ^ W[i - 14] ^ W[i - 16], 1);
        }
        std::uint32_t a = H[0], b = H[1], c = H[2], d = H[3], e = H[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f, k;
            if (i < 20) {
                f = d ^ (b & (c ^ d));
                k = 0x5a827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ed9eba1;
            } else if (i < 60) {
                f = (b & c) | (d & (b | c));
                k = 0x8f1bbcdc;
            } else {
                f = b ^ c ^ d;
                k = 0xca62c1d6;
            }
            std::uint32_t t = rotl32(a, 5) + f + e + k + W[i];
            e = d;
            d = c;
            c = rotl32(b, 30);
            b = a;
            a = t;
        }
        H[0] += a;
        H[1] += b;
        H[2] += c;
        H[3] += d;
        H[4] += e;
    }
}

CryptoStatus SHA1_initDigest(SHA1_CTX* ctx) {
    if (ctx == nullptr) {
        return ERR_NULL_POINTER;
    }
    constexpr std::uint32_t iv[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    for (int i = 0; i < 5; ++i) {
        ctx->H[i] = iv[i];
    }
    ctx->lengthHigh = 0;
    ctx->lengthLow = 0;
    ctx->bufferedCount = 0;
    return OK;
}

CryptoStatus SHA1_updateDigest(SHA1_CTX* ctx, const std::uint8_t* data, std::uint32_t length) {
    return mdUpdate(ctx, data, length, compress);
}

CryptoStatus SHA1_finalDigest(SHA1_CTX* ctx, std::uint8_t* output) {
    if (ctx == nullptr || output == nullptr) {
        return ERR_NULL_POINTER;
    }
    mdPad(ctx, compress, true, 8);
    for (int i = 0; i < 5; ++i) {
        storeBe32(output + 4 * i, ctx->H[i]);
    }
    return OK;
}

}  // namespace

void SHA1_compressBlock(std::uint32_t state[5], const std::uint8_t* block) {
    compress(state, block, 1);
}

CryptoStatus SHA1_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                 std::uint8_t* output) {
    SHA1_CTX ctx;
    SHA1_initDigest(&ctx);
    CryptoStatus status = SHA1_updateDigest(&ctx, data, length);
    if (status == OK) {
        status = SHA1_finalDigest(&ctx, output);
    }
    MEM_set(&ctx, 0, sizeof ctx);
    return status;
}
