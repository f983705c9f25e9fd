// What the tests that boot, install and rescue on simulated boards share: the set-up main does,
// the images they offer and the console texts they expect.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "crypto/crypto.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "image/records.hpp"
#include "image/writer.hpp"
#include "install/installer.hpp"
#include "signer.hpp"
#include "sim/board.hpp"
#include "test_images.hpp"

namespace boardtest {

inline constexpr std::uint32_t booted_image_offset = 0x13A;
inline constexpr std::uint32_t boot_slot_offset = 0x100;
// An operation that returned (rather than starting something or rebooting) exits with this
// plus its result.
inline constexpr int returned = 10;

// What main has prepared before any boot path runs.
inline void prepare_platform() {
    register_handovers();
    i2c_open_buses();
    flash_init();
}

// The same, with the crypto library that checks signatures.
inline void prepare_installer() {
    prepare_platform();
    CRYPTO_initLibrary();
}

// The boot manager as the board starts it, from a fresh process.
inline int start_up() {
    boot_main();
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
// A debugger that records how it was asked to run the program, then runs it.
inline const char* const debugger = "#!/bin/sh\necho \"gdb $*\" >> /sim/journal.log\nexec \"$@\"\n";

inline const std::string rescue_entering = "Entering Rescue Mode.\r\n";
inline const std::string rescue_options =
    "Please select one of the following options:\r\n"
    "\tX) Use xmodem 1K to serial download an image\r\n"
    "\tP) Physical presence (low security mode)\r\n"
    "\tR) Reboot\r\n"
    "\tE) Exit\r\n";
inline const std::string rescue_prompt = "\r\nOption? : ";
// The rescue menu as the operator sees it, left at once with the key e (Exit).
inline const std::string rescue_exit = rescue_entering + rescue_options + rescue_prompt + "e\r\n";

inline const char* const app_banner =
    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n";
inline const char* const diags_banner =
    "install diags image\r\nbacktrace: starting /tmp/home/bin/mp.elf.strip\r\ndiagnostics up\r\n";
inline const std::string extracting =
    "\r\nExtracting images ... Do *NOT* power cycle the switch.\r\n";
inline const std::string verified = " Image signature verified. ";

// What the flash and slot writers show for one block or piece.
inline const std::string one_block = "     \b\b\b\b000%\b\b\b\b100%\r\n";
inline const std::string one_piece = "    \b\b\b\b100%\b\b\b\b100%\r\n";

// The console with each run of percentages shown while writing cut to one "%".
inline std::string without_progress(const std::string& console) {
    static const std::regex progress("(\b\b\b\b[0-9]{3}%)+");
    return std::regex_replace(console, progress, "%");
}

inline std::uint8_t eeprom_byte(const Board& board, std::uint32_t offset) {
    return sim::read_eeprom(board.root()).value().at(offset);
}

inline void put_slot(const Board& board, int slot, const Bytes& content) {
    write_bytes(board.root() / ("user/images/image" + std::to_string(slot)), content);
}

inline void put_bundle(const Board& board, const Bytes& bundle,
                       const std::string& path = "tmp/bundle.img") {
    write_bytes(board.root() / path, bundle);
}

// The sub-image the application tarball makes, sealed.
inline Bytes good_app() {
    return subimage(image::TYPE_APPLICATION, application_tarball());
}

inline Bytes damaged(Bytes sub) {
    sub.back() ^= 0x01;
    return sub;
}

// A sealed version-3 sub-image with the given release number.
inline Bytes versioned(std::uint32_t type, std::uint32_t version, const Bytes& payload,
                       std::vector<image::record_spec> records = {}) {
    return image::make_subimage({type, version, 3, std::move(records), payload}).value();
}

// The same, carrying a signature of its payload made with the sample key "production".
inline Bytes production_signed(std::uint32_t type, std::uint32_t version, const Bytes& payload) {
    const Bytes signature = sectest::sign("production", payload);
    Bytes body{static_cast<std::uint8_t>(signature.size() >> 8),
               static_cast<std::uint8_t>(signature.size())};
    body.insert(body.end(), signature.begin(), signature.end());
    return versioned(type, version, payload, {{image::record_signature, body}});
}

// install_bundle of /tmp/bundle.img as main would call it, after the platform is prepared.
inline std::function<int()> install_as(std::uint8_t check_version, std::uint32_t slot) {
    return [check_version, slot] {
        prepare_installer();
        return install_bundle("/tmp/bundle.img", check_version, slot);
    };
}

inline Bytes partition_prefix(const Board& board, const char* name, std::size_t size) {
    const Bytes all = sim::read_partition(board.root(), name).value();
    return Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(size));
}

inline bool erased(const Board& board, const char* name) {
    const Bytes all = sim::read_partition(board.root(), name).value();
    return std::all_of(all.begin(), all.end(), [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace boardtest
