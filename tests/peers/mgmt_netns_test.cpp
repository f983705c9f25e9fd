// The management-port dialogue and link check against a veth pair whose board end is eth0,
// inside a network namespace that lives only as long as the process that made it. The host's
// own interfaces are never looked at.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <functional>
#include <string>

#include "board_session.hpp"
#include "rescue/mgmt_port.hpp"

namespace {

using boardtest::Board;
using boardtest::keys;

constexpr int kNoNamespace = 77;

std::string net_namespace() {
    std::array<char, 64> link{};
    const ssize_t n = readlink("/proc/self/ns/net", link.data(), link.size() - 1);
    return n > 0 ? std::string(link.data(), static_cast<std::size_t>(n)) : std::string();
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

// Runs body in a child inside a fresh network namespace; its exit status, or kNoNamespace when
// no namespace could be made (then nothing was run).
int in_private_network(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(enter_private_network() ? body() : kNoNamespace);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

enum class Peer { absent, up, down };

// Only ever called inside the private namespace.
bool make_eth0(Peer peer) {
    if (peer == Peer::absent) {
        return true;
    }
    const std::string set_peer = peer == Peer::up ? "up" : "down";
    const std::string command =
        "ip link add eth0 type veth peer name eth0peer && ip link set eth0 up && "
        "ip link set eth0peer " +
        set_peer;
    return std::system(command.c_str()) == 0;
}

struct Run {
    int code = -1;
    std::string console;
};

// The operation on a board inside a namespace with eth0 as asked; what its console showed.
Run on_network(Board& board, Peer peer, const std::function<int()>& op,
               const std::string& typed = "") {
    const auto transcript = board.root() / "console.txt";
    const int code = in_private_network([&] {
        if (!make_eth0(peer)) {
            return kNoNamespace;
        }
        auto result = board.run(op, keys(typed));
        std::ofstream(transcript, std::ios::binary) << result.console;
        return result.exit_code;
    });
    std::ifstream in(transcript, std::ios::binary);
    return {code, std::string(std::istreambuf_iterator<char>(in), {})};
}

#define SKIP_WITHOUT_NAMESPACE(run)                                   \
    if ((run).code == kNoNamespace) {                                 \
        GTEST_SKIP() << "no network namespace with a veth pair here"; \
    }

struct LinkCase {
    const char* name;
    Peer peer;
    int up;
    std::string console;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.name;
}

class MgmtLink : public testing::TestWithParam<LinkCase> {};

TEST_P(MgmtLink, FollowsTheCarrierOfEth0) {
    Board board;
    const auto run = on_network(board, GetParam().peer, mgmt_link_up);
    SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.code, GetParam().up);
    EXPECT_EQ(run.console, GetParam().console);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, MgmtLink,
    testing::Values(LinkCase{"peer_up", Peer::up, 1, ""}, LinkCase{"peer_down", Peer::down, 0, ""},
                    LinkCase{"no_eth0", Peer::absent, 0, "Open Interface eth0 error.\r\n"}),
    [](const testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

const std::string questions =
    "IP addr    :10.9.8.7\r\nNetmask    :255.255.255.0\r\nGateway    :10.9.8.1\r\n";
const std::string applied =
    "\tNetmask    : 255.255.255.0\r\n\tGateway    : 10.9.8.1\r\nConfiguring management port..." +
    std::string(20, '.') + "\r\n";
const std::string static_journal =
    "ifconfig eth0 10.9.8.7\n"
    "ifconfig eth0 down\n"
    "ifconfig eth0 netmask 255.255.255.0\n"
    "ifconfig eth0 up\n"
    "route add default gw 10.9.8.1\n";

TEST(ConfigureMgmtPort, StaticSettingsRunTheirCommandsAndNeedTheLink) {
    Board board;
    const auto run = on_network(
        board, Peer::up, [] { return configure_mgmt_port(0); },
        "10.9.8.7\r255.255.255.0\r10.9.8.1\r");
    SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.console, questions + applied);
    EXPECT_EQ(board.journal(), static_journal);
}

TEST(ConfigureMgmtPort, ALinkThatStaysDownFailsAfterTheCommands) {
    Board board;
    const auto run = on_network(
        board, Peer::down, [] { return configure_mgmt_port(0); },
        "10.9.8.7\r255.255.255.0\r10.9.8.1\r");
    SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.console, questions + applied + "Mgmt link not available. Quitting.\r\n");
    EXPECT_EQ(board.journal(), static_journal);
}

TEST(ConfigureMgmtPort, WithoutNetmaskNoDownUpCycle) {
    Board board;
    const auto run = on_network(
        board, Peer::up, [] { return configure_mgmt_port(0); }, "10.9.8.7\r\r\r");
    SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(board.journal(), "ifconfig eth0 10.9.8.7\n");
}

TEST(ConfigureMgmtPort, DhcpRunsTheClientOnce) {
    Board board;
    const auto run = on_network(
        board, Peer::up, [] { return configure_mgmt_port(1); }, "y\r");
    SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.console, "Confirm: Use DHCP for network configuration? y/N: y\r\n\r\n");
    EXPECT_EQ(board.journal(), "dhclient -1 eth0\n");
}

}  // namespace
