// Process-wide state of the start-up sequence and the interrupt handler.
#pragma once

#include <csignal>
#include <cstdint>

// Set by the SIGINT handler; interactive code looks at it after a console read returned early.
extern volatile std::sig_atomic_t interrupted;
// The USB steps of the boot sequence are to be run.
extern std::uint8_t usb_enabled;
// The boot in progress is the fallback to the other slot.
extern std::uint8_t second_attempt;

void on_interrupt(int signal_number);

// Installs on_interrupt for SIGINT without SA_RESTART, so a blocked console read ends early, and
// ignores SIGQUIT and SIGTSTP (Ctrl-\ and Ctrl-Z must not end or stop the boot manager). Returns
// the SIGINT sigaction's result.
int install_interrupt_handler();

// The start-up sequence; never returns (the application starts or the board reboots).
[[noreturn]] void boot_main();
