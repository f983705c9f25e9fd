// AES (128/192/256-bit keys) with four 32-bit round tables per direction and the equivalent
// inverse cipher; ECB and CBC over whole 16-byte blocks. State words are big-endian columns.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

constexpr std::uint32_t MODE_ECB = 1;
constexpr std::uint32_t MODE_CBC = 2;
constexpr std::uint32_t AES_BLOCK_SIZE = 16;

struct AesContext {
    std::uint32_t direction;  // non-zero: encryption context
    std::uint32_t mode;
    std::uint32_t keyBits;
    std::uint32_t rounds;
    std::uint32_t roundKeys[60];  // 4 * (rounds + 1) used; the inverse schedule for decryption
};

// Both return the round count (10, 12, 14), or 0 for an unsupported key size.
std::int32_t AES_expandEncryptKey(std::uint32_t roundKeys[60], const std::uint8_t* key,
                                  std::int32_t keyBits);
std::int32_t AES_expandDecryptKey(std::uint32_t roundKeys[60], const std::uint8_t* key,
                                  std::int32_t keyBits);
void AES_encryptBlock(const std::uint32_t* roundKeys, std::int32_t rounds, const std::uint8_t* in,
                      std::uint8_t* out);
void AES_decryptBlock(const std::uint32_t* roundKeys, std::int32_t rounds, const std::uint8_t* in,
                      std::uint8_t* out);

CryptoStatus AES_initContext(AesContext* ctx, std::int32_t keyBits, const std::uint8_t* key,
                             std::uint32_t direction, std::uint32_t mode);
// Lengths are in bits; a trailing part of a block is ignored. In CBC the vector is updated to
// the last ciphertext block. Input and output may be the same buffer.
CryptoStatus AES_encryptBlocks(const AesContext* ctx, std::uint8_t* iv, const std::uint8_t* in,
                               std::int32_t inBits, std::uint8_t* out, std::int32_t* outBits);
CryptoStatus AES_decryptBlocks(const AesContext* ctx, std::uint8_t* iv, const std::uint8_t* in,
                               std::int32_t inBits, std::uint8_t* out, std::int32_t* outBits);
