#include "crypto/aes.hpp"

#include "aes_tables.hpp"
#include "bytes.hpp"

using namespace crypto_detail;

namespace {

constexpr std::uint32_t kRcon[10] = {0x01000000, 0x02000000, 0x04000000, 0x08000000, 0x10000000,
                                     0x20000000, 0x40000000, 0x80000000, 0x1B000000, 0x36000000};

std::int32_t roundsFor(std::int32_t bits) {
    return bits == 128 ? 10 : bits == 192 ? 12 : bits == 256 ? 14 : 0;
}

inline std::uint32_t subWord(std::uint32_t w) {
    const AesTable& s = kAes.sbox;
    return (s[w >> 24] & 0xFF000000u) ^ (s[(w >> 16) & 0xFF] & 0x00FF0000u) ^
           (s[(w >> 8) & 0xFF] & 0x0000FF00u) ^ (s[w & 0xFF] & 0x000000FFu);
}

// One encryption round from s into t with round key k.
#define AES_ENC_ROUND(t, s, k)                                                        \
    do {                                                                              \
        t##0 = te0[s##0 >> 24] ^ te1[(s##1 >> 16) & 0xFF] ^ te2[(s##2 >> 8) & 0xFF] ^ \
               te3[s##3 & 0xFF] ^ (k)[0];                                             \
        t##1 = te0[s##1 >> 24] ^ te1[(s##2 >> 16) & 0xFF] ^ te2[(s##3 >> 8) & 0xFF] ^ \
               te3[s##0 & 0xFF] ^ (k)[1];                                             \
        t##2 = te0[s##2 >> 24] ^ te1[(s##3 >> 16) & 0xFF] ^ te2[(s##0 >> 8) & 0xFF] ^ \
               te3[s##1 & 0xFF] ^ (k)[2];                                             \
        t##3 = te0[s##3 >> 24] ^ te1[(s##0 >> 16) & 0xFF] ^ te2[(s##1 >> 8) & 0xFF] ^ \
               te3[s##2 & 0xFF] ^ (k)[3];                                             \
    } while (0)

#define AES_DEC_ROUND(t, s, k)                                                        \
    do {                                                                              \
        t##0 = td0[s##0 >> 24] ^ td1[(s##3 >> 16) & 0xFF] ^ td2[(s##2 >> 8) & 0xFF] ^ \
               td3[s##1 & 0xFF] ^ (k)[0];                                             \
        t##1 = td0[s##1 >> 24] ^ td1[(s##0 >> 16) & 0xFF] ^ td2[(s##3 >> 8) & 0xFF] ^ \
               td3[s##2 & 0xFF] ^ (k)[1];                                             \
        t##2 = td0[s##2 >> 24] ^ td1[(s##1 >> 16) & 0xFF] ^ td2[(s##0 >> 8) & 0xFF] ^ \
               td3[s##3 & 0xFF] ^ (k)[2];                                             \
        t##3 = td0[s##3 >> 24] ^ td1[(s##2 >> 16) & 0xFF] ^ td2[(s##1 >> 8) & 0xFF] ^ \
               td3[s##0 & 0xFF] ^ (k)[3];                                             \
    } while (0)

inline std::uint32_t lastRound(const AesTable& s, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                               std::uint32_t d, std::uint32_t k) {
    return (s[a >> 24] & 0xFF000000u) ^ (s[(b >> 16) & 0xFF] & 0x00FF0000u) ^
           (s[(c >> 8) & 0xFF] & 0x0000FF00u) ^ (s[d & 0xFF] & 0x000000FFu) ^ k;
}

// Encrypts the four state words in place.
inline void encryptWords(const std::uint32_t* rk, std::int32_t rounds, std::uint32_t st[4]) {
    const std::uint32_t* te0 = kAes.te[0].data();
    const std::uint32_t* te1 = kAes.te[1].data();
    const std::uint32_t* te2 = kAes.te[2].data();
    const std::uint32_t* te3 = kAes.te[3].data();
    std::uint32_t s0 = st[0] ^ rk[0], s1 = st[1] ^ rk[1], s2 = st[2] ^ rk[2], s3 = st[3] ^ rk[3];
    std::uint32_t t0, t1, t2, t3;
    // Two rounds per pass; the last full round and the final round follow the loop.
    for (std::int32_t r = (rounds - 2) / 2; r > 0; --r) {
        AES_ENC_ROUND(t, s, rk + 4);
        AES_ENC_ROUND(s, t, rk + 8);
        rk += 8;
    }
    AES_ENC_ROUND(t, s, rk + 4);
    rk += 8;
    const AesTable& sb = kAes.sbox;
    st[0] = lastRound(sb, t0, t1, t2, t3, rk[0]);
    st[1] = lastRound(sb, t1, t2, t3, t0, rk[1]);
    st[2] = lastRound(sb, t2, t3, t0, t1, rk[2]);
    st[3] = lastRound(sb, t3, t0, t1, t2, rk[3]);
}

inline void decryptWords(const std::uint32_t* rk, std::int32_t rounds, std::uint32_t st[4]) {
    const std::uint32_t* td0 = kAes.td[0].data();
    const std::uint32_t* td1 = kAes.td[1].data();
    const std::uint32_t* td2 = kAes.td[2].data();
    const std::uint32_t* td3 = kAes.td[3].data();
    std::uint32_t s0 = st[0] ^ rk[0], s1 = st[1] ^ rk[1], s2 = st[2] ^ rk[2], s3 = st[3] ^ rk[3];
    std::uint32_t t0, t1, t2, t3;
    for (std::int32_t r = (rounds - 2) / 2; r > 0; --r) {
        AES_DEC_ROUND(t, s, rk + 4);
        AES_DEC_ROUND(s, t, rk + 8);
        rk += 8;
    }
    AES_DEC_ROUND(t, s, rk + 4);
    rk += 8;
    const AesTable& si = kAes.inverseSbox;
    st[0] = lastRound(si, t0, t3, t2, t1, rk[0]);
    st[1] = lastRound(si, t1, t0, t3, t2, rk[1]);
    st[2] = lastRound(si, t2, t1, t0, t3, rk[2]);
    st[3] = lastRound(si, t3, t2, t1, t0, rk[3]);
}

inline void loadBlock(std::uint32_t w[4], const std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        w[i] = loadBe32(p + 4 * i);
    }
}

inline void storeBlock(std::uint8_t* p, const std::uint32_t w[4]) {
    for (int i = 0; i < 4; ++i) {
        storeBe32(p + 4 * i, w[i]);
    }
}

}  // namespace

std::int32_t AES_expandEncryptKey(std::uint32_t roundKeys[60], const std::uint8_t* key,
                                  std::int32_t keyBits) {
    const std::int32_t rounds = roundsFor(keyBits);
    if (rounds == 0) {
        return 0;
    }
    const std::int32_t nk = keyBits / 32;
    const std::int32_t total = 4 * (rounds + 1);
    for (std::int32_t i = 0; i < nk; ++i) {
        roundKeys[i] = loadBe32(key + 4 * i);
    }
    for (std::int32_t i = nk; i < total; ++i) {
        std::uint32_t w = roundKeys[i - 1];
        if (i % nk == 0) {
            w = subWord((w << 8) | (w >> 24)) ^ kRcon[i / nk - 1];
        } else if (nk == 8 && i % nk == 4) {
            w = subWord(w);
        }
        roundKeys[i] = roundKeys[i - nk] ^ w;
    }
    return rounds;
}

std::int32_t AES_expandDecryptKey(std::uint32_t roundKeys[60], const std::uint8_t* key,
                                  std::int32_t keyBits) {
    const std::int32_t rounds = AES_expandEncryptKey(roundKeys, key, keyBits);
    if (rounds == 0) {
        return 0;
    }
    for (std::int32_t i = 0, j = 4 * rounds; i < j; i += 4, j -= 4) {
        for (int c = 0; c < 4; ++c) {
            std::uint32_t t = roundKeys[i + c];
            roundKeys[i + c] = roundKeys[j + c];
            roundKeys[j + c] = t;
        }
    }
    // InvMixColumns on the inner round keys: the S-box lookup cancels the inverse S-box
    // folded into the decryption tables.
    const AesTable& s = kAes.sbox;
    for (std::int32_t i = 4; i < 4 * rounds; ++i) {
        std::uint32_t w = roundKeys[i];
        roundKeys[i] = kAes.td[0][s[w >> 24] & 0xFF] ^ kAes.td[1][s[(w >> 16) & 0xFF] & 0xFF] ^
                       kAes.td[2][s[(w >> 8) & 0xFF] & 0xFF] ^ kAes.td[3][s[w & 0xFF] & 0xFF];
    }
    return rounds;
}

void AES_encryptBlock(const std::uint32_t* roundKeys, std::int32_t rounds, const std::uint8_t* in,
                      std::uint8_t* out) {
    std::uint32_t w[4];
    loadBlock(w, in);
    encryptWords(roundKeys, rounds, w);
    storeBlock(out, w);
}

void AES_decryptBlock(const std::uint32_t* roundKeys, std::int32_t rounds, const std::uint8_t* in,
                      std::uint8_t* out) {
    std::uint32_t w[4];
    loadBlock(w, in);
    decryptWords(roundKeys, rounds, w);
    storeBlock(out, w);
}

CryptoStatus AES_initContext(AesContext* ctx, std::int32_t keyBits, const std::uint8_t* key,
                             std::uint32_t direction, std::uint32_t mode) {
    if (ctx == nullptr || key == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (roundsFor(keyBits) == 0) {
        return ERR_AES_BAD_KEY_LENGTH;
    }
    ctx->mode = mode;
    ctx->keyBits = static_cast<std::uint32_t>(keyBits);
    ctx->direction = direction;
    ctx->rounds = static_cast<std::uint32_t>(
        direction != 0 ? AES_expandEncryptKey(ctx->roundKeys, key, keyBits)
                       : AES_expandDecryptKey(ctx->roundKeys, key, keyBits));
    return OK;
}

// The chaining value is kept as four big-endian words, so the XOR needs no byte access and no
// alignment, whatever the host's byte order.
CryptoStatus AES_encryptBlocks(const AesContext* ctx, std::uint8_t* iv, const std::uint8_t* in,
                               std::int32_t inBits, std::uint8_t* out, std::int32_t* outBits) {
    if (ctx == nullptr || in == nullptr || out == nullptr || outBits == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (ctx->direction == 0) {
        return ERR_AES_BAD_DIRECTION;
    }
    if (inBits < 1) {
        *outBits = 0;
        return OK;
    }
    if (ctx->mode != MODE_ECB && ctx->mode != MODE_CBC) {
        return ERR_AES_BAD_MODE;
    }
    if (ctx->mode == MODE_CBC && iv == nullptr) {
        return ERR_NULL_POINTER;
    }
    const std::int32_t blocks = inBits / 128;
    const auto rounds = static_cast<std::int32_t>(ctx->rounds);
    std::uint32_t w[4];
    if (ctx->mode == MODE_ECB) {
        for (std::int32_t b = 0; b < blocks; ++b, in += 16, out += 16) {
            loadBlock(w, in);
            encryptWords(ctx->roundKeys, rounds, w);
            storeBlock(out, w);
        }
    } else {
        std::uint32_t chain[4];
        loadBlock(chain, iv);
        for (std::int32_t b = 0; b < blocks; ++b, in += 16, out += 16) {
            loadBlock(w, in);
            for (int i = 0; i < 4; ++i) {
                w[i] ^= chain[i];
            }
            encryptWords(ctx->roundKeys, rounds, w);
            storeBlock(out, w);
            for (int i = 0; i < 4; ++i) {
                chain[i] = w[i];
            }
        }
        storeBlock(iv, chain);
    }
    *outBits = blocks * 128;
    return OK;
}

CryptoStatus AES_decryptBlocks(const AesContext* ctx, std::uint8_t* iv, const std::uint8_t* in,
                               std::int32_t inBits, std::uint8_t* out, std::int32_t* outBits) {
    if (ctx == nullptr || in == nullptr || out == nullptr || outBits == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (ctx->direction != 0) {
        return ERR_AES_BAD_DIRECTION;
    }
    if (inBits < 1) {
        *outBits = 0;
        return OK;
    }
    const std::int32_t blocks = inBits / 128;
    if (ctx->mode != MODE_ECB && ctx->mode != MODE_CBC) {
        *outBits = blocks * 128;
        return ERR_AES_BAD_DIRECTION;
    }
    if (ctx->mode == MODE_CBC && iv == nullptr) {
        return ERR_NULL_POINTER;
    }
    const auto rounds = static_cast<std::int32_t>(ctx->rounds);
    std::uint32_t w[4];
    if (ctx->mode == MODE_ECB) {
        for (std::int32_t b = 0; b < blocks; ++b, in += 16, out += 16) {
            loadBlock(w, in);
            decryptWords(ctx->roundKeys, rounds, w);
            storeBlock(out, w);
        }
    } else {
        std::uint32_t chain[4];
        std::uint32_t cipher[4];
        loadBlock(chain, iv);
        for (std::int32_t b = 0; b < blocks; ++b, in += 16, out += 16) {
            loadBlock(cipher, in);  // read before out is written: in place works
            for (int i = 0; i < 4; ++i) {
                w[i] = cipher[i];
            }
            decryptWords(ctx->roundKeys, rounds, w);
            for (int i = 0; i < 4; ++i) {
                w[i] ^= chain[i];
                chain[i] = cipher[i];
            }
            storeBlock(out, w);
        }
        storeBlock(iv, chain);
    }
    *outBits = blocks * 128;
    return OK;
}
