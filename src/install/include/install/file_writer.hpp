// Writing a memory buffer to a file with a percentage shown on the console; copying a range of
// one file into another.
#pragma once

#include <cstdint>

// Progress cells: four blanks first, then each percentage written over them in place.
inline constexpr const char* progress_blank = "    ";
inline constexpr const char* progress_step = "\b\b\b\b%3.3d%c";
inline constexpr const char* progress_done = "\b\b\b\b100%c\n";

// Pieces of at most this many bytes per write, with the display updated between them.
inline constexpr std::uint32_t write_piece_size = 0x10000;

// Creates (truncates) `path` and writes `length` bytes of `data` to it in pieces, showing the
// percentage written (a negative length writes nothing and shows 100 %). 1 when every byte was
// written, 0 when the file could not be created (nothing printed) or a write failed (errno tells
// why; the failed piece is reported on the console and the file keeps the pieces before it).
int write_file_with_progress(const char* path, const std::uint8_t* data, std::int32_t length);

// Writes all of `size` bytes, resuming after short writes and interrupts; false with errno set
// (ENOSPC when a write takes nothing), what was written before staying written.
bool write_fully(int fd, const std::uint8_t* data, std::uint32_t size);

// Pieces of a file copy. Large enough that the system calls cost next to nothing, small enough
// to stay in the cache on its way through.
inline constexpr std::uint32_t copy_piece_size = 0x100000;

// Copies `count` bytes at `offset` of `from` to the current position of `to`, through a buffer
// of one piece; `from`'s own position is left alone. False when the source ends early, a read
// or a write fails, or the buffer cannot be allocated; the bytes copied before stay in `to`.
bool copy_file_bytes(int from, std::uint64_t offset, std::uint32_t count, int to);
