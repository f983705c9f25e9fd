#include "commands.hpp"

#include "cli.hpp"

namespace boardsim {

std::function<int()> add_verbs(CLI::App& app) {
    return tools::run_chosen({add_create(app), add_run(app), add_env(app), add_eeprom(app),
                              add_flash(app), add_usb(app), add_fault(app), add_show(app),
                              add_panel(app)});
}

}  // namespace boardsim
