#include "crypto/crypto.hpp"

#include <initializer_list>

#include "crypto/base64.hpp"
#include "crypto/platform.hpp"

namespace {

std::uint32_t g_startupCount = 0;
RandomContext* g_randomContext = nullptr;

}  // namespace

// Declared beside the start-up test, which looks at how start-up seeded the context.
RandomContext* CRYPTO_globalRandomContext() {
    return g_randomContext;
}

CryptoStatus CRYPTO_initLibrary() {
    if (++g_startupCount != 1) {
        return 0;
    }
    CryptoStatus status;
    for (auto hook : {PLATFORM_startupFirst, PLATFORM_startupSecond, PLATFORM_startupThird}) {
        status = hook();
        if (status < 0) {
            return status;
        }
    }
    status = BASE64_initializeContext();
    if (status < 0) {
        return status;
    }
    status = RANDOM_acquireContext(&g_randomContext, RANDOM_SELECT_CTR_DRBG);
    if (status < 0) {
        return status;
    }
    status = RANDOM_seedFromUrandom(g_randomContext);
    if (status < 0) {
        return status;
    }
    status = PLATFORM_startupFinal1(0);
    if (status < 0) {
        return status;
    }
    return PLATFORM_startupFinal2(0);
}
