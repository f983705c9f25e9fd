#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <string>

#include "platform/seam.hpp"
#include "rescue/mgmt_port.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

constexpr char kMgmtInterface = '0';
constexpr unsigned kSettleDots = 20;

std::string dotted(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    return inet_ntoa(a);
}

void run(const std::string& command) {
    sys::system_command(command.c_str());
}

std::string interface_command(char letter, const char* rest) {
    return std::string("ifconfig eth") + letter + rest;
}

}  // namespace

int configure_mgmt_port(std::uint8_t dhcp_allowed) {
    std::uint8_t dhcp = 0;
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    std::uint32_t gateway = 0;
    if (ask_network_settings(&dhcp, &address, &netmask, &gateway, dhcp_allowed) == 0) {
        return 0;
    }
    return apply_network_settings(dhcp, kMgmtInterface, address, netmask, gateway);
}

int ask_network_settings(std::uint8_t* dhcp, std::uint32_t* address, std::uint32_t* netmask,
                         std::uint32_t* gateway, std::uint8_t dhcp_allowed) {
    *dhcp = 0;
    if (dhcp_allowed != 0 && access("/bin/dhclient", F_OK) == 0) {
        std::fputs("Confirm: Use DHCP for network configuration? y/N: ", stdout);
        std::fflush(stdout);
        std::array<char, 128> line{};
        read_line(line);
        if (interrupted != 0) {
            return 0;
        }
        if (std::toupper(static_cast<unsigned char>(line[0])) == 'Y') {
            *dhcp = 1;
        }
        std::putchar('\n');
    }
    if (*dhcp == 1) {
        return 1;
    }
    return ask_ip_address("IP addr    :", address, 1, 1) != 0 &&
                   ask_ip_address("Netmask    :", netmask, 0, 0) != 0 &&
                   ask_ip_address("Gateway    :", gateway, 0, 1) != 0
               ? 1
               : 0;
}

int ask_ip_address(const char* prompt, std::uint32_t* address, int required, int host_check) {
    for (;;) {
        std::fputs(prompt, stdout);
        std::fflush(stdout);
        std::array<char, 128> line{};
        read_line(line);
        if (line[0] == 'q' || line[0] == 'Q') {
            return 0;
        }
        if (line[0] == '\0' && required == 0) {
            return 1;
        }
        in_addr parsed{};
        if (inet_aton(line.data(), &parsed) == 0) {
            std::puts("Invalid IP address. Try again please");
            continue;
        }
        *address = parsed.s_addr;
        if (host_check == 0 || is_valid_host_address(*address) != 0) {
            return 1;
        }
        std::printf("Invalid IP address %s. Try again please\n", line.data());
    }
}

int is_valid_host_address(std::uint32_t address) {
    const std::uint32_t first_octet = ntohl(address) >> 24;
    return address != 0 && first_octet != 0 && first_octet < 240 ? 1 : 0;
}

int apply_network_settings(std::uint8_t dhcp, char letter, std::uint32_t address,
                           std::uint32_t netmask, std::uint32_t gateway) {
    if (dhcp != 0) {
        run(std::string("dhclient -1 eth") + letter);
        platform::clock_sleep(3);
    } else {
        run(interface_command(letter, (" " + dotted(address) + "\n").c_str()));
        if (netmask != 0) {
            std::printf("\tNetmask    : %s\n", dotted(netmask).c_str());
            std::fflush(stdout);
            run(interface_command(letter, " down\n"));
            run(interface_command(letter, (" netmask " + dotted(netmask) + "\n").c_str()));
            run(interface_command(letter, " up\n"));
        }
        platform::clock_sleep(5);
        if (gateway != 0) {
            std::printf("\tGateway    : %s\n", dotted(gateway).c_str());
            std::fflush(stdout);
            run("route add default gw " + dotted(gateway) + "\n");
        }
        std::fputs("Configuring management port...", stdout);
        for (unsigned i = 0; i < kSettleDots; ++i) {
            platform::clock_sleep(1);
            std::putchar('.');
            std::fflush(stdout);
        }
        std::putchar('\n');
        std::fflush(stdout);
        platform::clock_sleep(1);
    }
    if (letter == kMgmtInterface && mgmt_link_up() == 0) {
        std::puts("Mgmt link not available. Quitting.");
        return 0;
    }
    return 1;
}
