#include <array>
#include <cctype>
#include <cstdio>
#include <string>

#include "rescue/mgmt_port.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

constexpr const char* kPrompt = "MAC address (format nn:nn:nn:nn:nn:nn): ";

// Six fields of one or two hexadecimal digits joined by colons, and nothing else: the line goes
// to the shell as typed, so anything more could run a command.
bool is_mac_address(const char* line) {
    for (int field = 0; field < 6; ++field) {
        int digits = 0;
        while (std::isxdigit(static_cast<unsigned char>(*line)) != 0) {
            ++line;
            ++digits;
        }
        if (digits < 1 || digits > 2) {
            return false;
        }
        if (field < 5 && *line++ != ':') {
            return false;
        }
    }
    return *line == '\0';
}

}  // namespace

int set_mgmt_mac_address() {
    std::fputs(kPrompt, stdout);
    std::fflush(stdout);
    for (;;) {
        std::array<char, 18> line{};
        read_line(line);
        if (interrupted != 0) {
            return 0;
        }
        if (is_mac_address(line.data())) {
            sys::system_command(
                (std::string("ifconfig eth0 hw ether ") + line.data() + "\n").c_str());
            return 1;
        }
        std::puts("Invalid MAC address. Try again please");
        std::fputs(kPrompt, stdout);
        std::fflush(stdout);
    }
}
