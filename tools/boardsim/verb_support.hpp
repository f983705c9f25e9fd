// What the verbs of boardsim share: the EEPROM's fields, checks of values against board.conf's
// reader, and small file and text helpers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli.hpp"

namespace boardsim {

struct Field {
    std::uint32_t offset;
    std::size_t size;
    enum class Kind { text, byte, bytes } kind;
};

// The EEPROM fields boardsim reads and writes, by name.
extern const std::map<std::string, Field> eeprom_fields;

// The boot manager uses a USB drive only when the EEPROM's USB enable byte holds this value.
inline constexpr std::uint8_t usb_enabled = 213;
inline constexpr std::uint8_t usb_disabled = 0;

// board.conf's own reader judges the value, so nothing is accepted here that a boot refuses;
// separator stands for the blanks of board.conf's form in the option's value.
CLI::Validator board_conf(const std::string& key, char separator = ' ');
// Seconds as a decimal number: above zero, or from zero when zero is allowed.
CLI::Validator seconds(bool zero);

// The whole file, or nullopt after saying why it cannot be read.
std::optional<std::vector<std::uint8_t>> read_file(const std::filesystem::path& path);
// n bytes from `from` as two-digit hex separated by blanks.
std::string hex_bytes(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t n);
// Whether root holds a board; says so on standard error when not.
bool is_board(const std::filesystem::path& root);

// A field as text: the serial as characters, a byte in decimal, several bytes in hex.
std::string field_text(const Field& field, const std::vector<std::uint8_t>& eeprom);
// The field's bytes for text, or the reason text does not fit it.
std::variant<std::vector<std::uint8_t>, std::string> field_value(const Field& field,
                                                                 const std::string& text);

using tools::verb;

// The DIR argument every verb takes.
void add_dir(CLI::App* sub, std::string& dir);

}  // namespace boardsim
