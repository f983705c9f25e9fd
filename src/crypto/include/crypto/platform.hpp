// What the crypto library needs from the operating system. Nothing else in the library calls
// the C library's allocator, clock or locking directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/status.hpp"

void* PLATFORM_malloc(std::size_t size);
void PLATFORM_free(void* p);

// Start-up hooks, run in this order by CRYPTO_initLibrary.
CryptoStatus PLATFORM_startupFirst();
CryptoStatus PLATFORM_startupSecond();
CryptoStatus PLATFORM_startupThird();
CryptoStatus PLATFORM_startupFinal1(int arg);
CryptoStatus PLATFORM_startupFinal2(int arg);

// Calendar time; this board leaves every output as it was.
void PLATFORM_timeOfDay(std::int32_t* year, std::int32_t* month, std::int32_t* day,
                        std::int32_t* hour, std::int32_t* minute, std::int32_t* second);
std::uint32_t PLATFORM_secondsTimer();
void PLATFORM_yield();

using PlatformMutex = void*;
CryptoStatus PLATFORM_mutexCreate(PlatformMutex* mutex);
CryptoStatus PLATFORM_mutexWait(PlatformMutex mutex);
CryptoStatus PLATFORM_mutexRelease(PlatformMutex mutex);
CryptoStatus PLATFORM_mutexFree(PlatformMutex* mutex);

// Lock and unlock with a held flag kept by the caller, so that a double wait or a release
// without a wait is caught even though the board's mutexes do nothing.
CryptoStatus MUTEX_wait(PlatformMutex mutex, bool* held);
CryptoStatus MUTEX_release(PlatformMutex mutex, bool* held);
