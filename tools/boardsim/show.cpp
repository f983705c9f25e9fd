// boardsim show: flash partitions and image slots decoded, EEPROM fields with their meaning,
// clock, faults, drive, LED log and journal of a board; as text, JSON, or a flash map picture.
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "board_view.hpp"
#include "cli.hpp"
#include "commands.hpp"
#include "flash_map.hpp"
#include "image/header.hpp"
#include "names.hpp"
#include "sim/board.hpp"
#include "subimage_checks.hpp"
#include "usb.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* op_name(sim::IoFault::Op op) {
    switch (op) {
        case sim::IoFault::Op::erase:
            return "erase request";
        case sim::IoFault::Op::program:
            return "write";
        case sim::IoFault::Op::read:
            return "read";
        case sim::IoFault::Op::any:
            break;
    }
    return "erase or write";
}

std::vector<std::string> failing_tools(const fs::path& root) {
    std::vector<std::string> tools;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "sim/fail", ec)) {
        tools.push_back(entry.path().filename());
    }
    return tools;
}

struct usb_drive {
    std::string source;
    std::size_t files = 0;
    double ready_after = 0;
};

std::optional<usb_drive> attached_drive(const fs::path& root) {
    const auto after = usb_ready_after(root);
    if (!after) {
        return std::nullopt;
    }
    usb_drive drive{{}, 0, *after};
    std::getline(std::ifstream(root / "sim/usb/source"), drive.source);
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root / "sim/usb/files", ec), end; !ec && it != end;
         it.increment(ec)) {
        drive.files += it->is_regular_file(ec) ? 1 : 0;
    }
    return drive;
}

std::vector<std::string> journal_tail(const fs::path& root) {
    std::ifstream journal(root / "sim/journal.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(journal, line);) {
        lines.push_back(line);
    }
    if (lines.size() > 10) {
        lines.erase(lines.begin(), lines.end() - 10);
    }
    return lines;
}

// 512 KiB, 15 MiB, or bytes when neither divides.
std::string size_text(std::uint64_t bytes) {
    if (bytes != 0 && bytes % (1 << 20) == 0) {
        return std::to_string(bytes >> 20) + " MiB";
    }
    if (bytes != 0 && bytes % 1024 == 0) {
        return std::to_string(bytes >> 10) + " KiB";
    }
    return std::to_string(bytes) + " bytes";
}

// Runs of equal counts: "0 in all 8 blocks" or "1 in blocks 0-22, 0 in blocks 23-47".
std::string erase_runs(const std::vector<std::uint32_t>& counts) {
    if (counts.empty()) {
        return "not counted";
    }
    std::string text;
    for (std::size_t i = 0; i < counts.size();) {
        std::size_t j = i;
        while (j + 1 < counts.size() && counts[j + 1] == counts[i]) {
            ++j;
        }
        if (i == 0 && j + 1 == counts.size()) {
            return std::to_string(counts[i]) + " in all " + std::to_string(counts.size()) +
                   " blocks";
        }
        text += (text.empty() ? "" : ", ") + std::to_string(counts[i]) +
                (j > i ? " in blocks " + std::to_string(i) + "-" + std::to_string(j)
                       : " in block " + std::to_string(i));
        i = j + 1;
    }
    return text;
}

void print_subimages(const content_view& view) {
    for (const auto& sub : view.subimages) {
        if (sub.fault != image::header_fault::none) {
            std::printf("    0x%08llx  invalid header: %s\n",
                        static_cast<unsigned long long>(sub.offset),
                        tools::header_fault_text(sub.fault));
            continue;
        }
        const auto& h = sub.header;
        std::printf("    0x%08llx  %s %s, header %u + payload %u bytes, crc %s, %s\n",
                    static_cast<unsigned long long>(sub.offset),
                    tools::type_label(h.type()).c_str(), image::version_text(h.version).data(),
                    static_cast<unsigned>(h.header_length), static_cast<unsigned>(h.payload_length),
                    sub.crc_good ? "good" : "bad", signature_text(sub.signature));
    }
    if (view.subimages.empty()) {
        std::printf("    %s\n", view.rest_erased ? "erased" : "no sub-image");
    } else if (view.rest != 0) {
        std::printf("    then %llu bytes %s\n", static_cast<unsigned long long>(view.rest),
                    view.rest_erased ? "erased" : "of other data");
    }
}

void print_eeprom(const eeprom_view& e) {
    std::printf("eeprom:\n  serial        %s\n", e.serial ? e.serial->c_str() : "not set");
    std::printf("  boot-slot     %u: boots image slot %d\n", unsigned{e.boot_selector},
                e.boot_slot);
    for (int slot = 0; slot < 2; ++slot) {
        const auto& time = e.slot_times[slot];
        std::printf("  slot%d-time    %s: %s\n", slot + 1, hex_bytes(time.raw, 0, 7).c_str(),
                    time.date ? ("installed " + *time.date).c_str() : "no install time");
    }
    std::printf("  booted-image  %u: %s\n", unsigned{e.booted_image},
                booted_image_text(e.booted_image).c_str());
    std::printf("  usb-enable    %u: USB %s (%u enables it)\n", unsigned{e.usb_enable},
                e.usb_enable == usb_enabled ? "enabled" : "disabled", unsigned{usb_enabled});
}

void print_config(const sim::BoardConfig& config, const fs::path& root) {
    std::printf("clock: %s at board time 0, %g real seconds per board second\n",
                config.rtc_host_clock ? "the host's UTC time" : config.rtc_base.c_str(),
                config.time_scale);
    std::printf("faults armed:");
    bool any = false;
    if (config.faults.power_cut_after != 0) {
        std::printf(
            "\n  power cut at event %u (flash operations, /user writes) of the next boot (once)",
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
    for (const auto& tool : failing_tools(root)) {
        std::printf("\n  stub tool %s fails", tool.c_str());
        any = true;
    }
    std::printf("%s\n", any ? "" : " none");
}

int print_text(const fs::path& root, const board_view& board,
               const std::optional<sim::BoardConfig>& config) {
    std::printf("flash:\n");
    for (const auto& p : board.partitions) {
        if (!p.present) {
            std::printf("  %-10s (unreadable)\n", p.name.c_str());
            continue;
        }
        std::printf("  %-10s %s in %zu blocks of %s, erase counts: %s", p.name.c_str(),
                    size_text(p.size).c_str(), p.erase_counts.size(),
                    size_text(p.erase_size).c_str(), erase_runs(p.erase_counts).c_str());
        if (p.programs_without_erase != 0) {
            std::printf(", %llu writes over unerased flash",
                        static_cast<unsigned long long>(p.programs_without_erase));
        }
        std::printf("\n");
        print_subimages(p);
    }
    std::printf("image slots:\n");
    for (const auto& s : board.slots) {
        if (!s.present) {
            std::printf("  %-10s none\n", s.name.c_str());
            continue;
        }
        std::printf("  %-10s %llu bytes\n", s.name.c_str(),
                    static_cast<unsigned long long>(s.size));
        print_subimages(s);
    }
    if (board.eeprom) {
        print_eeprom(*board.eeprom);
    }
    int status = status_ok;
    if (config) {
        print_config(*config, root);
    } else {
        std::printf("configuration: does not read (run refuses to boot it)\n");
        status = status_failed;
    }
    if (const auto drive = attached_drive(root)) {
        std::printf("usb drive: %zu files from %s, ready %g board seconds into each boot\n",
                    drive->files, drive->source.empty() ? "?" : drive->source.c_str(),
                    drive->ready_after);
    } else {
        std::printf("usb drive: none\n");
    }
    const auto leds = sim::read_led_log(root);
    std::printf("led log: %zu writes", leds.size());
    if (!leds.empty()) {
        std::printf(", last register 0x%02x = 0x%02x at %.6f s", leds.back().reg, leds.back().value,
                    static_cast<double>(leds.back().time_us) / 1e6);
    }
    std::printf("\nboard clock: %.6f s\njournal (last 10 lines):\n",
                static_cast<double>(sim::read_clock_us(root)) / 1e6);
    for (const auto& line : journal_tail(root)) {
        std::printf("  %s\n", line.c_str());
    }
    return status;
}

json content_json(const content_view& view) {
    json out = {{"name", view.name}, {"present", view.present}};
    if (!view.present) {
        return out;
    }
    out["size"] = view.size;
    json subs = json::array();
    for (const auto& sub : view.subimages) {
        json s = {{"offset", sub.offset}};
        if (sub.fault != image::header_fault::none) {
            s["error"] = tools::header_fault_text(sub.fault);
            subs.push_back(s);
            continue;
        }
        const auto& h = sub.header;
        s["type"] = tools::type_label(h.type());
        s["type_code"] = h.type();
        s["header_version"] = h.header_version;
        s["version"] = image::version_text(h.version).data();
        s["header_length"] = h.header_length;
        s["payload_length"] = h.payload_length;
        s["crc_good"] = sub.crc_good;
        s["signature"] = signature_key(sub.signature);
        subs.push_back(s);
    }
    out["subimages"] = subs;
    out["rest"] = {{"bytes", view.rest}, {"erased", view.rest_erased}};
    return out;
}

json eeprom_json(const eeprom_view& e) {
    json times = json::array();
    for (int slot = 0; slot < 2; ++slot) {
        const auto& t = e.slot_times[slot];
        times.push_back({{"slot", slot + 1},
                         {"raw", t.raw},
                         {"installed", t.date ? json(*t.date) : json(nullptr)}});
    }
    return {{"serial", e.serial ? json(*e.serial) : json(nullptr)},
            {"serial_raw", e.serial_raw},
            {"boot_selector", e.boot_selector},
            {"boot_slot", e.boot_slot},
            {"slot_install_times", times},
            {"booted_image", e.booted_image},
            {"booted_image_meaning", booted_image_text(e.booted_image)},
            {"usb_enable", e.usb_enable},
            {"usb_enabled", e.usb_enable == usb_enabled}};
}

int print_json(const fs::path& root, const board_view& board,
               const std::optional<sim::BoardConfig>& config) {
    json out = {{"board", root.string()}};
    json partitions = json::array();
    for (const auto& p : board.partitions) {
        json j = content_json(p);
        j["erase_size"] = p.erase_size;
        j["erase_counts"] = p.erase_counts;
        j["writes_without_erase"] = p.programs_without_erase;
        partitions.push_back(j);
    }
    out["partitions"] = partitions;
    out["slots"] = json::array();
    for (const auto& s : board.slots) {
        out["slots"].push_back(content_json(s));
    }
    out["eeprom"] = board.eeprom ? eeprom_json(*board.eeprom) : json(nullptr);
    if (config) {
        json io = json::array();
        for (const auto& f : config->faults.io_errors) {
            io.push_back(
                {{"partition", f.partition}, {"op", sim::io_op_name(f.op)}, {"nth", f.nth}});
        }
        out["config"] = {
            {"rtc_base", config->rtc_host_clock ? json(nullptr) : json(config->rtc_base)},
            {"rtc_host_clock", config->rtc_host_clock},
            {"time_scale", config->time_scale}};
        out["faults"] = {{"power_cut_after", config->faults.power_cut_after},
                         {"io", io},
                         {"missing", config->faults.missing},
                         {"failing_tools", failing_tools(root)}};
    } else {
        out["config"] = nullptr;
    }
    if (const auto drive = attached_drive(root)) {
        out["usb_drive"] = {{"source", drive->source},
                            {"files", drive->files},
                            {"ready_after", drive->ready_after}};
    } else {
        out["usb_drive"] = nullptr;
    }
    json leds = json::array();
    for (const auto& w : sim::read_led_log(root)) {
        leds.push_back({{"time_us", w.time_us}, {"register", w.reg}, {"value", w.value}});
    }
    out["led_writes"] = leds;
    out["board_clock_us"] = sim::read_clock_us(root);
    out["journal_tail"] = journal_tail(root);
    // File names, serials and journal lines may hold any bytes: never let them break the JSON.
    std::printf("%s\n", out.dump(2, ' ', false, json::error_handler_t::replace).c_str());
    return config ? status_ok : status_failed;
}

struct show_options {
    std::string dir;
    bool json = false;
    std::string svg;
};

int show(const show_options& options) {
    const fs::path root = options.dir;
    if (!is_board(root)) {
        return status_failed;
    }
    const auto board = view_board(root);
    if (!board) {
        return status_failed;
    }
    const auto config = sim::load_board_config(root);
    if (!options.svg.empty() && !write_flash_map(*board, root.filename(), options.svg)) {
        return status_failed;
    }
    return options.json ? print_json(root, *board, config) : print_text(root, *board, config);
}

}  // namespace

Verb add_show(CLI::App& app) {
    auto o = std::make_shared<show_options>();
    CLI::App* const sub = verb(
        app, "show",
        "Flash partitions and image slots with each sub-image decoded (type, version, lengths, "
        "CRC, signature checked with the boot manager's built-in keys), erase counts per block, "
        "EEPROM fields with their meaning, clock, armed faults, USB drive, LED log, journal tail.",
        "Exit status: 0 shown, 1 failed (also when the configuration does not read), 2 usage "
        "error.");
    add_dir(sub, o->dir);
    sub->add_flag("--json", o->json, "print the same as one JSON object, for scripts");
    sub->add_option("--svg", o->svg,
                    "also draw the flash map to scale into FILE: partitions, their sub-images and "
                    "each erase block's erase count")
        ->type_name("FILE");
    return {sub, [o] { return show(*o); }};
}

}  // namespace boardsim
