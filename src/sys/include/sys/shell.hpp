// Commands run through the board's shell, and the one way of giving up.
#pragma once

namespace sys {

// std::system (same status, same handling of SIGINT and SIGQUIT while it waits), except that the
// shell starts with the default actions of SIGQUIT and SIGTSTP, which the boot manager ignores.
// A shell that cannot be started gives the status of _exit(127); -1 when the wait fails.
int system_command(const char* command);

// system_command after flushing our own output, so that the console shows it before anything
// the command prints.
int run_command(const char* command);

// Ctrl-\ and Ctrl-Z at the console: ignored by the boot manager for its whole life.
void ignore_quit_and_stop();
// Their default actions again, for a program about to take this process's place.
void default_quit_and_stop();

}  // namespace sys

// Waits a board second, flushes standard output, runs "reboot" and ends the process with status
// 0, whatever the command did; when system_command gives -1 it first says "System reboot failed,
// please power-cycle." on standard error.
[[noreturn]] void reboot_board();

// The last resort of a failed boot: an interactive shell when the environment asks for one
// (shell_mode), then a reboot.
[[noreturn]] void shell_then_reboot();
