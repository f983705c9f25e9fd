#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot/env_flags.hpp"
#include "flags.hpp"
#include "sys/flags.hpp"

namespace {

struct Flags {
    std::uint32_t gdb = 0, gdbserver = 0;
    std::int32_t port = 1234;
    std::uint8_t shell = 0, memchk = 0;
    std::uint32_t rescue = 0, diags = 0, lowsec = 0;
    bool operator==(const Flags&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Flags& f) {
    return out << "gdb=" << f.gdb << " gdbserver=" << f.gdbserver << " port=" << f.port
               << " shell=" << int{f.shell} << " memchk=" << int{f.memchk} << " rescue=" << f.rescue
               << " diags=" << f.diags << " lowsec=" << f.lowsec;
}

// The environment as the boot loader stores it after the checksum word.
std::vector<std::uint8_t> block_of(const std::vector<std::string>& settings) {
    std::vector<std::uint8_t> block;
    for (const auto& s : settings) {
        block.insert(block.end(), s.begin(), s.end());
        block.push_back(0);
    }
    block.push_back(0);
    block.resize(ENV_BLOCK_SIZE, 0xFF);
    return block;
}

Flags parse_fresh(const std::vector<std::uint8_t>& block) {
    const testflags::ScopedFlags flags(testflags::start_values);
    parse_env_flags(block);
    return {gdb_mode,    gdbserver_mode,   gdb_port,        shell_mode,
            memchk_mode, rescue_requested, diags_requested, lowsec_override};
}

struct Case {
    const char* name;
    std::vector<std::string> settings;
    Flags expected;
};

class EnvFlags : public testing::TestWithParam<Case> {};

TEST_P(EnvFlags, SetsTheFlagsOfTheFirstOccurrenceOfEachKey) {
    EXPECT_EQ(parse_fresh(block_of(GetParam().settings)), GetParam().expected);
}

Flags with(void (*change)(Flags&)) {
    Flags f;
    change(f);
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, EnvFlags,
    testing::Values(
        Case{"empty", {}, {}},
        Case{"debug_server_on_a_port",
             {"bootdelay=3", "gdbserver=on", "gdbport=2345"},
             with([](Flags& f) { f.gdb = f.gdbserver = 1, f.port = 2345; })},
        Case{"debugger_without_server", {"gdb=on", "gdbserver=no"}, with([](Flags& f) {
                 f.gdb = 1;
             })},
        Case{"server_forces_debugger", {"gdb=off", "gdbserver=on"}, with([](Flags& f) {
                 f.gdb = f.gdbserver = 1;
             })},
        Case{"prefix_one_counts_as_on", {"shell=one"}, with([](Flags& f) { f.shell = 1; })},
        Case{"upper_case_is_off", {"shell=On", "memchk=yes"}, {}},
        Case{"memory_checker", {"memchk=on"}, with([](Flags& f) { f.memchk = 1; })},
        Case{"rescue", {"diagnostics=rescue"}, with([](Flags& f) { f.rescue = 1; })},
        Case{"diags", {"diagnostics=diags"}, with([](Flags& f) { f.diags = 1; })},
        Case{"diags_prefix", {"diagnostics=diagsx"}, with([](Flags& f) { f.diags = 1; })},
        Case{"only_first_occurrence", {"diagnostics=none", "diagnostics=rescue"}, {}},
        Case{"lowsec_exact_ten", {"lowsec=sanctionedXYZ"}, with([](Flags& f) { f.lowsec = 1; })},
        Case{"lowsec_one_letter_off", {"lowsec=sanctiomed"}, {}},
        Case{"key_inside_another_name", {"xgdb=on"}, with([](Flags& f) { f.gdb = 1; })},
        Case{"key_inside_a_value", {"bootargs=shell=on"}, with([](Flags& f) { f.shell = 1; })},
        Case{"port_not_a_number", {"gdbport=abc"}, {}},
        Case{"port_with_blanks", {"gdbport=  77x"}, with([](Flags& f) { f.port = 77; })},
        Case{"port_out_of_range", {"gdbport=99999999999"}, {}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Settings placed so that they end at byte `end` of the partition's data (after the checksum).
std::vector<std::uint8_t> placed(std::vector<std::pair<std::string, std::size_t>> settings) {
    std::vector<std::uint8_t> block(ENV_BLOCK_SIZE + 64, 0);
    for (const auto& [text, end] : settings) {
        std::copy(text.begin(), text.end(), block.begin() + static_cast<long>(end - text.size()));
    }
    return block;
}

TEST(EnvFlagsBlock, SeesOnlyTheFirst1280BytesAfterTheChecksum) {
    EXPECT_EQ(parse_fresh(placed({{"shell=on", ENV_BLOCK_SIZE}})).shell, 1);
    // Cut at the boundary: tested on the digits that are inside.
    EXPECT_EQ(parse_fresh(placed({{"gdbport=12345", ENV_BLOCK_SIZE + 2}})).port, 123);
    EXPECT_EQ(parse_fresh(placed({{"gdb=on", ENV_BLOCK_SIZE + 20}})), Flags{});
}

}  // namespace
