// Console input and prompts on the serial console (standard input and output).
//
// Every operation works on descriptor 0 and standard output. A SIGINT that arrives while one of
// them waits ends the wait early (the handler is installed without SA_RESTART); the caller then
// looks at `interrupted`.
#pragma once

#include <cstdint>
#include <span>

// One byte from the console with canonical input and echo off for the duration of the read.
// 0 when nothing could be read (for instance after SIGINT).
std::uint8_t read_key();

// Writes the low 8 bits of c to standard output and flushes.
void echo_char(int c);

// A small line editor: at most buffer.size() - 1 characters, always NUL-terminated. Ends on
// Enter or Ctrl-C; returns buffer.data().
char* read_line(std::span<char> buffer);

// Prints the prompt and "(y/n) ", waits up to five seconds of board time for an answer typed in
// canonical mode. 1 for "y", 0 for "n", a time-out or an interrupt.
int ask_yes_no_timeout(const char* prompt);

// "QUESTION y/N? " answered by a single key; 1 for y or Y, else 0.
int confirm_yN(const char* question);
