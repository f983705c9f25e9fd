// The process-wide flags: the only mutable state the libraries share. Each is declared here once,
// with the functions that write it and those that read it.
#pragma once

#include <csignal>
#include <cstdint>

// Set to 1 by on_interrupt (SIGINT). Read, and cleared where noted, by the interactive code after
// a console read returned early: rescue_menu (clears), set_mgmt_mac_address,
// configure_mgmt_port, physical_presence_test.
extern volatile std::sig_atomic_t interrupted;

// 1 when the settings EEPROM enables the USB drive and it mounted. Written by boot_main's USB
// steps; read there and by wait_usb_mount.
extern std::uint8_t usb_enabled;
// 1 while the boot in progress is the fallback to the other slot. Written by boot_main; read by
// boot_image_slot.
extern std::uint8_t second_attempt;

// The boot-loader environment's flags, written only by parse_env_flags (through
// read_env_flags) before any reader runs.
// gdb=on, or gdbserver=on. Read by start_application and boot_image_slot.
extern std::uint32_t gdb_mode;
// gdbserver=on. Read by start_application and boot_image_slot.
extern std::uint32_t gdbserver_mode;
// gdbport=N (1234 when absent). Read by start_application.
extern std::int32_t gdb_port;
// shell=on. Read by start_application and shell_then_reboot.
extern std::uint8_t shell_mode;
// memchk=on. Read by start_application.
extern std::uint8_t memchk_mode;
// diagnostics=rescue. Read by boot_main.
extern std::uint32_t rescue_requested;
// diagnostics=diags. Read by boot_main.
extern std::uint32_t diags_requested;
// lowsec=sanctioned. Read by is_low_security.
extern std::uint32_t lowsec_override;
