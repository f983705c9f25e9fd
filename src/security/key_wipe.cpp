#include "security/key_wipe.hpp"

#include <cstdio>

#include "sys/console.hpp"
#include "sys/shell.hpp"

int wipe_system_keys() {
    std::fputs("Confirm: wiping system keys y/N: ", stdout);
    std::fflush(stdout);
    const std::uint8_t key = read_key();
    std::putchar('\n');
    if (key == 'y' || key == 'Y') {
        sys::system_command("rm /user/*.pem");
        std::puts("System keys have been deleted. Reset the switch to complete the operation");
    }
    return 1;
}
