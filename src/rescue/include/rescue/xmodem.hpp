// Serial downloads over the console port.
#pragma once

// Receives one file with XMODEM-1K (CRC) between the download mode's begin and end. Bytes
// written (whole blocks as sent), 0 when the transfer was cancelled or the port cannot be
// opened, -1 when the file cannot be created.
int xmodem_receive(const char* path);
