#include "pkcs1_exact.hpp"

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "crypto/vlong.hpp"

namespace {

constexpr std::size_t kHashSize = 32;

// DigestInfo prefixes for SHA-256 (RFC 8017, 9.2 note 1), the second without the NULL.
constexpr std::array<std::uint8_t, 19> kPrefixWithNull = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60,
                                                          0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
                                                          0x01, 0x05, 0x00, 0x04, 0x20};
constexpr std::array<std::uint8_t, 17> kPrefixWithoutNull = {0x30, 0x2f, 0x30, 0x0b, 0x06, 0x09,
                                                             0x60, 0x86, 0x48, 0x01, 0x65, 0x03,
                                                             0x04, 0x02, 0x01, 0x04, 0x20};

// OR of the differences between block and the encoding of hash under prefix: 0 when equal.
template <std::size_t N>
unsigned encoding_difference(std::span<const std::uint8_t> block,
                             const std::array<std::uint8_t, N>& prefix, const std::uint8_t* hash) {
    const std::size_t k = block.size();
    const std::size_t separator = k - N - kHashSize - 1;
    unsigned diff = block[0] ^ 0x00U;
    diff |= block[1] ^ 0x01U;
    for (std::size_t i = 2; i < separator; ++i) {
        diff |= block[i] ^ 0xFFU;
    }
    diff |= block[separator];
    for (std::size_t i = 0; i < N; ++i) {
        diff |= block[separator + 1 + i] ^ prefix[i];
    }
    for (std::size_t i = 0; i < kHashSize; ++i) {
        diff |= block[separator + 1 + N + i] ^ hash[i];
    }
    return diff;
}

// 1 when a < b as big-endian numbers of the same width.
unsigned less_than(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    unsigned less = 0;
    unsigned decided = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned x = a[i];
        const unsigned y = b[i];
        const unsigned lt = ((x - y) >> 8) & 1U;
        const unsigned ne = ((x ^ y) + 0xFFU) >> 8;
        less |= lt & ~decided;
        decided |= ne;
    }
    return less & 1U;
}

// m = s^e mod n as exactly k bytes; the modulus as k bytes too.
CryptoStatus open_signature(const RSAKey* key, const std::uint8_t* signature, std::int32_t k,
                            std::vector<std::uint8_t>& block, std::vector<std::uint8_t>& modulus) {
    vlong* pool = nullptr;
    vlong* s = nullptr;
    vlong* m = nullptr;
    CryptoStatus status = VLONG_vlongFromByteString(signature, k, &s, &pool);
    if (status == OK) {
        status = VLONG_modexp(s, key->e, key->n, &m, &pool);
    }
    std::int32_t width = k;
    if (status == OK) {
        status = VLONG_byteStringFromVlong(m, block.data(), &width);
    }
    width = k;
    if (status == OK) {
        status = VLONG_byteStringFromVlong(key->n, modulus.data(), &width);
    }
    if (s != nullptr) {
        VLONG_freeVlong(&s, &pool);
    }
    if (m != nullptr) {
        VLONG_freeVlong(&m, &pool);
    }
    VLONG_freeVlongQueue(&pool);
    return status;
}

}  // namespace

CryptoStatus pkcs1_sha256_exact(const RSAKey* key, const std::uint8_t* hash,
                                std::int32_t hashLength, const std::uint8_t* signature,
                                std::int32_t signatureLength) {
    std::int32_t k = 0;
    CryptoStatus status = RSA_getCipherTextLength(key, &k);
    if (status < 0) {
        return status;
    }
    // The shortest block: 00 01, eight FF, 00, the longer DigestInfo.
    constexpr std::int32_t kShortest = 11 + kPrefixWithNull.size() + kHashSize;
    if (hashLength != static_cast<std::int32_t>(kHashSize) || signatureLength != k ||
        k < kShortest) {
        return ERR_RSA_SIGNATURE_MISMATCH;
    }
    const auto size = static_cast<std::size_t>(k);
    std::vector<std::uint8_t> block(size);
    std::vector<std::uint8_t> modulus(size);
    status = open_signature(key, signature, k, block, modulus);
    if (status < 0) {
        return status;
    }
    const unsigned below = less_than({signature, size}, modulus);
    const unsigned with_null = encoding_difference(block, kPrefixWithNull, hash);
    const unsigned without_null = encoding_difference(block, kPrefixWithoutNull, hash);
    const unsigned matches = ((with_null - 1U) >> 8 | (without_null - 1U) >> 8) & 1U;
    return (below & matches) != 0 ? OK : ERR_RSA_SIGNATURE_MISMATCH;
}
