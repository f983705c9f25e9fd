// Whole-file helpers and an owned descriptor for the commands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace imgtool {

class unique_fd {
public:
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    unique_fd(unique_fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    unique_fd& operator=(unique_fd&&) = delete;
    ~unique_fd();

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

// Opens for reading; on failure says why on standard error.
unique_fd open_input(const std::string& path);

std::optional<std::vector<std::uint8_t>> read_whole_file(const std::string& path);

// Replaces `path` with `bytes`; on failure says why on standard error.
bool write_whole_file(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace imgtool
