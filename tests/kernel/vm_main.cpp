// The hw layer's checks against the kernel's drivers. They rewrite /dev/mtd-* and talk to
// /dev/i2c-*, so the program refuses to run anywhere but the test VM, whose kernel command
// line carries the marker below.
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>

#include <cstdio>

#include "scratch.hpp"

int main(int argc, char** argv) {
    if (testsupport::read_file("/proc/cmdline").find("bm_vm_test=1") == std::string::npos) {
        std::fprintf(stderr, "kernel_vm_test runs only inside its VM: use ctest -L kernel\n");
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::printf(
        "[real driver] MEMGETINFO 0x%08lx, MEMERASE 0x%08lx, I2C_SLAVE 0x%04lx, I2C_SMBUS "
        "0x%04lx: %s\n",
        static_cast<unsigned long>(MEMGETINFO), static_cast<unsigned long>(MEMERASE),
        static_cast<unsigned long>(I2C_SLAVE), static_cast<unsigned long>(I2C_SMBUS),
        status == 0 ? "passed" : "failed");
    return status;
}
