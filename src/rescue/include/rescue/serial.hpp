// The console port switched to 115200 bit/s raw 8N1 for a serial download, and the byte
// operations of the XMODEM receiver on it.
#pragma once

#include <cstdint>

// Opens /dev/ttyS0 (non-blocking), tells the operator to switch to 115200 bit/s, saves the
// port's settings, switches it to the download mode and waits, without a time limit, for a
// carriage return (other bytes are dropped; a reminder every 11 board seconds). The descriptor,
// which the caller closes after serial_download_end, or -1 (after perror) when the port cannot
// be opened. The byte operations below work on the port opened last.
int serial_download_begin();

// Tells the operator to switch back to 9600 bit/s, restores the settings saved by the last
// begin and waits, without a time limit, for a line feed. Leaves fd open.
void serial_download_end(int fd);

// Writes one byte, retrying every millisecond while the port would block; any other write
// error drops the byte.
void serial_put_byte(std::uint8_t byte);

// Up to seconds x 1000 non-blocking one-byte reads, 1 ms apart. 1 with the byte stored, or -1
// with destination untouched.
int serial_get_byte(unsigned seconds, std::uint8_t* destination);

// Drops whatever has already arrived, without waiting.
void serial_purge();
