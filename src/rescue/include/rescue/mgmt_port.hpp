// Bringing up the management Ethernet port from the console: DHCP or a typed address, netmask
// and gateway; the port's MAC address; the link check. Addresses are in network byte order, as
// inet_aton delivers them.
#pragma once

#include <cstdint>

// Asks for the settings and applies them. 1 when the port is configured and has a link, 0 when
// the operator quit or the link is down.
int configure_mgmt_port(std::uint8_t dhcp_allowed);

// The question dialogue: DHCP (asked only when dhcp_allowed and /bin/dhclient exists), else the
// address (required), netmask and gateway (each optional; the addresses must pass
// is_valid_host_address). 1 when the settings are complete, 0 when the operator quit or SIGINT
// ended the DHCP question. *dhcp is always written; an address output only when answered.
int ask_network_settings(std::uint8_t* dhcp, std::uint32_t* address, std::uint32_t* netmask,
                         std::uint32_t* gateway, std::uint8_t dhcp_allowed);

// One address question, repeated until answered. 1 with the address stored (left alone for an
// empty optional answer), 0 when the answer starts with q or Q.
int ask_ip_address(const char* prompt, std::uint32_t* address, int required, int host_check);

// 1 when the address is not 0 and its first octet is neither 0 nor 240 or above.
int is_valid_host_address(std::uint32_t address);

// Runs dhclient, or ifconfig (and for a netmask, down, netmask, up) and route for a gateway, on
// eth<letter>, and waits for the port to settle (3 board seconds after DHCP, about 26 otherwise);
// the commands' statuses are not checked. 0 when letter is '0' and mgmt_link_up finds no link
// ("Mgmt link not available. Quitting."), else 1.
int apply_network_settings(std::uint8_t dhcp, char letter, std::uint32_t address,
                           std::uint32_t netmask, std::uint32_t gateway);

// 1 when eth0 is up and running and its driver reports a link; 0 otherwise, after naming the
// failed step when the socket or an ioctl fails.
int mgmt_link_up();

// Asks for a MAC address (six colon-separated fields of one or two hexadecimal digits, nothing
// else) until one is typed and gives it to eth0 with ifconfig. 1 after running the command,
// whatever its status; 0 on SIGINT.
int set_mgmt_mac_address();
