// boardsim show: partitions, EEPROM, clock, faults, drive, LED log and journal of a board.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "commands.hpp"
#include "sim/board.hpp"
#include "usb.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

Verb add_show(CLI::App& app) {
    auto s = std::make_shared<std::string>();
    CLI::App* const sub =
        verb(app, "show",
             "Partitions with their first bytes, EEPROM fields, clock, armed faults, USB drive, "
             "LED log, journal tail.",
             "Exit status: 0 shown, 1 failed, 2 usage error.");
    add_dir(sub, *s);
    return {sub, [s] { return show(*s); }};
}

}  // namespace boardsim
