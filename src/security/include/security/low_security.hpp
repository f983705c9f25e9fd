// Low security mode: admits development-signed images and the standalone diagnostics. In force
// when the boot loader forces it or the marker file exists; the physical presence test (the
// operator counts blinks of the blue location LED) creates the marker.
#pragma once

#include <cstdint>

inline constexpr const char* LOWSEC_MARKER = "/tmp/lowsec";

// 1 in low security mode; prints the override note each time the boot loader forces it.
int is_low_security();
// Creates or removes the marker. 0.
int set_low_security(std::uint8_t on);
// 1 on a prototype board; a CPLD that cannot be read counts as a production board.
int is_proto_board();
// Offers to leave the mode, or runs the test. Three wrong answers reboot the board.
int physical_presence_test();
