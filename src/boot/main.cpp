// Entry point of bootmgr and bootmgr-sim; the arguments are not used.
#include "boot/startup.hpp"

int main() {
    boot_main();
}
