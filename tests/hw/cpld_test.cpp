#include "hw/cpld.hpp"

#include "in_process.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

using testsupport::console_of;

TEST(Cpld, FirstAccessMapsTheWindowOnceForGood) {
    TempBoard board;
    ASSERT_TRUE(sim::write_cpld(board.root(), 0x20, 0x10));
    std::uint8_t value = 0;
    EXPECT_EQ(cpld_read(0x20, &value), 1);
    EXPECT_EQ(value, 0x10);
    // Were it opened again, the missing /dev/mem would now make it fail.
    sim::FaultPlan plan;
    plan.missing = {"mem"};
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));
    EXPECT_EQ(cpld_write(0x21, 0x5A), 1);
    EXPECT_EQ(console_of([] { return cpld_read(0x21, nullptr); }),
              std::pair(std::string("CPLD offset 0x21 = 0x5a\n"), 1));
    EXPECT_EQ((*sim::read_cpld(board.root()))[0x21], 0x5A);
    EXPECT_EQ(cpld_close(), 0);
}

TEST(Cpld, MissingMemoryDeviceFailsEveryAccessWithBothLines) {
    auto c = TempBoard::test_config();
    c.faults.missing = {"mem"};
    TempBoard board(c);
    const auto failed = std::pair(
        std::string("cpld_init open() FAILED\nERROR - failed to open access to CPLD\n"), 0);
    std::uint8_t value = 0x33;
    EXPECT_EQ(console_of([&] { return cpld_read(0x20, &value); }), failed);
    EXPECT_EQ(value, 0x33);
    EXPECT_EQ(console_of([] { return cpld_write(0x20, 1); }), failed);  // it tries again
}

TEST(Cpld, OffsetsOutsideTheWindowAreRefused) {
    TempBoard board;
    std::uint8_t value = 0x33;
    EXPECT_EQ(console_of([&] { return cpld_read(0x100, &value); }),
              std::pair(std::string("CPLD offset 0x100 is outside the register window\n"), 0));
    EXPECT_EQ(value, 0x33);
    EXPECT_EQ(console_of([] { return cpld_write(0xFFFFFFFFu, 1); }).second, 0);
}

}  // namespace
