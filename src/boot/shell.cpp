#include "boot/shell.hpp"

#include <cstdio>
#include <cstdlib>

#include "boot/env_flags.hpp"
#include "boot/reboot.hpp"

namespace boot {

int run_command(const char* command) {
    std::fflush(nullptr);
    return std::system(command);
}

}  // namespace boot

void shell_then_reboot() {
    if (shell_mode != 0) {
        boot::run_command("/bin/sh\n");
    }
    reboot_board();
}
