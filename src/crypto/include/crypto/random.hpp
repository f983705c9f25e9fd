// The library's random context: a CTR_DRBG (AES-256, no derivation function) fed from a 48-byte
// entropy depot. Start-up creates it and feeds it 256 bits from /dev/urandom. The depot is
// process-wide and set up on first use; its mutex is a token (one thread only), its held flag
// catches re-entry. Nothing here draws output from the DRBG.
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

// A new context (PLATFORM_malloc) in *holder, instantiated from 48 depot bytes. selector must be
// RANDOM_SELECT_CTR_DRBG: anything else, like a null holder, is ERR_NULL_POINTER. Also the
// depot's mutex statuses, ERR_MEM_ALLOC_FAIL; *holder untouched on failure. The seed is wiped.
CryptoStatus RANDOM_acquireContext(RandomContext** holder, std::int32_t selector);
// Adds one bit (any non-zero value is 1) to the depot; every RANDOM_RESEED_BITS bits the context
// reseeds from 48 depot bytes. Depot bits reach the DRBG only at a reseed. ERR_NULL_POINTER for
// a null or non-DRBG context, the depot's statuses; a failed reseed is retried on the next bit.
CryptoStatus RANDOM_addEntropyBit(RandomContext* ctx, std::uint8_t bit);
// 256 bits from the device, least significant bit of each native 32-bit word first, through
// RANDOM_addEntropyBit; on a fresh context they stay in the depot (no reseed before 384).
// ERR_RAND_OPEN_FAILED (also for a path opening as descriptor 0), ERR_RAND_READ_FAILED on a short
// read, RANDOM_addEntropyBit's statuses; bits added before a failure stay.
CryptoStatus RANDOM_seedFromDevice(RandomContext* ctx, const char* path);
CryptoStatus RANDOM_seedFromUrandom(RandomContext* ctx);

// Toggles the depot state bit after the last one written, cycling through 384 bits; a zero bit
// only advances the position. The mutex wait and release statuses.
CryptoStatus DEPOT_addEntropyBit(std::uint8_t bit);
// count bytes of depot output into dest; used output is zeroed in the depot, and the state is
// mixed (timer, calendar, SHA-1) into new output when it runs out or on first use (even for
// count 0). ERR_NULL_POINTER, the mutex wait and release statuses.
CryptoStatus DEPOT_readBytes(std::uint8_t* dest, std::uint32_t count);
