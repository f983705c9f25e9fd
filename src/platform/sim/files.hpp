// Small file helpers for the emulators and the board API: whole-file and positioned I/O.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/files.hpp"

namespace sim::detail {

using platform::unique_fd;

std::optional<std::vector<std::uint8_t>> read_file(const std::filesystem::path& path);
bool write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
std::optional<std::string> read_text(const std::filesystem::path& path);
bool write_text(const std::filesystem::path& path, const std::string& text);
bool append_text(const std::filesystem::path& path, const std::string& text);

// pread/pwrite until done or error; false on error or early end of file.
bool pread_all(int fd, void* buf, std::size_t count, std::uint64_t offset);
bool pwrite_all(int fd, const void* buf, std::size_t count, std::uint64_t offset);

}  // namespace sim::detail
