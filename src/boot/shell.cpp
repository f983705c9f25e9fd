#include "boot/shell.hpp"

#include <cstdio>

#include "boot/env_flags.hpp"
#include "boot/reboot.hpp"

namespace boot {

int run_command(const char* command) {
    std::fflush(nullptr);
    return system_command(command);
}

}  // namespace boot

void shell_then_reboot() {
    if (shell_mode != 0) {
        boot::run_command("/bin/sh\n");
    }
    reboot_board();
}
