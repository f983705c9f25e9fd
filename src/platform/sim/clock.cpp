// Waiting on the board's virtual clock: each wait advances it by the virtual time that passed
// and really sleeps that time multiplied by the board's time scale.
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>

#include "platform/seam.hpp"
#include "runtime.hpp"

namespace platform {
namespace {

using sim::detail::clock_advance_us;
using sim::detail::runtime;

std::uint64_t monotonic_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

// Sleeps the scaled equivalent of `us` virtual microseconds and advances the clock by what
// passed; returns the virtual microseconds left when a signal cut the sleep short.
std::uint64_t virtual_sleep(std::uint64_t us) {
    const double scale = runtime().config.time_scale;
    if (scale <= 0.0 || us == 0) {
        clock_advance_us(us);
        return 0;
    }
    const auto real_ns =
        static_cast<std::uint64_t>(std::llround(static_cast<double>(us) * 1000.0 * scale));
    timespec want{static_cast<time_t>(real_ns / 1000000000u),
                  static_cast<long>(real_ns % 1000000000u)};
    timespec left{};
    if (::nanosleep(&want, &left) == 0) {
        clock_advance_us(us);
        return 0;
    }
    const std::uint64_t left_ns = static_cast<std::uint64_t>(left.tv_sec) * 1000000000u +
                                  static_cast<std::uint64_t>(left.tv_nsec);
    const auto left_us = std::min<std::uint64_t>(
        us, static_cast<std::uint64_t>(static_cast<double>(left_ns) / 1000.0 / scale));
    clock_advance_us(us - left_us);
    return left_us;
}

}  // namespace

unsigned int clock_sleep(unsigned int seconds) {
    const std::uint64_t left = virtual_sleep(std::uint64_t{seconds} * 1000000u);
    return static_cast<unsigned int>((left + 999999) / 1000000);
}

int clock_usleep(useconds_t microseconds) {
    if (virtual_sleep(microseconds) != 0) {
        errno = EINTR;
        return -1;
    }
    return 0;
}

int clock_poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) {
    const double scale = runtime().config.time_scale;
    // ppoll, not poll: a scaled millisecond is usually far below poll's one-millisecond grain,
    // and a receiver polling every board millisecond would otherwise run at real time.
    timespec real{};
    const timespec* real_timeout = nullptr;  // a negative timeout waits without limit
    if (timeout_ms >= 0) {
        const auto ns = static_cast<std::uint64_t>(
            std::llround(static_cast<double>(timeout_ms) * 1000000.0 * scale));
        real = {static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
        real_timeout = &real;
    }
    const std::uint64_t start = monotonic_ns();
    const int result = ::ppoll(fds, nfds, real_timeout, nullptr);
    const int saved_errno = errno;
    std::uint64_t passed_us = 0;
    if (result == 0 && timeout_ms > 0) {
        passed_us = std::uint64_t(timeout_ms) * 1000u;
    } else if (scale > 0.0) {
        passed_us = static_cast<std::uint64_t>(static_cast<double>(monotonic_ns() - start) /
                                               1000.0 / scale);
        if (timeout_ms >= 0) {
            passed_us = std::min<std::uint64_t>(passed_us, std::uint64_t(timeout_ms) * 1000u);
        }
    }
    clock_advance_us(passed_us);
    errno = saved_errno;
    return result;
}

}  // namespace platform
