// The console port switched to 115200 bit/s raw 8N1 for a serial download, and the byte
// operations of the XMODEM receiver on it.
#pragma once

#include <cstdint>

// Opens /dev/ttyS0, saves its settings, switches it to the download mode and waits for the
// operator's carriage return. The descriptor, or -1 (after a message) when the port cannot be
// opened. The byte operations below work on the port opened last.
int serial_download_begin();

// Restores the settings saved by the last begin and waits for the operator's line feed.
void serial_download_end(int fd);

void serial_put_byte(std::uint8_t byte);

// Up to seconds x 1000 non-blocking one-byte reads, 1 ms apart. 1 with the byte stored, or -1
// with destination untouched.
int serial_get_byte(unsigned seconds, std::uint8_t* destination);

// Drops whatever has already arrived, without waiting.
void serial_purge();
