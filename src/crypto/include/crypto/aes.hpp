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

// Expand a 128-, 192- or 256-bit key into 4 * (rounds + 1) words of roundKeys: the encryption
// schedule, or the inverse one for the equivalent inverse cipher. Both return the round count
// (10, 12, 14), or 0 for an unsupported key size with roundKeys untouched. Nothing is checked
// for null.
std::int32_t AES_expandEncryptKey(std::uint32_t roundKeys[60], const std::uint8_t* key,
                                  std::int32_t keyBits);
std::int32_t AES_expandDecryptKey(std::uint32_t roundKeys[60], const std::uint8_t* key,
                                  std::int32_t keyBits);
// One 16-byte block with a schedule from the matching expand call; in and out may be the same.
void AES_encryptBlock(const std::uint32_t* roundKeys, std::int32_t rounds, const std::uint8_t* in,
                      std::uint8_t* out);
void AES_decryptBlock(const std::uint32_t* roundKeys, std::int32_t rounds, const std::uint8_t* in,
                      std::uint8_t* out);

// Fills ctx with the schedule for direction (non-zero: encryption). The mode is stored as given
// and checked only when used. ERR_NULL_POINTER, ERR_AES_BAD_KEY_LENGTH (ctx untouched). The
// context holds the expanded key and is never wiped here: that is the caller's job.
CryptoStatus AES_initContext(AesContext* ctx, std::int32_t keyBits, const std::uint8_t* key,
                             std::uint32_t direction, std::uint32_t mode);
// Lengths are in bits; *outBits gets the whole blocks processed and a trailing part of a block
// is ignored. In CBC the vector (16 bytes) is updated to the last ciphertext block. Input and
// output may be the same buffer. ERR_NULL_POINTER (iv only checked in CBC),
// ERR_AES_BAD_DIRECTION for a context of the other direction. An inBits below 1 gives OK and
// *outBits = 0 before the mode is checked. A bad mode is ERR_AES_BAD_MODE when encrypting but
// ERR_AES_BAD_DIRECTION when decrypting, which also sets *outBits as if done; nothing is
// written either way.
CryptoStatus AES_encryptBlocks(const AesContext* ctx, std::uint8_t* iv, const std::uint8_t* in,
                               std::int32_t inBits, std::uint8_t* out, std::int32_t* outBits);
CryptoStatus AES_decryptBlocks(const AesContext* ctx, std::uint8_t* iv, const std::uint8_t* in,
                               std::int32_t inBits, std::uint8_t* out, std::int32_t* outBits);
