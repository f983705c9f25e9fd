// Serial downloads over the console port.
#pragma once

// Receives one file with XMODEM-1K (CRC) between the download mode's begin and end, creating or
// truncating path. Bytes written (whole blocks as sent), 0 when the transfer was cancelled (the
// file keeps the blocks received) or the port cannot be opened, -1 when the file cannot be
// created (perror, and the download mode is ended as usual).
int xmodem_receive(const char* path);
