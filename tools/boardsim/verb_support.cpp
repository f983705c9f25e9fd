#include "verb_support.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "platform/files.hpp"
#include "sim/board.hpp"

namespace boardsim {

namespace fs = std::filesystem;

namespace {

std::optional<unsigned long> number(const std::string& text, unsigned long max) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

const std::map<std::string, Field> eeprom_fields = {
    {"serial", {0x000D, 12, Field::Kind::text}},
    {"boot-slot", {0x0100, 1, Field::Kind::byte}},
    {"slot1-time", {0x0108, 7, Field::Kind::bytes}},
    {"slot2-time", {0x0110, 7, Field::Kind::bytes}},
    {"booted-image", {0x013A, 1, Field::Kind::byte}},
    {"usb-enable", {0x013B, 1, Field::Kind::byte}},
};

// board.conf's own reader judges the value, so nothing is accepted here that a boot refuses.
CLI::Validator board_conf(const std::string& key, char separator) {
    return CLI::Validator(
        [key, separator](std::string& value) -> std::string {
            std::string as_conf = value;
            std::replace(as_conf.begin(), as_conf.end(), separator, ' ');
            const std::string why = sim::config_value_error(key, as_conf);
            return why.empty() ? why : value + ": " + why;
        },
        "");
}

// Seconds as a decimal number: above zero, or from zero when ZERO is allowed.
CLI::Validator seconds(bool zero) {
    return CLI::Validator(
        [zero](std::string& text) -> std::string {
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0 || (v == 0 && !zero) ||
                v > 1e6) {
                return text + ": expected seconds, a number " + (zero ? "from 0" : "above 0") +
                       " up to 1000000";
            }
            return {};
        },
        "");
}

// The whole file, or nullopt after saying why it cannot be read.
std::optional<std::vector<std::uint8_t>> read_file(const fs::path& path) {
    const platform::unique_file in = platform::open_file(path.c_str(), "rb");
    std::vector<std::uint8_t> bytes;
    if (in) {
        std::uint8_t chunk[65536];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
    }
    if (!in || std::ferror(in.get())) {
        std::fprintf(stderr, "boardsim: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    return bytes;
}

std::string hex_bytes(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t n) {
    std::string out;
    char cell[4];
    for (std::size_t i = from; i < from + n && i < bytes.size(); ++i) {
        std::snprintf(cell, sizeof cell, "%02x", bytes[i]);
        out += (out.empty() ? "" : " ") + std::string(cell);
    }
    return out;
}

bool is_board(const fs::path& root) {
    if (fs::exists(root / "sim/board.conf")) {
        return true;
    }
    std::fprintf(stderr, "boardsim: %s is not a board (no sim/board.conf)\n", root.c_str());
    return false;
}

std::string field_text(const Field& field, const std::vector<std::uint8_t>& eeprom) {
    if (field.kind == Field::Kind::text) {
        std::string text;
        for (std::size_t i = 0; i < field.size; ++i) {
            const std::uint8_t c = eeprom[field.offset + i];
            if (c == 0) {
                break;
            }
            text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
        return text;
    }
    if (field.kind == Field::Kind::byte) {
        return std::to_string(eeprom[field.offset]);
    }
    return hex_bytes(eeprom, field.offset, field.size);
}

// The field's bytes, or the reason TEXT does not fit it.
std::variant<std::vector<std::uint8_t>, std::string> field_value(const Field& field,
                                                                 const std::string& text) {
    std::vector<std::uint8_t> bytes;
    if (field.kind == Field::Kind::text) {
        if (text.size() > field.size) {
            return "at most " + std::to_string(field.size) + " characters";
        }
        bytes.assign(text.begin(), text.end());
        bytes.resize(field.size, 0);
        return bytes;
    }
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        const auto value =
            field.kind == Field::Kind::bytes ? number("0x" + word, 0xFF) : number(word, 0xFF);
        if (!value) {
            break;
        }
        bytes.push_back(static_cast<std::uint8_t>(*value));
    }
    if (field.kind == Field::Kind::byte && bytes.size() != 1) {
        return "expected a number from 0 to 255";
    }
    if (bytes.size() != field.size || in >> word) {
        return "expected " + std::to_string(field.size) + " hex bytes";
    }
    return bytes;
}

void add_dir(CLI::App* sub, std::string& dir) {
    sub->add_option("DIR", dir, "the board's folder")->required()->type_name("");
}

}  // namespace boardsim
