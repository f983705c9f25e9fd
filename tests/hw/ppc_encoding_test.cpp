// The board's kernel is 32-bit big-endian PowerPC: its request codes and open flags differ from a
// PC's, and the build must produce the board's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>

#include <climits>

TEST(PowerPcEncoding, RequestCodesAreTheBoardKernels) {
    EXPECT_EQ(static_cast<unsigned long>(MEMGETINFO), 0x40204D01ul);
    EXPECT_EQ(static_cast<unsigned long>(MEMERASE), 0x80084D02ul);
    EXPECT_EQ(static_cast<unsigned long>(I2C_SLAVE), 0x0703ul);
    EXPECT_EQ(static_cast<unsigned long>(I2C_SMBUS), 0x0720ul);
    EXPECT_EQ(sizeof(mtd_info_user), 32u);
    EXPECT_EQ(sizeof(erase_info_user), 8u);
}

TEST(PowerPcEncoding, BigEndianThirtyTwoBitWithUnsignedChar) {
    const std::uint32_t word = 0x01020304;
    EXPECT_EQ(*reinterpret_cast<const unsigned char*>(&word), 0x01);
    EXPECT_EQ(sizeof(long), 4u);
    EXPECT_EQ(sizeof(off_t), 8u);  // 64-bit file offsets are switched on for every target
    EXPECT_EQ(CHAR_MIN, 0);
}

TEST(PowerPcEncoding, SynchronousOpenKeepsTheHeadersFlags) {
    EXPECT_EQ(O_RDWR, 2);
    // Today's O_SYNC carries O_DSYNC as well, so O_RDWR|O_SYNC is no longer 0x1002.
    EXPECT_EQ(O_RDWR | O_SYNC, 0x101002);
}
