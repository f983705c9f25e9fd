// boardsim usb: the USB drive, attached from a folder or detached.
#include <optional>
#include <string>

#include "cli.hpp"
#include "commands.hpp"
#include "sim/board.hpp"
#include "usb.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

Verb add_usb(CLI::App& app) {
    auto u = std::make_shared<UsbArgs>();
    CLI::App* const sub =
        verb(app, "usb",
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
    return {sub, [u] { return usb(*u); }};
}

}  // namespace boardsim
