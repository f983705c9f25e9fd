// Writing a memory buffer to a file with a percentage shown on the console.
#pragma once

#include <cstdint>

// Progress cells: four blanks first, then each percentage written over them in place.
inline constexpr const char* progress_blank = "    ";
inline constexpr const char* progress_step = "\b\b\b\b%3.3d%c";
inline constexpr const char* progress_done = "\b\b\b\b100%c\n";

// Pieces of at most this many bytes per write, with the display updated between them.
inline constexpr std::uint32_t write_piece_size = 0x10000;

// Creates (truncates) `path` and writes `length` bytes of `data` to it in pieces, showing the
// percentage written. 1 when every byte was written, 0 when the file could not be created or a
// write failed (errno tells why; a failed piece is reported on the console).
int write_file_with_progress(const char* path, const std::uint8_t* data, std::int32_t length);

// Writes all of `size` bytes, resuming after short writes and interrupts; false with errno set.
bool write_fully(int fd, const std::uint8_t* data, std::uint32_t size);
