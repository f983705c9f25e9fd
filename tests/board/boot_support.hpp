// Shared by the tests that boot images on simulated boards.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "sim/board.hpp"
#include "test_images.hpp"

namespace boardtest {

inline constexpr std::uint32_t booted_image_offset = 0x13A;
inline constexpr std::uint32_t boot_slot_offset = 0x100;

// What main has prepared before any boot path runs.
inline void prepare_platform() {
    register_handovers();
    i2c_open_buses();
    flash_init();
}

// Replaces the console as standard input by a file of shell commands, so that a shell the boot
// manager starts runs them and ends at their end instead of waiting for an operator.
inline void shell_runs(const std::string& commands) {
    std::ofstream("/tmp/shell-input") << commands;
    const int fd = open("/tmp/shell-input", O_RDONLY);
    dup2(fd, 0);
    close(fd);
}

inline const char* const shell_records = "echo shell >> /sim/journal.log\n";

// The rescue menu as the operator sees it, left at once with the key e (Exit).
inline const std::string rescue_exit =
    "Entering Rescue Mode.\r\n"
    "Please select one of the following options:\r\n"
    "\tX) Use xmodem 1K to serial download an image\r\n"
    "\tP) Physical presence (low security mode)\r\n"
    "\tR) Reboot\r\n"
    "\tE) Exit\r\n"
    "\r\nOption? : e\r\n";

inline std::uint8_t eeprom_byte(const Board& board, std::uint32_t offset) {
    return sim::read_eeprom(board.root()).value().at(offset);
}

inline void put_slot(const Board& board, int slot, const Bytes& content) {
    write_bytes(board.root() / ("user/images/image" + std::to_string(slot)), content);
}

inline const char* const app_banner =
    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n";
inline const char* const diags_banner =
    "install diags image\r\nbacktrace: starting /tmp/home/bin/mp.elf.strip\r\ndiagnostics up\r\n";

}  // namespace boardtest
