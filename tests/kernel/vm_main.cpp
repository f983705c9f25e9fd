// The hw layer's checks against the kernel's drivers. They rewrite /dev/mtd-* and talk to
// /dev/i2c-*, so the program refuses to run anywhere but the test VM, whose kernel command
// line carries the marker below.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

bool inside_test_vm() {
    std::ifstream cmdline{"/proc/cmdline"};
    for (std::string word; cmdline >> word;)
        if (word == "bm_vm_test=1")
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (!inside_test_vm()) {
        std::fprintf(stderr, "kernel_vm_test runs only inside its VM: use ctest -L kernel\n");
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
