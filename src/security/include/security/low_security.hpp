// Low security mode: admits development-signed images and the standalone diagnostics. In force
// when the boot loader forces it or the marker file exists; the physical presence test (the
// operator counts blinks of the blue location LED) creates the marker.
#pragma once

#include <cstdint>

inline constexpr const char* LOWSEC_MARKER = "/tmp/lowsec";

// 1 in low security mode; prints the override note each time the boot loader forces it.
int is_low_security();
// Removes the marker (0), or creates it (any other value); a marker that cannot be written is
// reported ("ERROR creating ...") and the mode stays off. Always 0.
int set_low_security(std::uint8_t on);
// 1 on a prototype board (board revision 0 or 1 in the CPLD); a CPLD that cannot be read counts
// as a production board.
int is_proto_board();
// In low security mode: offers to leave it (any key but n or N removes the marker) and returns
// 1, or 0 when no key could be read. Otherwise, after the operator's y: up to three rounds of
// blinks and a count typed in; 1 once a count is right and the marker is written. 0 when the
// operator declines, on SIGINT, or when the marker cannot be written.
// Three wrong counts reboot the board.
int physical_presence_test();
