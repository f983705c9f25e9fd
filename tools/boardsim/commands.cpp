#include "commands.hpp"

#include <vector>

#include "cli.hpp"

namespace boardsim {

std::function<int()> add_verbs(CLI::App& app) {
    const std::vector<Verb> verbs = {add_create(app), add_run(app),   add_env(app),
                                     add_eeprom(app), add_flash(app), add_usb(app),
                                     add_fault(app),  add_show(app),  add_panel(app)};
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
