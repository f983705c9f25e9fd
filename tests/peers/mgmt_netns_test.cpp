// The management-port dialogue and link check against a veth pair whose board end is eth0,
// inside a network namespace that lives only as long as the process that made it. The host's
// own interfaces are never looked at.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "board_session.hpp"
#include "rescue/mgmt_port.hpp"
#include "scratch.hpp"

namespace {

using boardtest::Board;
using boardtest::keys;

constexpr int kNoNamespace = 77;

std::string net_namespace() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/ns/net", ec).string();
}

bool write_file(const char* path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out.flush());
}

// A namespace of our own: directly as root, else inside a user namespace that maps us to root.
bool enter_private_network() {
    const std::string host = net_namespace();
    if (host.empty()) {
        return false;
    }
    if (unshare(CLONE_NEWNET) != 0) {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0 ||
            !write_file("/proc/self/setgroups", "deny") ||
            !write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            return false;
        }
    }
    return net_namespace() != host;
}

enum class Peer { absent, up, down };

// Only ever called inside the private namespace.
bool make_eth0(Peer peer) {
    const std::string command =
        "ip link add eth0 type veth peer name eth0peer && ip link set eth0 up && "
        "ip link set eth0peer " +
        std::string(peer == Peer::up ? "up" : "down");
    return peer == Peer::absent || std::system(command.c_str()) == 0;
}

// The operation on a board inside a fresh network namespace with eth0 as asked, from a child
// process that takes the namespace with it. The exit code is kNoNamespace when no namespace
// could be made; then nothing ran.
boardtest::Result on_network(Board& board, Peer peer, int (*op)(), const std::string& typed) {
    const auto transcript = board.root() / "console.txt";
    const pid_t child = fork();
    if (child == 0) {
        if (!enter_private_network() || !make_eth0(peer)) {
            _exit(kNoNamespace);
        }
        const auto result = board.run(op, keys(typed));
        std::ofstream(transcript, std::ios::binary) << result.console;
        _exit(result.exit_code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {testsupport::read_file(transcript),
            WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

struct NetCase {
    const char* name;
    Peer peer;
    int (*op)();
    std::string typed;
    int code;
    std::string console;
    std::string journal;
    std::uint64_t board_seconds = 0;  // the waits for the port to settle
};

class OnEth0 : public testing::TestWithParam<NetCase> {};

TEST_P(OnEth0, TheLinkDecidesAndTheCommandsReachTheShell) {
    const NetCase& c = GetParam();
    Board board;
    const auto run = on_network(board, c.peer, c.op, c.typed);
    if (run.exit_code == kNoNamespace) {
        GTEST_SKIP() << "no network namespace with a veth pair here";
    }
    EXPECT_EQ(run.exit_code, c.code);
    EXPECT_EQ(run.console, c.console);
    EXPECT_EQ(board.journal(), c.journal);
    EXPECT_EQ(sim::read_clock_us(board.root()), c.board_seconds * 1000000);
}

const std::string typed = "10.9.8.7\r255.255.255.0\r10.9.8.1\r";
const std::string questions =
    "IP addr    :10.9.8.7\r\nNetmask    :255.255.255.0\r\nGateway    :10.9.8.1\r\n";
const std::string settling = "Configuring management port..." + std::string(20, '.') + "\r\n";
const std::string applied =
    questions + "\tNetmask    : 255.255.255.0\r\n\tGateway    : 10.9.8.1\r\n" + settling;
const std::string static_journal =
    "ifconfig eth0 10.9.8.7\n"
    "ifconfig eth0 down\n"
    "ifconfig eth0 netmask 255.255.255.0\n"
    "ifconfig eth0 up\n"
    "route add default gw 10.9.8.1\n";

INSTANTIATE_TEST_SUITE_P(
    Peers, OnEth0,
    // Where the link is up or down the settings' rows show its verdict.
    testing::Values(NetCase{"link_without_eth0", Peer::absent, mgmt_link_up, "", 0,
                            "Open Interface eth0 error.\r\n", ""},
                    NetCase{"static_settings", Peer::up, +[] { return configure_mgmt_port(0); },
                            typed, 1, applied, static_journal, 26},
                    NetCase{"static_settings_on_a_link_that_stays_down", Peer::down,
                            +[] { return configure_mgmt_port(0); }, typed, 0,
                            applied + "Mgmt link not available. Quitting.\r\n", static_journal, 26},
                    NetCase{"no_netmask_no_down_up_cycle", Peer::up,
                            +[] { return configure_mgmt_port(0); }, "10.9.8.7\r\r\r", 1,
                            "IP addr    :10.9.8.7\r\nNetmask    :\r\nGateway    :\r\n" + settling,
                            "ifconfig eth0 10.9.8.7\n", 26},
                    NetCase{"dhcp_runs_the_client_once", Peer::up,
                            +[] { return configure_mgmt_port(1); }, "y\r", 1,
                            "Confirm: Use DHCP for network configuration? y/N: y\r\n\r\n",
                            "dhclient -1 eth0\n", 3}),
    [](const testing::TestParamInfo<NetCase>& info) { return std::string(info.param.name); });

}  // namespace
