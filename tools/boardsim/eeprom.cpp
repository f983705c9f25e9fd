// boardsim eeprom: one field of the settings EEPROM, read or written.
#include <cstdio>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli.hpp"
#include "commands.hpp"
#include "sim/board.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_of_fields() {
    std::vector<std::string> names;
    names.reserve(eeprom_fields.size());
    for (const auto& [name, field] : eeprom_fields) {
        names.push_back(name);
    }
    return names;
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

}  // namespace

Verb add_eeprom(CLI::App& app) {
    auto p = std::make_shared<EepromArgs>();
    CLI::App* const sub =
        verb(app, "eeprom", "Reads or writes one field of the settings EEPROM.",
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
    return {sub, [p] { return eeprom(*p); }};
}

}  // namespace boardsim
