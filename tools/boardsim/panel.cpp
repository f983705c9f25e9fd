// boardsim panel: the front panel of a running board, full screen, in a terminal of its own.
#include <curses.h>
#include <time.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <numeric>
#include <string>

#include "board_view.hpp"
#include "cli.hpp"
#include "commands.hpp"
#include "panel_state.hpp"
#include "sim/board.hpp"
#include "usb.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

constexpr int refresh_ms = 200;
constexpr short lit_pair = 1;

volatile std::sig_atomic_t stop_signal = 0;
void note_stop(int sig) {
    stop_signal = sig;
}

// Puts the terminal back however the panel ends.
class Screen {
public:
    Screen() {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            std::signal(sig, note_stop);
        }
        initscr();
        cbreak();
        noecho();
        curs_set(0);
        timeout(refresh_ms);
        if (has_colors()) {
            start_color();
            init_pair(lit_pair, COLOR_WHITE, COLOR_BLUE);
        }
    }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    ~Screen() { endwin(); }
};

std::string format(const char* fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// What the RTC shows: its base plus the board time, or the host's UTC time.
std::string rtc_text(const sim::BoardConfig& config, std::uint64_t clock_us) {
    std::time_t t = std::time(nullptr);
    if (!config.rtc_host_clock) {
        std::tm base{};
        if (strptime(config.rtc_base.c_str(), "%Y-%m-%d %H:%M:%S", &base) == nullptr) {
            return "?";
        }
        t = timegm(&base) + static_cast<std::time_t>(clock_us / 1000000);
    }
    std::tm now{};
    gmtime_r(&t, &now);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &now);
    return text;
}

// An EEPROM field with what the boot manager makes of it, shortened for the panel.
std::string eeprom_text(const std::string& name, const Field& field,
                        const std::vector<std::uint8_t>& eeprom, const eeprom_view& view) {
    std::string text = field_text(field, eeprom);
    if (name == "boot-slot") {
        return text + " (slot " + std::to_string(view.boot_slot) + ")";
    }
    if (name == "booted-image") {
        static const char* const meaning[] = {"slot 1", "slot 2", "USB drive",
                                              "rescue or diagnostics image"};
        const std::uint8_t value = view.booted_image;
        return text + (value >= 1 && value <= 4 ? std::string(" (") + meaning[value - 1] + ")"
                                                : std::string(" (none recorded)"));
    }
    if (name == "usb-enable") {
        return text + (view.usb_enable == usb_enabled ? " (USB steps on)" : " (USB steps off)");
    }
    if (name == "slot1-time" || name == "slot2-time") {
        const install_time& time = view.slot_times[name == "slot1-time" ? 0 : 1];
        if (time.date) {
            return *time.date;
        }
        const auto& r = time.raw;
        if (std::all_of(r.begin(), r.end(), [](std::uint8_t b) { return b == 0xFF; })) {
            return "not set";
        }
        // Not a date: the registers' digits as they stand.
        return format("20%02x-%02x-%02x %02x:%02x:%02x", r[6], r[5] & 0x1F, r[4] & 0x3F,
                      r[2] & 0x3F, r[1] & 0x7F, r[0] & 0x7F);
    }
    return text;
}

std::vector<std::string> faults_text(const sim::BoardConfig& config, const fs::path& root) {
    std::vector<std::string> lines;
    if (config.faults.power_cut_after != 0) {
        lines.push_back(format("power cut at event %u (flash, /user) of the next boot",
                               config.faults.power_cut_after));
    }
    for (const auto& io : config.faults.io_errors) {
        const char* op = io.op == sim::IoFault::Op::erase     ? "erase"
                         : io.op == sim::IoFault::Op::program ? "write"
                         : io.op == sim::IoFault::Op::read    ? "read"
                                                              : "erase or write";
        lines.push_back(format("%s: %s number %u fails", io.partition.c_str(), op, io.nth));
    }
    for (const auto& device : config.faults.missing) {
        lines.push_back(device + " missing");
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "sim/fail", ec)) {
        lines.push_back("stub tool " + entry.path().filename().string() + " fails");
    }
    return lines;
}

std::string usb_text(const fs::path& root, bool present) {
    const auto after = usb_ready_after(root);
    if (!after) {
        return "none";
    }
    if (present) {
        return "present, mounted at /mnt/usb";
    }
    return format("attached, ready %g board seconds into the boot", *after);
}

void draw(const fs::path& root, pid_t pid, const PanelState& state) {
    erase();
    int row = 0;
    const auto line = [&row](const std::string& text) { mvaddstr(row++, 1, text.c_str()); };
    const auto config = sim::load_board_config(root);
    attron(A_BOLD);
    line(format("board %s, booted by boardsim run (pid %d)", root.c_str(), static_cast<int>(pid)));
    attroff(A_BOLD);
    ++row;
    mvaddstr(row, 1, "blue location LED");
    const int lit_attr = has_colors() ? COLOR_PAIR(lit_pair) | A_BOLD : A_REVERSE;
    if (state.blue_lit && *state.blue_lit) {
        attron(lit_attr);
        mvaddstr(row, 20, "   LIT   ");
        attroff(lit_attr);
    } else {
        mvaddstr(row, 20, state.blue_lit ? "[  off  ]" : "[   ?   ]");
    }
    const auto leds = sim::read_led_log(root);
    std::string writes = format("register 5 = 0x%02x, %zu writes", state.led_register, leds.size());
    if (!leds.empty()) {
        writes += format(", last at %.3f s", static_cast<double>(leds.back().time_us) / 1e6);
    }
    mvaddstr(row++, 31, writes.c_str());
    std::string flash = "idle";
    if (state.flash.op != FlashActivity::Op::none) {
        flash = (state.flash.op == FlashActivity::Op::erasing ? "erasing " : "programming ") +
                state.flash.partition;
    }
    line("flash activity     " + flash);
    line(format("board clock        %.3f s", static_cast<double>(state.clock_us) / 1e6) +
         (config ? "   RTC " + rtc_text(*config, state.clock_us) : std::string()));
    line("usb drive          " + usb_text(root, state.usb_present));
    ++row;
    line("eeprom");
    if (const auto eeprom = sim::read_eeprom(root); eeprom && eeprom->size() >= sim::eeprom_size) {
        const eeprom_view view = decode_eeprom(*eeprom);
        for (const auto& [name, field] : eeprom_fields) {
            line(format("  %-13s ", name.c_str()) + eeprom_text(name, field, *eeprom, view));
        }
    } else {
        line("  (unreadable)");
    }
    ++row;
    line("flash partitions   size        erases");
    for (std::size_t i = 0; i < sim::partition_names.size(); ++i) {
        const std::string name(sim::partition_names[i]);
        const auto wear = sim::read_flash_wear(root, name);
        const std::uint64_t erases =
            wear ? std::accumulate(wear->erase_counts.begin(), wear->erase_counts.end(),
                                   std::uint64_t{0})
                 : 0;
        const std::uint32_t size = config ? config->partitions[i].size : 0;
        line(format("  %-16s %-11u %llu", name.c_str(), size,
                    static_cast<unsigned long long>(erases)));
    }
    ++row;
    line("faults armed");
    const auto faults = config ? faults_text(*config, root) : std::vector<std::string>{"?"};
    if (faults.empty()) {
        line("  none");
    }
    for (const auto& fault : faults) {
        line("  " + fault);
    }
    ++row;
    line("q quits. The physical presence test blinks the LED once per 2 board seconds: watch it");
    line("on a board run at time scale 1 (boardsim run DIR --time-scale 1).");
    refresh();
}

int panel(const fs::path& root) {
    if (!is_board(root)) {
        return status_failed;
    }
    if (!running_pid(root)) {
        std::fprintf(stderr, "boardsim: %s: the board is not running (boardsim run starts it)\n",
                     root.c_str());
        return status_failed;
    }
    {
        const Screen screen;
        PanelProbe probe(root);
        while (stop_signal == 0) {
            const auto pid = running_pid(root);
            if (!pid) {
                break;
            }
            draw(root, *pid, probe.poll());
            if (getch() == 'q') {
                return status_ok;
            }
        }
    }
    if (stop_signal != 0) {
        std::signal(stop_signal, SIG_DFL);
        std::raise(stop_signal);
    }
    std::printf("boardsim: %s: the board stopped\n", root.c_str());
    return status_ok;
}

}  // namespace

Verb add_panel(CLI::App& app) {
    auto p = std::make_shared<std::string>();
    CLI::App* const sub = verb(
        app, "panel",
        "The front panel of a running board, in a terminal of its own: the blue location LED, "
        "flash activity, board clock, USB drive, EEPROM fields and armed faults, refreshed five "
        "times a second until the board stops or q is typed.",
        "The physical presence test of the rescue menu (option P) blinks the blue LED once per\n"
        "2 board seconds and asks how many times it blinked: run the board at time scale 1\n"
        "(boardsim run DIR --time-scale 1) to count the blinks here or on the panel line of\n"
        "`boardsim run`.\n"
        "Exit status: 0 the board stopped or q was typed, 1 DIR is not a running board,\n"
        "2 usage error.");
    add_dir(sub, *p);
    return {sub, [p] { return panel(*p); }};
}

}  // namespace boardsim
