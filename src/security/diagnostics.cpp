#include "security/diagnostics.hpp"

#include <cstdio>

#include "security/low_security.hpp"
#include "security/signature_policy.hpp"
#include "sys/console.hpp"
#include "sys/shell.hpp"

namespace {

// boot_rescue_partition, once start-up has registered it.
rescue_partition_boot registered_boot = nullptr;

// Each step is announced, then run; a failed step shows only through what the tool prints.
void step(const char* announcement, const char* command) {
    std::puts(announcement);
    std::fflush(stdout);
    sys::system_command(command);
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
    if (registered_boot != nullptr) {
        registered_boot();
    }
    return 1;
}

void register_rescue_partition_boot(rescue_partition_boot boot) {
    registered_boot = boot;
}
