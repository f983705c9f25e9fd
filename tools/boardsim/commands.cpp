#include "commands.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "cli.hpp"
#include "env_image.hpp"
#include "rootfs.hpp"
#include "run.hpp"
#include "sim/board.hpp"
#include "usb.hpp"

namespace boardsim {
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

// The boot manager uses a USB drive only when the EEPROM's USB enable byte holds this value.
constexpr std::uint8_t usb_enabled = 213;
constexpr std::uint8_t usb_disabled = 0;

// board.conf's own reader judges the value, so nothing is accepted here that a boot refuses.
CLI::Validator board_conf(const std::string& key, char separator = ' ') {
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

std::optional<unsigned long> number(const std::string& text, unsigned long max) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || value > max) {
        return std::nullopt;
    }
    return value;
}

// The whole file, or nullopt after saying why it cannot be read.
std::optional<std::vector<std::uint8_t>> read_file(const fs::path& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
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

// ---- the verbs -------------------------------------------------------------------------------

struct CreateArgs {
    std::string dir;
    std::optional<std::string> serial;
    std::optional<int> boot_slot;
    std::optional<unsigned> usb_enable;
    std::optional<std::string> rtc;
    std::optional<std::string> time_scale;
    std::optional<std::string> bootmgr;
    std::optional<std::string> usb;
    bool force = false;
};

// A board is only made over another, or over other files, on purpose.
bool may_create_in(const fs::path& root, bool force) {
    std::error_code ec;
    if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
        std::fprintf(stderr, "boardsim: %s exists and is not a folder\n", root.c_str());
        return false;
    }
    if (force || fs::is_empty(root, ec) || !fs::exists(root)) {
        return true;
    }
    if (fs::exists(root / "sim/board.conf")) {
        std::fprintf(stderr,
                     "boardsim: %s already holds a board: --force erases its flash and EEPROM\n",
                     root.c_str());
    } else {
        std::fprintf(stderr,
                     "boardsim: %s is not empty: --force creates the board among its files\n",
                     root.c_str());
    }
    return false;
}

int create(const CreateArgs& a) {
    const fs::path root = a.dir;
    if (!may_create_in(root, a.force)) {
        return status_failed;
    }
    sim::BoardConfig config;
    config.serial = a.serial;
    if (a.boot_slot) {
        config.boot_slot = static_cast<std::uint8_t>(*a.boot_slot);
    }
    if (a.usb_enable) {
        config.usb_enable = static_cast<std::uint8_t>(*a.usb_enable);
    }
    if (a.usb) {
        config.usb_enable = *a.usb == "on" ? usb_enabled : usb_disabled;
    }
    if (a.rtc) {
        config.rtc_base = *a.rtc;
    }
    if (a.time_scale) {
        config.time_scale = std::strtod(a.time_scale->c_str(), nullptr);
    }
    RootfsSources sources = default_rootfs_sources();
    if (a.bootmgr) {
        sources.boot_manager = *a.bootmgr;
    }
    if (!create_rootfs(root, sources) || !sim::create_board_state(root, config)) {
        return status_failed;
    }
    const std::ofstream journal{root / "sim/journal.log", std::ios::app};  // the stubs append
    return status_ok;
}

struct RunArgs {
    std::string dir;
    unsigned boots = 1;
    std::optional<double> timeout;
};

int run(const RunArgs& a) {
    RunOptions options;
    options.boots = a.boots;
    options.timeout_seconds = a.timeout;
    const auto outcome = run_board(a.dir, options);
    return outcome ? static_cast<int>(*outcome) : status_failed;
}

struct EnvArgs {
    std::string dir;
    std::vector<std::string> settings;
    std::optional<std::string> file;
};

// KEY=VALUE lines; blank lines and lines starting with '#' are skipped.
std::optional<std::vector<std::string>> settings_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "boardsim: cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    std::vector<std::string> settings;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.find('=') == std::string::npos || line[0] == '=') {
            std::fprintf(stderr, "boardsim: %s line %d: expected KEY=VALUE, got '%s'\n",
                         path.c_str(), number, line.c_str());
            return std::nullopt;
        }
        settings.push_back(line);
    }
    return settings;
}

int env(const EnvArgs& a) {
    const fs::path root = a.dir;
    const auto config = is_board(root) ? sim::load_board_config(root) : std::nullopt;
    if (!config) {
        return status_failed;
    }
    if (a.settings.empty() && !a.file) {
        const auto image = sim::read_partition(root, "ubootenv");
        const auto settings = image ? read_env_image(*image) : std::nullopt;
        if (!settings) {
            std::fprintf(stderr,
                         "boardsim: no environment in ubootenv (bad CRC: erased or damaged)\n");
            return status_failed;
        }
        for (const std::string& setting : *settings) {
            std::printf("%s\n", setting.c_str());
        }
        return status_ok;
    }
    std::vector<std::string> settings;
    if (a.file) {
        const auto from_file = settings_file(*a.file);
        if (!from_file) {
            return status_failed;
        }
        settings = *from_file;
    }
    settings.insert(settings.end(), a.settings.begin(), a.settings.end());
    const std::size_t size = config->partitions[*sim::partition_index("ubootenv")].size;
    const auto image = make_env_image(settings, size);
    if (!image) {
        std::fprintf(stderr, "boardsim: the settings do not fit into %zu bytes\n", size);
        return status_failed;
    }
    return sim::write_partition(root, "ubootenv", *image) ? status_ok : status_failed;
}

struct EepromArgs {
    std::string dir;
    std::string action;
    std::string field;
    std::optional<std::string> value;
};

int eeprom(const EepromArgs& a) {
    const char* const tool = "boardsim eeprom";
    if (a.action == "get" && a.value) {
        return tools::usage_error(tool, "get takes no VALUE, got '" + *a.value + "'");
    }
    if (a.action == "set" && !a.value) {
        return tools::usage_error(tool, "set " + a.field + " needs a VALUE");
    }
    const Field& field = eeprom_fields.at(a.field);
    std::vector<std::uint8_t> bytes;
    if (a.field == "usb-enable" && (a.value == "on" || a.value == "off")) {
        bytes = {*a.value == "on" ? usb_enabled : usb_disabled};
    } else if (a.value) {
        auto parsed = field_value(field, *a.value);
        if (const auto* why = std::get_if<std::string>(&parsed)) {
            return tools::usage_error(tool, a.field + " '" + *a.value + "': " + *why);
        }
        bytes = std::get<std::vector<std::uint8_t>>(parsed);
    }
    const fs::path root = a.dir;
    if (!is_board(root)) {
        return status_failed;
    }
    if (a.action == "get") {
        const auto content = sim::read_eeprom(root);
        if (!content) {
            return status_failed;
        }
        std::printf("%s\n", field_text(field, *content).c_str());
        return status_ok;
    }
    return sim::write_eeprom(root, field.offset, bytes) ? status_ok : status_failed;
}

struct FlashArgs {
    std::string dir;
    std::string action;
    std::string partition;
    std::string file;
};

int flash(const FlashArgs& a) {
    const fs::path root = a.dir;
    if (!is_board(root)) {
        return status_failed;
    }
    const auto current = sim::read_partition(root, a.partition);
    if (!current) {
        std::fprintf(stderr, "boardsim: cannot read partition %s\n", a.partition.c_str());
        return status_failed;
    }
    if (a.action == "read") {
        std::ofstream out(a.file, std::ios::binary);
        if (!out.write(reinterpret_cast<const char*>(current->data()),
                       static_cast<std::streamsize>(current->size()))) {
            std::fprintf(stderr, "boardsim: cannot write %s\n", a.file.c_str());
            return status_failed;
        }
        return status_ok;
    }
    auto content = read_file(a.file);
    if (!content) {
        return status_failed;
    }
    if (content->size() > current->size()) {
        std::fprintf(stderr, "boardsim: %s (%zu bytes) does not fit into %s (%zu bytes)\n",
                     a.file.c_str(), content->size(), a.partition.c_str(), current->size());
        return status_failed;
    }
    content->resize(current->size(), 0xFF);
    return sim::write_partition(root, a.partition, *content) ? status_ok : status_failed;
}

struct UsbArgs {
    std::string dir;
    std::string action;
    std::optional<std::string> source;
    std::optional<double> after;
};

int usb(const UsbArgs& a) {
    const char* const tool = "boardsim usb";
    if (a.action == "attach" && !a.source) {
        return tools::usage_error(tool, "attach needs SRC_DIR");
    }
    if (a.action == "detach" && (a.source || a.after)) {
        return tools::usage_error(
            tool, "detach takes no SRC_DIR or --after, got '" + a.source.value_or("--after") + "'");
    }
    const fs::path root = a.dir;
    if (!is_board(root)) {
        return status_failed;
    }
    if (a.action == "detach") {
        return usb_detach(root) ? status_ok : status_failed;
    }
    return usb_attach(root, *a.source, a.after.value_or(0.0)) ? status_ok : status_failed;
}

struct FaultArgs {
    std::string dir;
    bool clear = false;
    std::optional<std::uint32_t> power_cut;
    std::vector<std::string> io;
    std::vector<std::string> missing;
    std::vector<std::string> tool_fails;
    std::vector<std::string> tool_works;
};

int fault(const FaultArgs& a) {
    const fs::path root = a.dir;
    auto config = is_board(root) ? sim::load_board_config(root) : std::nullopt;
    if (!config) {
        return status_failed;
    }
    sim::FaultPlan plan = a.clear ? sim::FaultPlan{} : config->faults;
    if (a.power_cut) {
        plan.power_cut_after = *a.power_cut;
    }
    for (const std::string& io : a.io) {
        std::istringstream in(io);
        std::string partition;
        std::string op;
        std::string nth;
        std::getline(in, partition, ':');
        std::getline(in, op, ':');
        std::getline(in, nth);
        plan.io_errors.push_back({partition,
                                  op == "erase"     ? sim::IoFault::Op::erase
                                  : op == "program" ? sim::IoFault::Op::program
                                                    : sim::IoFault::Op::any,
                                  static_cast<std::uint32_t>(std::stoul(nth, nullptr, 0))});
    }
    for (const std::string& missing : a.missing) {
        std::istringstream in(missing);
        for (std::string device; in >> device;) {
            plan.missing.push_back(device);
        }
    }
    std::error_code ec;
    if (a.clear) {
        fs::remove_all(root / "sim/fail", ec);
    }
    for (const auto& name : a.tool_fails) {
        fs::create_directories(root / "sim/fail", ec);
        std::ofstream{root / "sim/fail" / name};
    }
    for (const auto& name : a.tool_works) {
        fs::remove(root / "sim/fail" / name, ec);
    }
    return sim::set_fault_plan(root, plan) ? status_ok : status_failed;
}

const char* op_name(sim::IoFault::Op op) {
    switch (op) {
        case sim::IoFault::Op::erase:
            return "erase request";
        case sim::IoFault::Op::program:
            return "write";
        case sim::IoFault::Op::any:
            break;
    }
    return "erase or write";
}

void show_config(const sim::BoardConfig& config, const fs::path& root) {
    std::printf("clock: %s at board time 0, %g real seconds per board second\n",
                config.rtc_host_clock ? "the host's UTC time" : config.rtc_base.c_str(),
                config.time_scale);
    std::printf("faults armed:");
    bool any = false;
    if (config.faults.power_cut_after != 0) {
        std::printf(
            "\n  power cut right after flash erase or write number %u of the next boot (once)",
            config.faults.power_cut_after);
        any = true;
    }
    for (const auto& io : config.faults.io_errors) {
        std::printf("\n  %s: %s number %u of every boot fails", io.partition.c_str(),
                    op_name(io.op), io.nth);
        any = true;
    }
    for (const auto& device : config.faults.missing) {
        std::printf("\n  %s missing", device.c_str());
        any = true;
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "sim/fail", ec)) {
        std::printf("\n  stub tool %s fails", entry.path().filename().c_str());
        any = true;
    }
    std::printf("%s\n", any ? "" : " none");
}

void show_usb(const fs::path& root) {
    const auto after = usb_ready_after(root);
    if (!after) {
        std::printf("usb drive: none\n");
        return;
    }
    std::string source;
    std::getline(std::ifstream(root / "sim/usb/source"), source);
    std::size_t files = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root / "sim/usb/files", ec), end; !ec && it != end;
         it.increment(ec)) {
        files += it->is_regular_file(ec) ? 1 : 0;
    }
    std::printf("usb drive: %zu files from %s, ready %g board seconds into each boot\n", files,
                source.empty() ? "?" : source.c_str(), *after);
}

int show(const fs::path& root) {
    if (!is_board(root)) {
        return status_failed;
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
    int status = status_ok;
    if (const auto config = sim::load_board_config(root)) {
        show_config(*config, root);
    } else {
        std::printf("configuration: does not read (run refuses to boot it)\n");
        status = status_failed;
    }
    show_usb(root);
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
    return status;
}

std::vector<std::string> names_of_partitions() {
    return {sim::partition_names.begin(), sim::partition_names.end()};
}

std::vector<std::string> names_of_fields() {
    std::vector<std::string> names;
    for (const auto& [name, field] : eeprom_fields) {
        names.push_back(name);
    }
    return names;
}

// A file name of the board's /sim/fail/, where the stub tools look.
const CLI::Validator tool_name(
    [](std::string& name) -> std::string {
        return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos
                   ? name + ": expected the name of a stub tool"
                   : std::string();
    },
    "");

const CLI::Validator setting(
    [](std::string& text) -> std::string {
        return text.find('=') == std::string::npos || text[0] == '=' ? text + ": expected KEY=VALUE"
                                                                     : std::string();
    },
    "");

CLI::App* verb(CLI::App& app, const char* name, const char* what, const char* footer) {
    CLI::App* sub = app.add_subcommand(name, what);
    sub->footer(footer);
    return sub;
}

void add_dir(CLI::App* sub, std::string& dir) {
    sub->add_option("DIR", dir, "the board's folder")->required()->type_name("");
}

}  // namespace

std::function<int()> add_verbs(CLI::App& app) {
    std::vector<std::pair<CLI::App*, std::function<int()>>> verbs;

    auto c = std::make_shared<CreateArgs>();
    CLI::App* sub =
        verb(app, "create",
             "A new board in DIR: busybox, rx, the stub tools, /dev, erased flash, "
             "an erased EEPROM with the given fields, the clock.",
             "The boot manager uses a USB drive only when the EEPROM's USB enable byte is 213\n"
             "(0xD5); any other value, the erased 0xFF included, leaves USB off.\n"
             "DIR must be empty or absent: over a board or other files, --force.\n"
             "Exit status: 0 created, 1 failed (DIR not empty: nothing changed), 2 usage\n"
             "error.");
    add_dir(sub, c->dir);
    sub->add_option("--serial", c->serial, "serial number in the EEPROM, at most 12 characters")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return text.size() > 12 ? text + ": more than 12 characters" : std::string();
            },
            ""));
    sub->add_option("--boot-slot", c->boot_slot, "the EEPROM's boot selector: slot 1 or 2")
        ->check(CLI::Range(1, 2));
    CLI::Option* usb_switch =
        sub->add_option("--usb", c->usb, "USB drives used (on: enable byte 213) or not (off: 0)")
            ->type_name("on|off")
            ->check(CLI::IsMember({"on", "off"}));
    sub->add_option("--usb-enable", c->usb_enable, "the EEPROM's USB enable byte (0-255)")
        ->check(CLI::Range(0u, 255u))
        ->excludes(usb_switch);
    sub->add_flag("--force", c->force, "create the board in a folder that is not empty");
    sub->add_option("--rtc", c->rtc, "what the clock shows at board time 0: 'YYYY-MM-DD hh:mm:ss'")
        ->check(board_conf("rtc.base"));
    sub->add_option("--time-scale", c->time_scale,
                    "real seconds per board second, 0 to 1000 (default 0.001; 0 = no waiting)")
        ->check(board_conf("time.scale"));
    sub->add_option("--bootmgr", c->bootmgr, "the boot manager to install (default bootmgr-sim)")
        ->check(CLI::ExistingFile);
    verbs.emplace_back(sub, [c] { return create(*c); });

    auto r = std::make_shared<RunArgs>();
    sub = verb(app, "run",
               "Boots the board with this terminal as console, again after each reboot or power "
               "cut, up to N boots.",
               "Exit status (how the last boot ended): 0 the application started, 1 the board\n"
               "could not be started, 2 usage error, 3 rebooted, 4 power cut, 5 crashed,\n"
               "6 timed out, 7 the board's configuration (sim/board.conf) does not read: not\n"
               "booted, the reason on standard error.");
    add_dir(sub, r->dir);
    sub->add_option("--boots", r->boots, "at most N boots (1-1000000, default 1)")
        ->check(CLI::Range(1u, 1000000u));
    sub->add_option("--timeout", r->timeout, "stop the board after SECONDS of real time")
        ->check(seconds(false));
    verbs.emplace_back(sub, [r] { return run(*r); });

    auto e = std::make_shared<EnvArgs>();
    sub = verb(app, "env",
               "Prints the boot loader's environment, one KEY=VALUE a line; with settings, "
               "writes the environment partition with them instead.",
               "Exit status: 0 done, 1 failed (printing: no valid environment), 2 usage error.");
    add_dir(sub, e->dir);
    sub->add_option("KEY=VALUE", e->settings, "the settings to write")->check(setting);
    sub->add_option("--file", e->file,
                    "write the KEY=VALUE lines of FILE (blank and '#' lines skipped), then the "
                    "settings given")
        ->type_name("FILE");
    verbs.emplace_back(sub, [e] { return env(*e); });

    auto p = std::make_shared<EepromArgs>();
    sub = verb(app, "eeprom", "Reads or writes one field of the settings EEPROM.",
               "Values: serial text (at most 12 characters); boot-slot, booted-image, usb-enable\n"
               "a byte (0-255, 0x-hex allowed); usb-enable also on (213, the only value that\n"
               "enables USB) or off (0); slot1-time, slot2-time seven hex clock register\n"
               "bytes, e.g. '30 15 09 00 05 12 26'.\n"
               "The boot manager boots slot 2 when boot-slot is 2, slot 1 otherwise.\n"
               "Exit status: 0 done, 1 failed, 2 usage error.");
    add_dir(sub, p->dir);
    sub->add_option("ACTION", p->action, "get or set")
        ->required()
        ->check(CLI::IsMember({"get", "set"}));
    sub->add_option("FIELD", p->field, "the field")
        ->required()
        ->check(CLI::IsMember(names_of_fields()));
    sub->add_option("VALUE", p->value, "the new value (set)");
    verbs.emplace_back(sub, [p] { return eeprom(*p); });

    auto f = std::make_shared<FlashArgs>();
    sub = verb(app, "flash",
               "Copies a flash partition into FILE (read) or FILE into it (write, padded with "
               "0xFF).",
               "Exit status: 0 done, 1 failed (FILE unreadable or larger than the partition),\n"
               "2 usage error.");
    add_dir(sub, f->dir);
    sub->add_option("ACTION", f->action, "read or write")
        ->required()
        ->check(CLI::IsMember({"read", "write"}));
    sub->add_option("PARTITION", f->partition, "the partition")
        ->required()
        ->check(CLI::IsMember(names_of_partitions()));
    sub->add_option("FILE", f->file, "the file")->required();
    verbs.emplace_back(sub, [f] { return flash(*f); });

    auto u = std::make_shared<UsbArgs>();
    sub = verb(app, "usb",
               "attach: a USB drive with SRC_DIR's files at /mnt/usb, ready (/tmp/usb) at the "
               "start of every boot or SECONDS of board time into it; detach: no drive.",
               "Exit status: 0 done, 1 failed, 2 usage error.");
    add_dir(sub, u->dir);
    sub->add_option("ACTION", u->action, "attach or detach")
        ->required()
        ->check(CLI::IsMember({"attach", "detach"}));
    sub->add_option("SRC_DIR", u->source, "the folder the drive holds (attach)")
        ->check(CLI::ExistingDirectory);
    sub->add_option("--after", u->after, "the drive is ready SECONDS of board time into a boot")
        ->check(seconds(true));
    verbs.emplace_back(sub, [u] { return usb(*u); });

    auto t = std::make_shared<FaultArgs>();
    sub = verb(
        app, "fault", "Arms or clears the board's faults; they stay in sim/board.conf.",
        "--power-cut N: the board loses power right after the N-th flash erase or write that\n"
        "  completes in a boot, counting every partition from the start of the boot (an erase\n"
        "  request of several blocks counts once). It fires once: it disarms itself as it\n"
        "  fires, so the next boot runs without it. 0 disarms it.\n"
        "--io PARTITION:OP:N: the N-th erase request (OP erase), write call (program) or either\n"
        "  (any) on PARTITION in a boot fails with an I/O error, failed attempts counted too.\n"
        "  The count restarts at every boot and the fault stays armed for every boot until\n"
        "  --clear. Repeat the option for several.\n"
        "--missing DEVICE: the device is absent in every boot until --clear.\n"
        "--tool-fails NAME: the stub tool NAME (mount, reboot, date...) exits with status 1\n"
        "  until --tool-works NAME or --clear.\n"
        "--clear applies first, then the other options are added to what is armed.\n"
        "Exit status: 0 done, 1 failed, 2 usage error.");
    add_dir(sub, t->dir);
    sub->add_flag("--clear", t->clear, "disarm every fault and tool failure first");
    sub->add_option("--power-cut", t->power_cut, "power cut after the N-th flash operation")
        ->type_name("N");
    sub->add_option("--io", t->io, "the N-th such operation on PARTITION fails")
        ->type_name("PARTITION:erase|program|any:N")
        ->allow_extra_args(false)
        ->check(board_conf("fault.io", ':'));
    sub->add_option("--missing", t->missing,
                    "DEVICE is absent: bus0 bus1 eeprom rtc led port mem or a partition")
        ->type_name("DEVICE")
        ->allow_extra_args(false)
        ->check(board_conf("fault.missing"));
    sub->add_option("--tool-fails", t->tool_fails, "the stub tool NAME fails")
        ->type_name("NAME")
        ->allow_extra_args(false)
        ->check(tool_name);
    sub->add_option("--tool-works", t->tool_works, "the stub tool NAME works again")
        ->type_name("NAME")
        ->allow_extra_args(false)
        ->check(tool_name);
    verbs.emplace_back(sub, [t] { return fault(*t); });

    auto s = std::make_shared<std::string>();
    sub = verb(app, "show",
               "Partitions with their first bytes, EEPROM fields, clock, armed faults, USB drive, "
               "LED log, journal tail.",
               "Exit status: 0 shown, 1 failed, 2 usage error.");
    add_dir(sub, *s);
    verbs.emplace_back(sub, [s] { return show(*s); });

    return [verbs] {
        for (const auto& [sub, run] : verbs) {
            if (sub->parsed()) {
                return run();
            }
        }
        return tools::usage_status;
    };
}

}  // namespace boardsim
