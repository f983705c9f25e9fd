// The library's random context: a CTR_DRBG (AES-256, no derivation function) fed from a 48-byte
// entropy depot. Start-up creates it and seeds it with 256 bits from /dev/urandom.
#pragma once

#include <cstdint>

#include "crypto/aes.hpp"
#include "crypto/platform.hpp"
#include "crypto/status.hpp"

constexpr std::uint32_t RANDOM_KIND_CTR_DRBG = 2;
constexpr std::int32_t RANDOM_SELECT_CTR_DRBG = 3;
constexpr std::uint32_t RANDOM_RESEED_BITS = 384;

struct RandomContext {
    std::uint32_t kind;
    std::uint32_t bitsSinceReseed;
    std::uint8_t key[32];
    std::uint8_t V[16];
    std::uint32_t reseedCounter;
    std::uint32_t keyLength;    // 32
    std::uint32_t blockLength;  // 16
    std::uint32_t seedLength;   // 48
    std::uint32_t useDerivationFunction;
    AesContext aes;  // encryption schedule of key
};

struct EntropyDepot {
    std::int32_t initialised;
    std::int32_t primed;
    PlatformMutex mutex;
    bool held;
    std::uint32_t bitPosition;  // 0..383
    std::uint32_t outputIndex;  // 0..48; 48 = used up
    std::uint8_t state[64];     // entropy and mixing act on the first 48 bytes
    std::uint8_t output[48];
};

CryptoStatus RANDOM_acquireContext(RandomContext** holder, std::int32_t selector);
CryptoStatus RANDOM_releaseContext(RandomContext** holder);
CryptoStatus RANDOM_addEntropyBit(RandomContext* ctx, std::uint8_t bit);
// 256 bits from the device, least significant bit of each native 32-bit word first.
CryptoStatus RANDOM_seedFromDevice(RandomContext* ctx, const char* path);
CryptoStatus RANDOM_seedFromUrandom(RandomContext* ctx);

CryptoStatus DEPOT_addEntropyBit(std::uint8_t bit);
CryptoStatus DEPOT_readBytes(std::uint8_t* dest, std::uint32_t count);
const EntropyDepot* DEPOT_state();
