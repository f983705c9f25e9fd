// Console input and prompts on the serial console (standard input and output).
//
// Every operation works on descriptor 0 and standard output. A SIGINT that arrives while one of
// them waits ends the wait early (the handler is installed without SA_RESTART); the caller then
// looks at `interrupted`.
#pragma once

#include <cstdint>
#include <span>

// One byte from the console with canonical input and echo off for the duration of the read
// (the settings are put back; a console that is no terminal is read as it is). 0 when nothing
// could be read: end of input, or SIGINT.
std::uint8_t read_key();

// Writes the low 8 bits of c to standard output and flushes.
void echo_char(int c);

// A small line editor over read_key, echoing as it goes: at most buffer.size() - 1 printable
// characters (a bell for more, and for unknown control keys), cursor keys, Ctrl-A/B/D/F,
// Backspace. The buffer is cleared first and always NUL-terminated. Ends on Enter (echoes a line
// end) or Ctrl-C (echoes " <break>", keeping what was typed); a byte that could not be read
// counts as an unknown key, so neither end of input nor SIGINT ends it. Returns buffer.data().
char* read_line(std::span<char> buffer);

// Prints the prompt and "(y/n) ", then waits up to five seconds of board time for one byte in
// the console's current mode; any other byte prints "(y/n) " again and restarts the wait. 1 for
// "y", 0 for "n"; 0 after "Timeout. Assuming "no"." for a time-out, an interrupt or end of input.
int ask_yes_no_timeout(const char* prompt);

// "QUESTION y/N? " answered by a single key (read_key), which is echoed with a line end; 1 for
// y or Y, else 0 (also when nothing could be read).
int confirm_yN(const char* question);
