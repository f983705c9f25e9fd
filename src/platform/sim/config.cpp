#include "config.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "civil.hpp"

namespace sim {

const char* io_op_name(IoFault::Op op) {
    switch (op) {
        case IoFault::Op::erase:
            return "erase";
        case IoFault::Op::program:
            return "program";
        case IoFault::Op::read:
            return "read";
        case IoFault::Op::any:
            break;
    }
    return "any";
}

std::optional<IoFault::Op> io_op_from_name(std::string_view name) {
    for (const auto op :
         {IoFault::Op::erase, IoFault::Op::program, IoFault::Op::read, IoFault::Op::any}) {
        if (name == io_op_name(op)) {
            return op;
        }
    }
    return std::nullopt;
}

}  // namespace sim

namespace sim::detail {
namespace {

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::optional<std::uint64_t> parse_number(std::string_view text, std::uint64_t max) {
    const std::string s(text);
    if (s.empty() || s[0] == '-' || s[0] == '+') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max) {
        return std::nullopt;
    }
    return v;
}

std::vector<std::string> words(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

bool valid_missing(std::string_view name) {
    for (std::string_view d : {"bus0", "bus1", "eeprom", "rtc", "led", "port", "mem"}) {
        if (name == d) {
            return true;
        }
    }
    return partition_index(name).has_value();
}

// Applies one key; returns a reason on failure.
std::string apply(BoardConfig& c, std::string_view key, std::string_view value) {
    if (const auto dot = key.find('.'); dot != std::string_view::npos) {
        if (const auto index = partition_index(key.substr(0, dot))) {
            const auto field = key.substr(dot + 1);
            const auto v = parse_number(value, 0xFFFFFFFFu);
            if (!v) {
                return "bad number";
            }
            if (field == "size") {
                c.partitions[*index].size = static_cast<std::uint32_t>(*v);
            } else if (field == "erase_size") {
                c.partitions[*index].erase_size = static_cast<std::uint32_t>(*v);
            } else {
                return "unknown key";
            }
            return {};
        }
    }
    if (key == "rtc.base") {
        if (!parse_datetime(value)) {
            return "expected YYYY-MM-DD hh:mm:ss";
        }
        c.rtc_base = std::string(value);
    } else if (key == "rtc.host_clock") {
        const auto v = parse_number(value, 1);
        if (!v) {
            return "expected 0 or 1";
        }
        c.rtc_host_clock = *v == 1;
    } else if (key == "rtc.control") {
        const auto w = words(value);
        if (w.size() != c.rtc_control.size()) {
            return "expected seven bytes";
        }
        for (std::size_t i = 0; i < w.size(); ++i) {
            const auto v = parse_number(w[i], 0xFF);
            if (!v) {
                return "bad byte";
            }
            c.rtc_control[i] = static_cast<std::uint8_t>(*v);
        }
    } else if (key == "time.scale") {
        const std::string s(value);
        char* end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        if (s.empty() || *end != '\0' || !(v >= 0.0) || v > 1000.0) {
            return "expected a number from 0 to 1000";
        }
        c.time_scale = v;
    } else if (key == "fault.missing") {
        for (const auto& w : words(value)) {
            if (!valid_missing(w)) {
                return "unknown device " + w;
            }
            c.faults.missing.push_back(w);
        }
    } else if (key == "fault.io") {
        const auto w = words(value);
        if (w.size() != 3) {
            return "expected <partition> <erase|program|read|any> <N>";
        }
        IoFault f;
        if (!partition_index(w[0])) {
            return "unknown partition " + w[0];
        }
        f.partition = w[0];
        const auto op = io_op_from_name(w[1]);
        if (!op) {
            return "unknown operation " + w[1] + " (erase, program, read or any)";
        }
        f.op = *op;
        const auto n = parse_number(w[2], 0xFFFFFFFFu);
        if (!n || *n == 0) {
            return "the count " + w[2] + " is not a number from 1 to 4294967295";
        }
        f.nth = static_cast<std::uint32_t>(*n);
        c.faults.io_errors.push_back(f);
    } else if (key == "fault.power_cut") {
        const auto v = parse_number(value, 0xFFFFFFFFu);
        if (!v) {
            return "bad number";
        }
        c.faults.power_cut_after = static_cast<std::uint32_t>(*v);
    } else {
        return "unknown key";
    }
    return {};
}

// Applies one line; returns "KEY = VALUE: reason" on failure.
std::string apply_line(BoardConfig& c, std::string_view line) {
    if (const auto hash = line.find('#'); hash != std::string_view::npos) {
        line = line.substr(0, hash);
    }
    line = trim(line);
    if (line.empty()) {
        return {};
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::string(line) + ": expected key = value";
    }
    const auto key = trim(line.substr(0, eq));
    const auto value = trim(line.substr(eq + 1));
    const std::string why = apply(c, key, value);
    return why.empty() ? why : std::string(key) + " = " + std::string(value) + ": " + why;
}

}  // namespace

std::optional<BoardConfig> parse_board_conf(const std::string& text, std::string* error) {
    BoardConfig c;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string why = apply_line(c, line);
        if (!why.empty()) {
            if (error) {
                *error = "line " + std::to_string(number) + ": " + why;
            }
            return std::nullopt;
        }
    }
    return c;
}

std::string config_error(const BoardConfig& config) {
    BoardConfig scratch;
    std::istringstream in(format_board_conf(config));
    for (std::string line; std::getline(in, line);) {
        if (std::string why = apply_line(scratch, line); !why.empty()) {
            return why;
        }
    }
    return {};
}

std::string config_value_error(std::string_view key, std::string_view value) {
    BoardConfig scratch;
    return apply(scratch, key, value);
}

std::string format_board_conf(const BoardConfig& c) {
    std::ostringstream out;
    char buf[64];
    out << "# Simulated board\n";
    for (std::size_t i = 0; i < partition_names.size(); ++i) {
        std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(c.partitions[i].size));
        out << partition_names[i] << ".size = " << buf << '\n';
        std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(c.partitions[i].erase_size));
        out << partition_names[i] << ".erase_size = " << buf << '\n';
    }
    out << "rtc.base = " << c.rtc_base << '\n';
    out << "rtc.host_clock = " << (c.rtc_host_clock ? 1 : 0) << '\n';
    out << "rtc.control =";
    for (auto b : c.rtc_control) {
        std::snprintf(buf, sizeof buf, " 0x%02X", static_cast<unsigned>(b));
        out << buf;
    }
    out << '\n';
    std::snprintf(buf, sizeof buf, "%.9g", c.time_scale);
    out << "time.scale = " << buf << '\n';
    if (!c.faults.missing.empty()) {
        out << "fault.missing =";
        for (const auto& m : c.faults.missing) {
            out << ' ' << m;
        }
        out << '\n';
    }
    for (const auto& f : c.faults.io_errors) {
        out << "fault.io = " << f.partition << ' ' << io_op_name(f.op) << ' ' << f.nth << '\n';
    }
    if (c.faults.power_cut_after != 0) {
        out << "fault.power_cut = " << c.faults.power_cut_after << '\n';
    }
    return out.str();
}

}  // namespace sim::detail
