#include "security/diagnostics.hpp"

#include <cstdio>

#include "boot/app_start.hpp"
#include "boot/console.hpp"
#include "boot/shell.hpp"
#include "security/low_security.hpp"
#include "security/signature_policy.hpp"

namespace {

// Each step is announced, then run; a failed step shows only through what the tool prints.
void step(const char* announcement, const char* command) {
    std::puts(announcement);
    std::fflush(stdout);
    boot::system_command(command);
}

}  // namespace

int launch_diagnostics() {
    const int developer = is_developer_image();
    if (developer == 1) {
        std::puts("NOTE: switch running developer signed images");
    }
    if (developer == 0 && is_low_security() == 0) {
        std::puts("Standalone diags cannot be run on a secured switch");
        std::puts("Please establish physical presence first");
        return 0;
    }
    std::fputs(
        "Confirm: Erase filesystem? (all saved data, configuration, keys will be lost) y/N: ",
        stdout);
    std::fflush(stdout);
    const std::uint8_t key = read_key();
    std::putchar('\n');
    if (key == 'y' || key == 'Y') {
        step("unmount filesystem", "/bin/umount /user &> /dev/null");
        step("\nErasing filesystem for clean install", "flash_eraseall /dev/mtd-user-char");
        step("Mounting...", "/bin/mount -o sync -t jffs2 /dev/mtd-user /user &> /dev/null");
        step("creating default filesystem", "mkdir /user/images &> /dev/null");
    }
    std::puts("Booting diags image...");
    std::fflush(stdout);
    boot_rescue_partition();
    return 1;
}
