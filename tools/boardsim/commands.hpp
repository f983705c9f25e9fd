// The verbs of boardsim. Each takes the arguments after the verb and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace boardsim {

using Args = std::vector<std::string>;

extern const char* const create_usage;
extern const char* const run_usage;
extern const char* const env_usage;
extern const char* const eeprom_usage;
extern const char* const flash_usage;
extern const char* const usb_usage;
extern const char* const fault_usage;
extern const char* const show_usage;

int cmd_create(const Args& args);
int cmd_run(const Args& args);
int cmd_env(const Args& args);
int cmd_eeprom(const Args& args);
int cmd_flash(const Args& args);
int cmd_usb(const Args& args);
int cmd_fault(const Args& args);
int cmd_show(const Args& args);

}  // namespace boardsim
