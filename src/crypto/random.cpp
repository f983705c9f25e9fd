#include "crypto/random.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "bytes.hpp"
#include "crypto/mem.hpp"
#include "crypto/sha1.hpp"

using namespace crypto_detail;

namespace {

// The one process-wide entropy depot: a 48-byte pool that bits are added to and mixed output is
// read from.
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

EntropyDepot g_depot{};

constexpr std::uint32_t kPoolSize = 48;

// SHA-1 compression of the 64-byte state area, written as 20 bytes at `offset`.
void writeG(std::uint32_t offset) {
    std::uint32_t h[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    SHA1_compressBlock(h, g_depot.state);
    for (int i = 0; i < 5; ++i) {
        storeBe32(g_depot.state + offset + 4 * i, h[i]);
    }
}

void threeG() {
    writeG(0);
    writeG(20);
    writeG(40);
}

void mix() {
    std::uint8_t* pool = g_depot.state;
    std::uint8_t ms[4];
    storeBe32(ms, PLATFORM_secondsTimer() * 1000);
    for (int i = 0; i < 4; ++i) {
        pool[i] ^= ms[i];
    }
    std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    PLATFORM_timeOfDay(&year, &month, &day, &hour, &minute, &second);
    const std::int32_t calendar[6] = {year + 30, month, day, hour, minute, second};
    for (int i = 0; i < 6; ++i) {
        pool[47 - i] ^= static_cast<std::uint8_t>(calendar[i]);
    }
    for (std::uint32_t i = 0; i < kPoolSize; ++i) {
        pool[(4 + i) % kPoolSize] ^= static_cast<std::uint8_t>(0x67 + i);
    }
    // Scratch memory would be folded in here; this board has none with any value, so zeros
    // are folded in, which changes nothing.
    threeG();
}

void refill() {
    for (std::uint32_t i = 0; i < kPoolSize; ++i) {
        g_depot.output[i] ^= g_depot.state[i];
    }
    threeG();
    g_depot.outputIndex = 0;
}

// Returns whether this call set the depot up.
bool initialiseDepot() {
    if (g_depot.initialised != 0) {
        return false;
    }
    PLATFORM_mutexCreate(&g_depot.mutex);
    g_depot.held = false;
    g_depot.outputIndex = kPoolSize;
    g_depot.bitPosition = 0;
    g_depot.initialised = 1;
    return true;
}

void increment(std::uint8_t v[16]) {
    for (int i = 15; i >= 0; --i) {
        if (++v[i] != 0) {
            break;
        }
    }
}

// CTR_DRBG_Update without derivation function.
void drbgUpdate(RandomContext* ctx, const std::uint8_t provided[48]) {
    std::uint8_t temp[48];
    for (int i = 0; i < 3; ++i) {
        increment(ctx->V);
        AES_encryptBlock(ctx->aes.roundKeys, static_cast<std::int32_t>(ctx->aes.rounds), ctx->V,
                         temp + 16 * i);
    }
    for (int i = 0; i < 48; ++i) {
        temp[i] ^= provided[i];
    }
    std::memcpy(ctx->key, temp, 32);
    std::memcpy(ctx->V, temp + 32, 16);
    AES_initContext(&ctx->aes, 256, ctx->key, 1, MODE_ECB);
    MEM_set(temp, 0, sizeof temp);
}

}  // namespace

CryptoStatus DEPOT_addEntropyBit(std::uint8_t bit) {
    initialiseDepot();
    CryptoStatus status = MUTEX_wait(g_depot.mutex, &g_depot.held);
    if (status < 0) {
        return status;
    }
    g_depot.bitPosition = (g_depot.bitPosition + 1) % (kPoolSize * 8);
    if (bit != 0) {
        g_depot.state[g_depot.bitPosition / 8] ^=
            static_cast<std::uint8_t>(1u << (g_depot.bitPosition % 8));
    }
    return MUTEX_release(g_depot.mutex, &g_depot.held);
}

CryptoStatus DEPOT_readBytes(std::uint8_t* dest, std::uint32_t count) {
    if (dest == nullptr) {
        return ERR_NULL_POINTER;
    }
    const bool fresh = initialiseDepot();
    CryptoStatus status = MUTEX_wait(g_depot.mutex, &g_depot.held);
    if (status < 0) {
        return status;
    }
    if (fresh || g_depot.primed == 0) {
        mix();
        refill();
        g_depot.primed = 1;
    }
    while (count > 0) {
        std::uint32_t n = kPoolSize - g_depot.outputIndex;
        if (n == 0) {
            mix();
            refill();
            continue;
        }
        if (n > count) {
            n = count;
        }
        std::memcpy(dest, g_depot.output + g_depot.outputIndex, n);
        std::memset(g_depot.output + g_depot.outputIndex, 0, n);
        g_depot.outputIndex += n;
        dest += n;
        count -= n;
    }
    return MUTEX_release(g_depot.mutex, &g_depot.held);
}

CryptoStatus RANDOM_acquireContext(RandomContext** holder, std::int32_t selector) {
    if (holder == nullptr || selector != RANDOM_SELECT_CTR_DRBG) {
        return ERR_NULL_POINTER;  // the other kind of context is never made
    }
    std::uint8_t seed[48];
    CryptoStatus status = DEPOT_readBytes(seed, sizeof seed);
    if (status == OK) {
        auto* ctx = static_cast<RandomContext*>(PLATFORM_malloc(sizeof(RandomContext)));
        if (ctx == nullptr) {
            status = ERR_MEM_ALLOC_FAIL;
        } else {
            MEM_set(ctx, 0, sizeof *ctx);
            ctx->kind = RANDOM_KIND_CTR_DRBG;
            ctx->keyLength = 32;
            ctx->blockLength = 16;
            ctx->seedLength = 48;
            AES_initContext(&ctx->aes, 256, ctx->key, 1, MODE_ECB);
            drbgUpdate(ctx, seed);
            ctx->reseedCounter = 1;
            ctx->bitsSinceReseed = 0;
            *holder = ctx;
        }
    }
    MEM_set(seed, 0, sizeof seed);
    return status;
}

CryptoStatus RANDOM_addEntropyBit(RandomContext* ctx, std::uint8_t bit) {
    if (ctx == nullptr || ctx->kind != RANDOM_KIND_CTR_DRBG) {
        return ERR_NULL_POINTER;
    }
    CryptoStatus status = DEPOT_addEntropyBit(bit);
    if (status < 0) {
        return status;
    }
    if (++ctx->bitsSinceReseed >= RANDOM_RESEED_BITS) {
        std::uint8_t entropy[48];
        status = DEPOT_readBytes(entropy, sizeof entropy);
        if (status == OK) {
            drbgUpdate(ctx, entropy);  // CTR_DRBG_Reseed without additional input
            ctx->reseedCounter = 1;
            ctx->bitsSinceReseed = 0;
        }
        MEM_set(entropy, 0, sizeof entropy);
    }
    return status;
}

CryptoStatus RANDOM_seedFromDevice(RandomContext* ctx, const char* path) {
    int fd = ::open(path, O_RDONLY);
    if (fd < 1) {
        if (fd == 0) {
            ::close(fd);
        }
        return ERR_RAND_OPEN_FAILED;
    }
    CryptoStatus status = OK;
    for (int i = 0; i < 8 && status == OK; ++i) {
        std::uint32_t word = 0;
        if (::read(fd, &word, sizeof word) != static_cast<ssize_t>(sizeof word)) {
            status = ERR_RAND_READ_FAILED;
            break;
        }
        for (int b = 0; b < 32 && status == OK; ++b) {
            status = RANDOM_addEntropyBit(ctx, static_cast<std::uint8_t>((word >> b) & 1));
        }
    }
    ::close(fd);
    return status;
}

CryptoStatus RANDOM_seedFromUrandom(RandomContext* ctx) {
    return RANDOM_seedFromDevice(ctx, "/dev/urandom");
}
