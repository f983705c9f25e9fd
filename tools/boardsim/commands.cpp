#include "commands.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "env_image.hpp"
#include "rootfs.hpp"
#include "run.hpp"
#include "sim/board.hpp"
#include "usb.hpp"

namespace boardsim {

const char* const create_usage =
    "boardsim create DIR [--serial TEXT] [--boot-slot N] [--usb-enable N]\n"
    "                    [--rtc 'YYYY-MM-DD hh:mm:ss'] [--time-scale X] [--bootmgr PATH]\n"
    "    a new board in DIR: busybox, rx, the stub tools, /dev, erased flash, EEPROM, clock";
const char* const run_usage =
    "boardsim run DIR [--boots N] [--timeout SECONDS]\n"
    "    boots the board with this terminal as console, again after each reboot, up to N boots;\n"
    "    exit status 0 application started, 3 rebooted, 4 power cut, 5 crashed, 6 timed out";
const char* const env_usage =
    "boardsim env DIR KEY=VALUE...\n"
    "    writes the boot loader's environment partition with these settings";
const char* const eeprom_usage =
    "boardsim eeprom DIR get|set FIELD [VALUE]\n"
    "    FIELD: serial, boot-slot, booted-image, usb-enable, slot1-time, slot2-time\n"
    "    (times as seven hex clock register bytes, e.g. '30 15 09 00 05 12 26')";
const char* const flash_usage =
    "boardsim flash DIR read|write PARTITION FILE\n"
    "    PARTITION: uboot ubootenv devicetree kernel rfs rescue onie; a write pads with 0xFF";
const char* const usb_usage =
    "boardsim usb DIR attach SRC_DIR [--after SECONDS] | detach\n"
    "    a USB drive with SRC_DIR's files at /mnt/usb, ready (/tmp/usb) at the start of every\n"
    "    boot or SECONDS of board time into it";
const char* const fault_usage =
    "boardsim fault DIR [--clear] [--power-cut N] [--io PARTITION:erase|program|any:N]\n"
    "                   [--missing DEVICE] [--tool-fails NAME] [--tool-works NAME]\n"
    "    DEVICE: bus0 bus1 eeprom rtc led port mem or a partition; NAME: a stub tool";
const char* const show_usage =
    "boardsim show DIR\n"
    "    partitions with their first bytes, EEPROM fields, LED log, journal tail";

namespace {

namespace fs = std::filesystem;

struct Field {
    std::uint32_t offset;
    std::size_t size;
    enum class Kind { text, byte, bytes } kind;
};

const std::map<std::string, Field> eeprom_fields = {
    {"serial", {0x000D, 12, Field::Kind::text}},
    {"boot-slot", {0x0100, 1, Field::Kind::byte}},
    {"slot1-time", {0x0108, 7, Field::Kind::bytes}},
    {"slot2-time", {0x0110, 7, Field::Kind::bytes}},
    {"booted-image", {0x013A, 1, Field::Kind::byte}},
    {"usb-enable", {0x013B, 1, Field::Kind::byte}},
};

int usage_error(const char* usage) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return 2;
}

// Splits arguments into positional ones and --name value options.
struct Parsed {
    std::vector<std::string> positional;
    std::multimap<std::string, std::string> options;
    bool ok = true;
};

Parsed parse(const Args& args, const std::vector<std::string>& flags) {
    Parsed p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) {
            p.positional.push_back(args[i]);
            continue;
        }
        const std::string name = args[i].substr(2);
        if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
            p.options.emplace(name, "");
        } else if (i + 1 < args.size()) {
            p.options.emplace(name, args[++i]);
        } else {
            p.ok = false;
        }
    }
    return p;
}

std::optional<std::string> option(const Parsed& p, const std::string& name) {
    const auto it = p.options.find(name);
    return it == p.options.end() ? std::nullopt : std::optional(it->second);
}

std::optional<unsigned long> number(const std::string& text, unsigned long max) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint8_t> byte(const std::string& text) {
    const auto value = number(text, 0xFF);
    return value ? std::optional(static_cast<std::uint8_t>(*value)) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
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

std::optional<std::vector<std::uint8_t>> field_value(const Field& field, const std::string& text) {
    std::vector<std::uint8_t> bytes;
    if (field.kind == Field::Kind::text) {
        if (text.size() > field.size) {
            return std::nullopt;
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
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(*value));
    }
    return bytes.size() == field.size ? std::optional(bytes) : std::nullopt;
}

}  // namespace

int cmd_create(const Args& args) {
    const Parsed p = parse(args, {});
    if (!p.ok || p.positional.size() != 1) {
        return usage_error(create_usage);
    }
    const fs::path root = p.positional[0];
    sim::BoardConfig config;
    if (const auto serial = option(p, "serial")) {
        if (serial->size() > 12) {
            std::fprintf(stderr, "boardsim: the serial number has at most 12 characters\n");
            return 2;
        }
        config.serial = *serial;
    }
    for (const auto& [name, target] :
         {std::pair{"boot-slot", &config.boot_slot}, std::pair{"usb-enable", &config.usb_enable}}) {
        if (const auto text = option(p, name)) {
            const auto value = byte(*text);
            if (!value) {
                return usage_error(create_usage);
            }
            *target = *value;
        }
    }
    if (const auto rtc = option(p, "rtc")) {
        config.rtc_base = *rtc;
    }
    if (const auto scale = option(p, "time-scale")) {
        config.time_scale = std::strtod(scale->c_str(), nullptr);
    }
    RootfsSources sources = default_rootfs_sources();
    if (const auto bootmgr = option(p, "bootmgr")) {
        sources.boot_manager = *bootmgr;
    }
    if (!create_rootfs(root, sources) || !sim::create_board_state(root, config)) {
        return 1;
    }
    const std::ofstream journal{root / "sim/journal.log", std::ios::app};  // the stubs append
    return 0;
}

int cmd_run(const Args& args) {
    const Parsed p = parse(args, {});
    if (!p.ok || p.positional.size() != 1) {
        return usage_error(run_usage);
    }
    RunOptions options;
    if (const auto boots = option(p, "boots")) {
        const auto n = number(*boots, 1000000);
        if (!n || *n == 0) {
            return usage_error(run_usage);
        }
        options.boots = static_cast<unsigned>(*n);
    }
    if (const auto timeout = option(p, "timeout")) {
        options.timeout_seconds = std::strtod(timeout->c_str(), nullptr);
    }
    const auto outcome = run_board(p.positional[0], options);
    return outcome ? static_cast<int>(*outcome) : 1;
}

int cmd_env(const Args& args) {
    if (args.empty()) {
        return usage_error(env_usage);
    }
    const fs::path root = args[0];
    const std::vector<std::string> settings(args.begin() + 1, args.end());
    for (const std::string& setting : settings) {
        if (setting.find('=') == std::string::npos) {
            return usage_error(env_usage);
        }
    }
    const auto config = is_board(root) ? sim::load_board_config(root) : std::nullopt;
    if (!config) {
        return 1;
    }
    const std::size_t size = config->partitions[*sim::partition_index("ubootenv")].size;
    const auto image = make_env_image(settings, size);
    if (!image) {
        std::fprintf(stderr, "boardsim: the settings do not fit into %zu bytes\n", size);
        return 1;
    }
    return sim::write_partition(root, "ubootenv", *image) ? 0 : 1;
}

int cmd_eeprom(const Args& args) {
    if (args.size() < 3 || (args[1] == "get" && args.size() != 3) ||
        (args[1] == "set" && args.size() != 4) || (args[1] != "get" && args[1] != "set")) {
        return usage_error(eeprom_usage);
    }
    const fs::path root = args[0];
    const auto field = eeprom_fields.find(args[2]);
    if (field == eeprom_fields.end()) {
        return usage_error(eeprom_usage);
    }
    if (!is_board(root)) {
        return 1;
    }
    if (args[1] == "get") {
        const auto eeprom = sim::read_eeprom(root);
        if (!eeprom) {
            return 1;
        }
        std::printf("%s\n", field_text(field->second, *eeprom).c_str());
        return 0;
    }
    const auto bytes = field_value(field->second, args[3]);
    if (!bytes) {
        return usage_error(eeprom_usage);
    }
    return sim::write_eeprom(root, field->second.offset, *bytes) ? 0 : 1;
}

int cmd_flash(const Args& args) {
    if (args.size() != 4 || (args[1] != "read" && args[1] != "write") ||
        !sim::partition_index(args[2])) {
        return usage_error(flash_usage);
    }
    const fs::path root = args[0];
    if (!is_board(root)) {
        return 1;
    }
    if (args[1] == "read") {
        const auto content = sim::read_partition(root, args[2]);
        std::ofstream out(args[3], std::ios::binary);
        if (!content || !out.write(reinterpret_cast<const char*>(content->data()),
                                   static_cast<std::streamsize>(content->size()))) {
            std::fprintf(stderr, "boardsim: reading %s into %s failed\n", args[2].c_str(),
                         args[3].c_str());
            return 1;
        }
        return 0;
    }
    auto content = read_file(args[3]);
    const auto current = sim::read_partition(root, args[2]);
    if (!content || !current || content->size() > current->size()) {
        std::fprintf(stderr, "boardsim: %s does not fit into %s\n", args[3].c_str(),
                     args[2].c_str());
        return 1;
    }
    content->resize(current->size(), 0xFF);
    return sim::write_partition(root, args[2], *content) ? 0 : 1;
}

int cmd_usb(const Args& args) {
    const Parsed p = parse(args, {});
    if (!p.ok || p.positional.size() < 2) {
        return usage_error(usb_usage);
    }
    const fs::path root = p.positional[0];
    if (!is_board(root)) {
        return 1;
    }
    if (p.positional[1] == "detach" && p.positional.size() == 2) {
        return usb_detach(root) ? 0 : 1;
    }
    if (p.positional[1] != "attach" || p.positional.size() != 3) {
        return usage_error(usb_usage);
    }
    const double after =
        option(p, "after") ? std::strtod(option(p, "after")->c_str(), nullptr) : 0.0;
    return usb_attach(root, p.positional[2], after) ? 0 : 1;
}

int cmd_fault(const Args& args) {
    const Parsed p = parse(args, {"clear"});
    if (!p.ok || p.positional.size() != 1) {
        return usage_error(fault_usage);
    }
    const fs::path root = p.positional[0];
    auto config = is_board(root) ? sim::load_board_config(root) : std::nullopt;
    if (!config) {
        return 1;
    }
    sim::FaultPlan plan = option(p, "clear") ? sim::FaultPlan{} : config->faults;
    for (const auto& [name, value] : p.options) {
        if (name == "power-cut") {
            const auto n = number(value, 0xFFFFFFFF);
            if (!n) {
                return usage_error(fault_usage);
            }
            plan.power_cut_after = static_cast<std::uint32_t>(*n);
        } else if (name == "io") {
            const auto first = value.find(':');
            const auto second = value.find(':', first + 1);
            if (second == std::string::npos) {
                return usage_error(fault_usage);
            }
            const std::string op = value.substr(first + 1, second - first - 1);
            const auto n = number(value.substr(second + 1), 0xFFFFFFFF);
            if (!n || !sim::partition_index(value.substr(0, first)) ||
                (op != "erase" && op != "program" && op != "any")) {
                return usage_error(fault_usage);
            }
            plan.io_errors.push_back({value.substr(0, first),
                                      op == "erase"     ? sim::IoFault::Op::erase
                                      : op == "program" ? sim::IoFault::Op::program
                                                        : sim::IoFault::Op::any,
                                      static_cast<std::uint32_t>(*n)});
        } else if (name == "missing") {
            plan.missing.push_back(value);
        } else if (name == "tool-fails" || name == "tool-works") {
            std::error_code ec;
            fs::create_directories(root / "sim/fail", ec);
            if (name == "tool-fails") {
                std::ofstream{root / "sim/fail" / value};
            } else {
                fs::remove(root / "sim/fail" / value, ec);
            }
        } else if (name != "clear") {
            return usage_error(fault_usage);
        }
    }
    if (option(p, "clear")) {
        std::error_code ec;
        fs::remove_all(root / "sim/fail", ec);
    }
    return sim::set_fault_plan(root, plan) ? 0 : 1;
}

int cmd_show(const Args& args) {
    if (args.size() != 1) {
        return usage_error(show_usage);
    }
    const fs::path root = args[0];
    if (!is_board(root)) {
        return 1;
    }
    std::printf("partitions:\n");
    for (const auto name : sim::partition_names) {
        const auto content = sim::read_partition(root, name);
        if (!content) {
            std::printf("  %-10s (unreadable)\n", std::string(name).c_str());
            continue;
        }
        std::printf("  %-10s %8zu bytes  %s\n", std::string(name).c_str(), content->size(),
                    hex_bytes(*content, 0, 24).c_str());
    }
    if (const auto eeprom = sim::read_eeprom(root)) {
        std::printf("eeprom:\n");
        for (const auto& [name, field] : eeprom_fields) {
            std::printf("  %-12s %s\n", name.c_str(), field_text(field, *eeprom).c_str());
        }
    }
    const auto leds = sim::read_led_log(root);
    std::printf("led log: %zu writes", leds.size());
    if (!leds.empty()) {
        std::printf(", last register 0x%02x = 0x%02x at %.6f s", leds.back().reg, leds.back().value,
                    static_cast<double>(leds.back().time_us) / 1e6);
    }
    std::printf("\nboard clock: %.6f s\njournal (last 10 lines):\n",
                static_cast<double>(sim::read_clock_us(root)) / 1e6);
    std::ifstream journal(root / "sim/journal.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(journal, line);) {
        lines.push_back(line);
    }
    for (std::size_t i = lines.size() > 10 ? lines.size() - 10 : 0; i < lines.size(); ++i) {
        std::printf("  %s\n", lines[i].c_str());
    }
    return 0;
}

}  // namespace boardsim
