// System call numbers as /proc/PID/syscall shows them for a board's process. In a cross build the
// process is the user-mode emulator, and what shows is the calls it makes to the host's kernel.
#pragma once

#include <sys/syscall.h>

namespace boardtest::board_sys {

#ifdef BM_EMULATED_ON_X86_64
inline constexpr long read = 0, poll = 7, ppoll = 271, nanosleep = 35, clock_nanosleep = 230;
#else
inline constexpr long read = SYS_read, poll = SYS_poll, ppoll = SYS_ppoll,
                      nanosleep = SYS_nanosleep, clock_nanosleep = SYS_clock_nanosleep;
#endif

}  // namespace boardtest::board_sys
