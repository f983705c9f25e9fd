#include "crypto/sha256.hpp"

#include <cstddef>

#include "bytes.hpp"
#include "crypto/mem.hpp"
#include "md_engine.hpp"

using namespace crypto_detail;

namespace {

constexpr std::uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t kInit256[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr std::uint32_t kInit224[8] = {0xc1059ed8, 0x367cd507, 0x3070dd17, 0xf70e5939,
                                       0xffc00b31, 0x68581511, 0x64f98fa7, 0xbefa4fa4};

// Written as nested rotations, each rotating the previous result: one register copy each
// instead of one per rotation.
inline std::uint32_t bigSigma0(std::uint32_t x) {
    return rotr32(rotr32(rotr32(x, 9) ^ x, 11) ^ x, 2);  // rotr 2 ^ rotr 13 ^ rotr 22
}
inline std::uint32_t bigSigma1(std::uint32_t x) {
    return rotr32(rotr32(rotr32(x, 14) ^ x, 5) ^ x, 6);  // rotr 6 ^ rotr 11 ^ rotr 25
}
inline std::uint32_t smallSigma0(std::uint32_t x) {
    return rotr32(rotr32(x, 11) ^ x, 7) ^ (x >> 3);  // rotr 7 ^ rotr 18 ^ shr 3
}
inline std::uint32_t smallSigma1(std::uint32_t x) {
    return rotr32(rotr32(x, 2) ^ x, 17) ^ (x >> 10);  // rotr 17 ^ rotr 19 ^ shr 10
}

// One round with the working variables renamed instead of moved: d and h are updated in place.
// Maj(a, b, c) = b ^ ((a ^ b) & (b ^ c)), and this round's a ^ b is the next round's b ^ c: bc
// carries it from round to round.
#define SHA256_ROUND(a, b, c, d, e, f, g, h, k, w)                                       \
    do {                                                                                 \
        std::uint32_t t1 = (h) + bigSigma1(e) + ((g) ^ ((e) & ((f) ^ (g)))) + (k) + (w); \
        std::uint32_t ab = (a) ^ (b);                                                    \
        std::uint32_t t2 = bigSigma0(a) + ((b) ^ (ab & bc));                             \
        bc = ab;                                                                         \
        (d) += t1;                                                                       \
        (h) = t1 + t2;                                                                   \
    } while (0)

// Message word t of the schedule, computed in place in the 16-word window just before use.
#define SHA256_W(t) \
    (W[(t)&15] += smallSigma1(W[((t)-2) & 15]) + W[((t)-7) & 15] + smallSigma0(W[((t)-15) & 15]))

void compress(std::uint32_t H[8], const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t W[16];
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t a = H[0], b = H[1], c = H[2], d = H[3];
        std::uint32_t e = H[4], f = H[5], g = H[6], h = H[7];
        std::uint32_t bc = b ^ c;
        for (int i = 0; i < 16; i += 8) {
            for (int j = 0; j < 8; ++j) {
                W[i + j] = loadBe32(data + 4 * (i + j));
            }
            SHA256_ROUND(a, b, c, d, e, f, g, h, K[i + 0], W[i + 0]);
            SHA256_ROUND(h, a, b, c, d, e, f, g, K[i + 1], W[i + 1]);
            SHA256_ROUND(g, h, a, b, c, d, e, f, K[i + 2], W[i + 2]);
            SHA256_ROUND(f, g, h, a, b, c, d, e, K[i + 3], W[i + 3]);
            SHA256_ROUND(e, f, g, h, a, b, c, d, K[i + 4], W[i + 4]);
            SHA256_ROUND(d, e, f, g, h, a, b, c, K[i + 5], W[i + 5]);
            SHA256_ROUND(c, d, e, f, g, h, a, b, K[i + 6], W[i + 6]);
            SHA256_ROUND(b, c, d, e, f, g, h, a, K[i + 7], W[i + 7]);
        }
        // Sixteen rounds a pass, so that every window index is a constant.
        for (int i = 16; i < 64; i += 16) {
            SHA256_ROUND(a, b, c, d, e, f, g, h, K[i + 0], SHA256_W(i + 0));
            SHA256_ROUND(h, a, b, c, d, e, f, g, K[i + 1], SHA256_W(i + 1));
            SHA256_ROUND(g, h, a, b, c, d, e, f, K[i + 2], SHA256_W(i + 2));
            SHA256_ROUND(f, g, h, a, b, c, d, e, K[i + 3], SHA256_W(i + 3));
            SHA256_ROUND(e, f, g, h, a, b, c, d, K[i + 4], SHA256_W(i + 4));
            SHA256_ROUND(d, e, f, g, h, a, b, c, K[i + 5], SHA256_W(i + 5));
            SHA256_ROUND(c, d, e, f, g, h, a, b, K[i + 6], SHA256_W(i + 6));
            SHA256_ROUND(b, c, d, e, f, g, h, a, K[i + 7], SHA256_W(i + 7));
            SHA256_ROUND(a, b, c, d, e, f, g, h, K[i + 8], SHA256_W(i + 8));
            SHA256_ROUND(h, a, b, c, d, e, f, g, K[i + 9], SHA256_W(i + 9));
            SHA256_ROUND(g, h, a, b, c, d, e, f, K[i + 10], SHA256_W(i + 10));
            SHA256_ROUND(f, g, h, a, b, c, d, e, K[i + 11], SHA256_W(i + 11));
            SHA256_ROUND(e, f, g, h, a, b, c, d, K[i + 12], SHA256_W(i + 12));
            SHA256_ROUND(d, e, f, g, h, a, b, c, K[i + 13], SHA256_W(i + 13));
            SHA256_ROUND(c, d, e, f, g, h, a, b, K[i + 14], SHA256_W(i + 14));
            SHA256_ROUND(b, c, d, e, f, g, h, a, K[i + 15], SHA256_W(i + 15));
        }
        H[0] += a;
        H[1] += b;
        H[2] += c;
        H[3] += d;
        H[4] += e;
        H[5] += f;
        H[6] += g;
        H[7] += h;
    }
}

CryptoStatus init(SHA256_CTX* ctx, const std::uint32_t (&iv)[8]) {
    if (ctx == nullptr) {
        return ERR_NULL_POINTER;
    }
    for (int i = 0; i < 8; ++i) {
        ctx->H[i] = iv[i];
    }
    ctx->lengthHigh = 0;
    ctx->lengthLow = 0;
    ctx->bufferedCount = 0;
    return OK;
}

CryptoStatus finish(SHA256_CTX* ctx, std::uint8_t* output, int words) {
    if (ctx == nullptr || output == nullptr) {
        return ERR_NULL_POINTER;
    }
    mdPad(ctx, compress, true, 8);
    for (int i = 0; i < words; ++i) {
        storeBe32(output + 4 * i, ctx->H[i]);
    }
    return OK;
}

CryptoStatus oneShot(const std::uint8_t* data, std::uint32_t length, std::uint8_t* output,
                     const std::uint32_t (&iv)[8], int words) {
    SHA256_CTX ctx;
    init(&ctx, iv);
    CryptoStatus status = SHA256_updateDigest(&ctx, data, length);
    if (status == OK) {
        status = finish(&ctx, output, words);
    }
    MEM_set(&ctx, 0, sizeof ctx);
    return status;
}

}  // namespace

CryptoStatus SHA256_initDigest(SHA256_CTX* ctx) {
    return init(ctx, kInit256);
}

CryptoStatus SHA256_updateDigest(SHA256_CTX* ctx, const std::uint8_t* data, std::uint32_t length) {
    return mdUpdate(ctx, data, length, compress);
}

CryptoStatus SHA256_finalDigest(SHA256_CTX* ctx, std::uint8_t* output) {
    return finish(ctx, output, 8);
}

CryptoStatus SHA256_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output) {
    return oneShot(data, length, output, kInit256, 8);
}

CryptoStatus SHA224_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output) {
    return oneShot(data, length, output, kInit224, 7);
}
