// Commands run through the board's shell.
#pragma once

namespace boot {

// std::system after flushing our own output, so that the console shows it before anything the
// command prints.
int run_command(const char* command);

}  // namespace boot

// The last resort of a failed boot: an interactive shell when the environment asks for one, then
// a reboot.
[[noreturn]] void shell_then_reboot();
