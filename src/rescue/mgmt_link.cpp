#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "rescue/mgmt_port.hpp"

namespace {

class Socket {
public:
    Socket() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

int mgmt_link_up() {
    const Socket sock;
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
