#include "sys/flags.hpp"

volatile std::sig_atomic_t interrupted = 0;
std::uint8_t usb_enabled = 0;
std::uint8_t second_attempt = 0;

std::uint32_t gdb_mode = 0;
std::uint32_t gdbserver_mode = 0;
std::int32_t gdb_port = 1234;
std::uint8_t shell_mode = 0;
std::uint8_t memchk_mode = 0;
std::uint32_t rescue_requested = 0;
std::uint32_t diags_requested = 0;
std::uint32_t lowsec_override = 0;
