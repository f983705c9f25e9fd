#include "crypto/md5.hpp"

#include <cstddef>

#include "bytes.hpp"
#include "crypto/mem.hpp"
#include "md_engine.hpp"

using namespace crypto_detail;

namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr unsigned kShift[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void compress(std::uint32_t H[4], const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t X[16];
    for (; blocks > 0; --blocks, data += 64) {
        for (int i = 0; i < 16; ++i) {
            X[i] = loadLe32(data + 4 * i);
        }
        std::uint32_t a = H[0], b = H[1], c = H[2], d = H[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f;
            int g;
            int round = i / 16;
            if (round == 0) {
                f = d ^ (b & (c ^ d));
                g = i;
            } else if (round == 1) {
                f = c ^ (d & (b ^ c));
                g = (5 * i + 1) & 15;
            } else if (round == 2) {
                f = b ^ c ^ d;
                g = (3 * i + 5) & 15;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) & 15;
            }
            std::uint32_t t = d;
            d = c;
            c = b;
            b = b + rotl32(a + f + kSine[i] + X[g], kShift[round][i & 3]);
            a = t;
        }
        H[0] += a;
        H[1] += b;
        H[2] += c;
        H[3] += d;
    }
}

CryptoStatus MD5_initDigest(MD5_CTX* ctx) {
    if (ctx == nullptr) {
        return ERR_NULL_POINTER;
    }
    ctx->H[0] = 0x67452301;
    ctx->H[1] = 0xefcdab89;
    ctx->H[2] = 0x98badcfe;
    ctx->H[3] = 0x10325476;
    ctx->lengthHigh = 0;
    ctx->lengthLow = 0;
    ctx->bufferedCount = 0;
    return OK;
}

CryptoStatus MD5_updateDigest(MD5_CTX* ctx, const std::uint8_t* data, std::uint32_t length) {
    return mdUpdate(ctx, data, length, compress);
}

CryptoStatus MD5_finalDigest(MD5_CTX* ctx, std::uint8_t* output) {
    if (ctx == nullptr || output == nullptr) {
        return ERR_NULL_POINTER;
    }
    mdPad(ctx, compress, false, 8);
    for (int i = 0; i < 4; ++i) {
        storeLe32(output + 4 * i, ctx->H[i]);
    }
    return OK;
}

}  // namespace

CryptoStatus MD5_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                std::uint8_t* output) {
    MD5_CTX ctx;
    MD5_initDigest(&ctx);
    CryptoStatus status = MD5_updateDigest(&ctx, data, length);
    if (status == OK) {
        status = MD5_finalDigest(&ctx, output);
    }
    MEM_set(&ctx, 0, sizeof ctx);
    return status;
}
