#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/files.hpp"
#include "rescue/mgmt_port.hpp"

int mgmt_link_up() {
    const platform::unique_fd sock(socket(AF_INET, SOCK_DGRAM, 0));
    if (sock.get() < 0) {
        std::puts("Raw Socket open error");
        return 0;
    }
    const char* name = "eth0";
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(sock.get(), SIOCGIFINDEX, &request) < 0) {
        std::printf("Open Interface %s error.\n", name);
        return 0;
    }
    if (ioctl(sock.get(), SIOCGIFFLAGS, &request) < 0) {
        std::puts("Open flags error.");
        return 0;
    }
    const unsigned flags = static_cast<unsigned short>(request.ifr_flags);
    ethtool_value link{};
    link.cmd = ETHTOOL_GLINK;
    link.data = 0;
    request.ifr_data = reinterpret_cast<char*>(&link);
    if (ioctl(sock.get(), SIOCETHTOOL, &request) < 0) {
        std::puts("EthTool GLINK error.");
        return 0;
    }
    return link.data != 0 && (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0 ? 1 : 0;
}
