// The shared scenarios' devices in the VM: the kernel's drivers as init.sh lays them out, plus
// what only they can show (the kernel's own account of each partition, the open flags it keeps).
#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../hw/rig.hpp"
#include "hw/mtd.hpp"

namespace rig {

struct Devices::State {};
Devices::Devices(const std::vector<std::string>& /*missing*/) {}
Devices::~Devices() = default;

namespace {
struct Partition {
    const char* name;
    std::uint32_t size;
};
// In table order, as init.sh makes them.
constexpr Partition partitions[MTD_COUNT] = {
    {"uboot", 0x80000}, {"ubootenv", 0x20000}, {"devicetree", 0x40000}, {"kernel", 0x300000},
    {"rfs", 0xF00000},  {"rescue", 0xA00000},  {"onie", 0x100000},
};
}  // namespace

std::uint32_t partition_size(int slot) {
    return partitions[slot].size;
}

std::optional<Wear> kernel_wear() {
    return std::nullopt;
}

const bool plain_i2c = false;

namespace {

std::uint32_t sysfs_number(const char* name, const char* attribute) {
    const auto node = std::filesystem::read_symlink(std::string{"/dev/mtd-"} + name);
    std::ifstream in{"/sys/class/mtd/" + node.filename().string() + "/" + attribute};
    std::uint32_t value = 0;
    in >> value;
    return value;
}

TEST(KernelFlash, GeometryAndOpenFlagsAreTheKernels) {
    ASSERT_EQ(flash_init(), 1);
    for (int slot = MTD_UBOOT; slot < MTD_COUNT; ++slot) {
        mtd_geometry g{};
        ASSERT_EQ(mtd_get_info(mtd_fd(slot), &g), 1) << slot;
        EXPECT_EQ(g.total_size, sysfs_number(partitions[slot].name, "size"));
        EXPECT_EQ(g.block_size, sysfs_number(partitions[slot].name, "erasesize"));
        // The boot manager's own partitions are written synchronously, the others are not.
        EXPECT_EQ((fcntl(mtd_fd(slot), F_GETFL) & (O_ACCMODE | O_SYNC)),
                  slot < MTD_RESCUE ? O_RDWR | O_SYNC : O_RDWR);
    }
}

}  // namespace
}  // namespace rig
