// The management-port questions and the MAC dialogue on a simulated board. Nothing here reaches
// a network interface: the commands go to the board's stub tools.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "rescue/mgmt_port.hpp"
#include "scratch.hpp"

namespace {

using boardtest::Board;
using boardtest::keys;

struct DialogueCase {
    const char* name;
    std::function<int()> op;
    std::string typed;
    int result;
    std::string settings;  // "dhcp address netmask gateway" as asked
    std::string journal;   // the commands the answers led to
    std::string console;
};

std::function<int()> settings(std::uint8_t dhcp_allowed) {
    return [dhcp_allowed] {
        install_interrupt_handler();
        std::uint8_t dhcp = 9;
        std::uint32_t address = 0;
        std::uint32_t netmask = 0;
        std::uint32_t gateway = 0;
        const int answered =
            ask_network_settings(&dhcp, &address, &netmask, &gateway, dhcp_allowed);
        // Each address is written out before the next inet_ntoa reuses its buffer.
        std::ofstream("/tmp/result")
            << int{dhcp} << ' ' << inet_ntoa(in_addr{address}) << ' ' << inet_ntoa(in_addr{netmask})
            << ' ' << inet_ntoa(in_addr{gateway});
        return answered;
    };
}

int mac() {
    install_interrupt_handler();
    return set_mgmt_mac_address();
}

class Dialogue : public testing::TestWithParam<DialogueCase> {};

TEST_P(Dialogue, AsksUntilAnsweredOrQuitAndPassesOnlyAnAddressToTheShell) {
    const DialogueCase& c = GetParam();
    Board board;
    const auto result = board.run(c.op, keys(c.typed));
    EXPECT_EQ(result.exit_code, c.result);
    EXPECT_EQ(testsupport::read_file(board.root() / "tmp/result"), c.settings);
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(board.journal(), c.journal);
}

const std::string dhcp_q = "Confirm: Use DHCP for network configuration? y/N: ";
const std::string ip_q = "IP addr    :";
const std::string mask_q = "Netmask    :";
const std::string gw_q = "Gateway    :";
const std::string bad_ip = "Invalid IP address. Try again please\r\n";
const std::string none = "0 0.0.0.0 0.0.0.0 0.0.0.0";
const std::string mac_q = "MAC address (format nn:nn:nn:nn:nn:nn): ";
const std::string bad_mac = "Invalid MAC address. Try again please\r\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, Dialogue,
    testing::Values(
        DialogueCase{"dhcp_chosen", settings(1), "Y\r", 1, "1 0.0.0.0 0.0.0.0 0.0.0.0", "",
                     dhcp_q + "Y\r\n\r\n"},
        DialogueCase{"address_is_required_the_others_are_not", settings(0), "\rabc\r10.1\r\r\r", 1,
                     "0 10.0.0.1 0.0.0.0 0.0.0.0", "",
                     ip_q + "\r\n" + bad_ip + ip_q + "abc\r\n" + bad_ip + ip_q + "10.1\r\n" +
                         mask_q + "\r\n" + gw_q + "\r\n"},
        DialogueCase{
            "host_check_refuses_zero_and_class_e_but_not_in_the_netmask", settings(0),
            "0.0.0.0\r240.0.0.1\r1.2.3.4\rx\r0.0.0.0\r\r", 1, "0 1.2.3.4 0.0.0.0 0.0.0.0", "",
            ip_q + "0.0.0.0\r\nInvalid IP address 0.0.0.0. Try again please\r\n" + ip_q +
                "240.0.0.1\r\nInvalid IP address 240.0.0.1. Try again please\r\n" + ip_q +
                "1.2.3.4\r\n" + mask_q + "x\r\n" + bad_ip + mask_q + "0.0.0.0\r\n" + gw_q + "\r\n"},
        DialogueCase{"refused_gateway_stays_stored_after_empty_answer", settings(0),
                     "1.2.3.4\r\r240.0.0.1\r\r", 1, "0 1.2.3.4 0.0.0.0 240.0.0.1", "",
                     ip_q + "1.2.3.4\r\n" + mask_q + "\r\n" + gw_q +
                         "240.0.0.1\r\nInvalid IP address 240.0.0.1. Try again please\r\n" + gw_q +
                         "\r\n"},
        // Anything but y is static, the empty answer too.
        DialogueCase{"quit_at_the_address", settings(1), "\rquit\r", 0, none, "",
                     dhcp_q + "\r\n\r\n" + ip_q + "quit\r\n"},
        DialogueCase{"quit_at_the_gateway", settings(0), "1.2.3.4\r\rQ\r", 0,
                     "0 1.2.3.4 0.0.0.0 0.0.0.0", "",
                     ip_q + "1.2.3.4\r\n" + mask_q + "\r\n" + gw_q + "Q\r\n"},
        DialogueCase{"ctrl_c_at_the_dhcp_question_quits", settings(1), "\x03\r", 0, none, "",
                     dhcp_q + "\a\r\n"},
        // The longest line the buffer takes, with a command after a valid address.
        DialogueCase{"mac_with_a_command_after_the_address_is_refused", mac,
                     "1:2:3:4:5:6;id>/a\r1:2:3:4:5:6\r", 1, "",
                     "ifconfig eth0 hw ether 1:2:3:4:5:6\n",
                     mac_q + "1:2:3:4:5:6;id>/a\r\n" + bad_mac + mac_q + "1:2:3:4:5:6\r\n"},
        DialogueCase{"mac_of_a_wrong_shape_is_refused", mac,
                     "1:2:3:4:5\r1:2:3:4:5:6:\r123:2:3:4:5:6\r\r0a:BB:c:d:e:ff\r", 1, "",
                     "ifconfig eth0 hw ether 0a:BB:c:d:e:ff\n",
                     mac_q + "1:2:3:4:5\r\n" + bad_mac + mac_q + "1:2:3:4:5:6:\r\n" + bad_mac +
                         mac_q + "123:2:3:4:5:6\r\n" + bad_mac + mac_q + "\r\n" + bad_mac + mac_q +
                         "0a:BB:c:d:e:ff\r\n"},
        DialogueCase{"mac_ctrl_c_gives_up", mac, "\x03\r", 0, "", "", mac_q + "\a\r\n"}),
    [](const testing::TestParamInfo<DialogueCase>& info) { return std::string(info.param.name); });

TEST(HostAddress, RefusesZeroAndTheTopOfTheSpace) {
    const std::pair<const char*, int> cases[] = {
        {"0.0.0.0", 0},   {"0.1.2.3", 0},         {"1.0.0.0", 1},   {"10.1.2.3", 1},
        {"127.0.0.1", 1}, {"239.255.255.255", 1}, {"240.0.0.1", 0}, {"255.255.255.255", 0}};
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(is_valid_host_address(inet_addr(text)), valid) << text;
    }
}

}  // namespace
