// What the crypto library needs from the operating system. Nothing else in the library calls
// the C library's allocator, clock or locking directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/status.hpp"

// The C library's malloc and free, in an object of their own so a program can link its own.
// Neither wipes; PLATFORM_free(nullptr) does nothing.
void* PLATFORM_malloc(std::size_t size);
void PLATFORM_free(void* p);

// Start-up hooks, run in this order by CRYPTO_initLibrary. The first three return OK, the last
// two 1 (not a failure); the argument is ignored.
CryptoStatus PLATFORM_startupFirst();
CryptoStatus PLATFORM_startupSecond();
CryptoStatus PLATFORM_startupThird();
CryptoStatus PLATFORM_startupFinal1(int arg);
CryptoStatus PLATFORM_startupFinal2(int arg);

// Calendar time; this board leaves every output as it was (null pointers are fine).
void PLATFORM_timeOfDay(std::int32_t* year, std::int32_t* month, std::int32_t* day,
                        std::int32_t* hour, std::int32_t* minute, std::int32_t* second);
// Always 0 on this board.
std::uint32_t PLATFORM_secondsTimer();
// Does nothing: the library runs on one thread.
void PLATFORM_yield();

// One thread only: a mutex is a null token and none of these block. create stores null
// (ERR_NULL_POINTER for a null holder); wait, release and free return OK and change nothing
// (free leaves *mutex as it was).
using PlatformMutex = void*;
CryptoStatus PLATFORM_mutexCreate(PlatformMutex* mutex);
CryptoStatus PLATFORM_mutexWait(PlatformMutex mutex);
CryptoStatus PLATFORM_mutexRelease(PlatformMutex mutex);
CryptoStatus PLATFORM_mutexFree(PlatformMutex* mutex);

// Lock and unlock with a held flag kept by the caller, so that a double wait or a release
// without a wait is caught even though the board's mutexes do nothing: ERR_RTOS_MUTEX_ALREADY_HELD
// or ERR_RTOS_MUTEX_NOT_HELD with the flag unchanged. held must not be null. The flag changes
// only when the underlying call succeeds.
CryptoStatus MUTEX_wait(PlatformMutex mutex, bool* held);
CryptoStatus MUTEX_release(PlatformMutex mutex, bool* held);
