#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "boot/env_flags.hpp"
#include "flags.hpp"
#include "sys/flags.hpp"

namespace {

// The flags that differ from their start values, as "name" or "name=value".
std::string set_flags() {
    std::string text;
    for (const auto& [name, value, start] : {std::tuple{"gdb", gdb_mode, 0U},
                                             {"gdbserver", gdbserver_mode, 0U},
                                             {"port", static_cast<std::uint32_t>(gdb_port), 1234U},
                                             {"shell", shell_mode, 0U},
                                             {"memchk", memchk_mode, 0U},
                                             {"rescue", rescue_requested, 0U},
                                             {"diags", diags_requested, 0U},
                                             {"lowsec", lowsec_override, 0U}}) {
        if (value != start) {
            text += (text.empty() ? "" : " ") + std::string(name) +
                    (start == 0 && value == 1 ? "" : "=" + std::to_string(value));
        }
    }
    return text;
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

std::string parse_fresh(const std::vector<std::uint8_t>& block) {
    const testflags::ScopedFlags flags(testflags::start_values);
    parse_env_flags(block);
    return set_flags();
}

struct Case {
    const char* name;
    std::vector<std::string> settings;
    std::string expected;
};

class EnvFlags : public testing::TestWithParam<Case> {};

TEST_P(EnvFlags, SetsTheFlagsOfTheFirstOccurrenceOfEachKey) {
    EXPECT_EQ(parse_fresh(block_of(GetParam().settings)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, EnvFlags,
    // Each row leaves the other keys out, which must leave their flags as they were. Start-up's
    // tests read "diagnostics=rescue" and "=diags" from a board's environment.
    testing::Values(Case{"debug_server_on_a_port",
                         {"bootdelay=3", "gdbserver=on", "gdbport=2345"},
                         "gdb gdbserver port=2345"},
                    Case{"debugger_without_server", {"gdb=on", "gdbserver=no"}, "gdb"},
                    Case{"server_forces_debugger", {"gdb=off", "gdbserver=on"}, "gdb gdbserver"},
                    Case{"prefix_one_counts_as_on", {"shell=one"}, "shell"},
                    Case{"upper_case_is_off", {"shell=On", "memchk=yes"}, ""},
                    Case{"memory_checker", {"memchk=on"}, "memchk"},
                    Case{"diags_prefix", {"diagnostics=diagsx"}, "diags"},
                    Case{"only_first_occurrence", {"diagnostics=none", "diagnostics=rescue"}, ""},
                    Case{"lowsec_exact_ten", {"lowsec=sanctionedXYZ"}, "lowsec"},
                    Case{"lowsec_one_letter_off", {"lowsec=sanctiomed"}, ""},
                    Case{"key_inside_a_value", {"bootargs=shell=on"}, "shell"},
                    Case{"port_not_a_number", {"gdbport=abc"}, ""},
                    Case{"port_with_blanks", {"gdbport=  77x"}, "port=77"},
                    Case{"port_out_of_range", {"gdbport=99999999999"}, ""}),
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
    EXPECT_EQ(parse_fresh(placed({{"shell=on", ENV_BLOCK_SIZE}})), "shell");
    // Cut at the boundary: tested on the digits that are inside.
    EXPECT_EQ(parse_fresh(placed({{"gdbport=12345", ENV_BLOCK_SIZE + 2}})), "port=123");
    EXPECT_EQ(parse_fresh(placed({{"gdb=on", ENV_BLOCK_SIZE + 20}})), "");
}

}  // namespace
