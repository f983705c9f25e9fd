#include "crypto/platform.hpp"

CryptoStatus PLATFORM_startupFirst() {
    return OK;
}
CryptoStatus PLATFORM_startupSecond() {
    return OK;
}
CryptoStatus PLATFORM_startupThird() {
    return OK;
}
CryptoStatus PLATFORM_startupFinal1(int) {
    return 1;
}
CryptoStatus PLATFORM_startupFinal2(int) {
    return 1;
}

void PLATFORM_timeOfDay(std::int32_t*, std::int32_t*, std::int32_t*, std::int32_t*, std::int32_t*,
                        std::int32_t*) {}
std::uint32_t PLATFORM_secondsTimer() {
    return 0;
}
void PLATFORM_yield() {}

// One thread only: the mutexes are tokens with no behaviour.
CryptoStatus PLATFORM_mutexCreate(PlatformMutex* mutex) {
    if (mutex == nullptr) {
        return ERR_NULL_POINTER;
    }
    *mutex = nullptr;
    return OK;
}
CryptoStatus PLATFORM_mutexWait(PlatformMutex) {
    return OK;
}
CryptoStatus PLATFORM_mutexRelease(PlatformMutex) {
    return OK;
}
CryptoStatus PLATFORM_mutexFree(PlatformMutex*) {
    return OK;
}

CryptoStatus MUTEX_wait(PlatformMutex mutex, bool* held) {
    if (*held) {
        return ERR_RTOS_MUTEX_ALREADY_HELD;
    }
    CryptoStatus status = PLATFORM_mutexWait(mutex);
    if (status < 0) {
        return status;
    }
    *held = true;
    return OK;
}

CryptoStatus MUTEX_release(PlatformMutex mutex, bool* held) {
    if (!*held) {
        return ERR_RTOS_MUTEX_NOT_HELD;
    }
    CryptoStatus status = PLATFORM_mutexRelease(mutex);
    if (status < 0) {
        return status;
    }
    *held = false;
    return OK;
}
