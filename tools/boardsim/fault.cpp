// boardsim fault: the board's faults, armed or cleared in sim/board.conf.
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "commands.hpp"
#include "sim/board.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

// A file name of the board's /sim/fail/, where the stub tools look.
const CLI::Validator tool_name(
    [](std::string& name) -> std::string {
        return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos
                   ? name + ": expected the name of a stub tool"
                   : std::string();
    },
    "");

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
        // The option's check has accepted the word and the count.
        plan.io_errors.push_back({partition, sim::io_op_from_name(op).value(),
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

}  // namespace

Verb add_fault(CLI::App& app) {
    auto t = std::make_shared<FaultArgs>();
    CLI::App* const sub = verb(
        app, "fault", "Arms or clears the board's faults; they stay in sim/board.conf.",
        "--power-cut N: the board loses power at the N-th of these events in a boot, counted\n"
        "  in one sequence from the start of the boot:\n"
        "  - a flash erase or write that completes, on any partition (an erase request of\n"
        "    several blocks counts once); the power goes after it;\n"
        "  - a write call of the boot manager to a file under /user counts twice: the power\n"
        "    goes during it, and the file keeps the first half of that call's bytes (what\n"
        "    earlier calls wrote stays, as on the switch's journalling flash file system), or\n"
        "    right after it, all of its bytes written;\n"
        "  - the boot manager opening a file under /user to create or truncate it, renaming\n"
        "    or removing one, or making a directory there; the power goes after it;\n"
        "  - a shell command of the boot manager that writes under /user (mkdir, touch, rm, mv\n"
        "    or cp of a /user path); the power goes after it ends.\n"
        "  A boot keeps its count so far in sim/power-events. The cut fires once: it disarms\n"
        "  itself as it fires, so the next boot runs without it.\n"
        "  0 disarms it.\n"
        "--io PARTITION:OP:N: the N-th erase request (OP erase), write call (program), read\n"
        "  call (read), or erase or write (any) on PARTITION in a boot fails with an I/O\n"
        "  error, failed attempts counted too.\n"
        "  The count restarts at every boot and the fault stays armed for every boot until\n"
        "  --clear. Repeat the option for several.\n"
        "--missing DEVICE: the device is absent in every boot until --clear.\n"
        "--tool-fails NAME: the stub tool NAME (mount, reboot, date...) exits with status 1\n"
        "  until --tool-works NAME or --clear.\n"
        "--clear applies first, then the other options are added to what is armed.\n"
        "Exit status: 0 done, 1 failed, 2 usage error.");
    add_dir(sub, t->dir);
    sub->add_flag("--clear", t->clear, "disarm every fault and tool failure first");
    sub->add_option("--power-cut", t->power_cut,
                    "power cut at the N-th flash operation or /user write")
        ->type_name("N");
    sub->add_option("--io", t->io, "the N-th such operation on PARTITION fails")
        ->type_name("PARTITION:erase|program|read|any:N")
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
    return {sub, [t] { return fault(*t); }};
}

}  // namespace boardsim
