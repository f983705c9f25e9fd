// Boards whose root file system and low security marker set what the signature policy allows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board_session.hpp"
#include "signer.hpp"
#include "test_images.hpp"

namespace sectest {

// A board with the serial number (unset: nothing in the EEPROM; "": zeros) whose named device
// fails (none: "").
inline sim::BoardConfig board_config(std::optional<std::string> serial = "SN1234567890",
                                     const std::string& missing = "") {
    sim::BoardConfig config;
    config.serial = std::move(serial);
    if (!missing.empty()) {
        config.faults.missing = {missing};
    }
    return config;
}

// A root file system signed with the production key (a secured switch), with the development
// key, or with a header that carries no signature (both: developer images).
enum class Rfs { production, development, unsigned_header };

inline void set_mode(const boardtest::Board& board, Rfs rfs, bool low) {
    const std::vector<std::uint8_t> header =
        rfs == Rfs::unsigned_header
            ? std::vector<std::uint8_t>(64, 0x11)
            : signed_sub_image(rfs == Rfs::production ? "production" : "development",
                               std::vector<std::uint8_t>(1000, 0x33));
    sim::write_partition(board.root(), "rfs", header);
    if (low) {
        boardtest::write_text(board.root() / "tmp/lowsec", "marmoset\n");
    }
}

}  // namespace sectest
