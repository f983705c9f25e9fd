// The start-up sequence and the interrupt handler (the flags are in sys/flags.hpp).
#pragma once

#include <csignal>
#include <cstdint>

// The SIGINT handler: sets `interrupted` to 1 and nothing else.
void on_interrupt(int signal_number);

// Installs on_interrupt for SIGINT without SA_RESTART, so a blocked console read ends early, and
// ignores SIGQUIT and SIGTSTP (Ctrl-\ and Ctrl-Z must not end or stop the boot manager). Returns
// the SIGINT sigaction's result.
int install_interrupt_handler();

// Registers with the libraries below the boot flow what they hand over to it: start_application
// for the installer, boot_rescue_partition for the diagnostics launch. boot_main does this first.
void register_handovers();

// The start-up sequence; never returns (the application starts or the board reboots).
[[noreturn]] void boot_main();
