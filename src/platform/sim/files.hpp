// Small file helpers for the emulators and the board API: RAII descriptors and whole-file I/O.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim::detail {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    ~Fd();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();

private:
    int fd_ = -1;
};

std::optional<std::vector<std::uint8_t>> read_file(const std::filesystem::path& path);
bool write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
std::optional<std::string> read_text(const std::filesystem::path& path);
bool write_text(const std::filesystem::path& path, const std::string& text);
bool append_text(const std::filesystem::path& path, const std::string& text);

// pread/pwrite until done or error; false on error or early end of file.
bool pread_all(int fd, void* buf, std::size_t count, std::uint64_t offset);
bool pwrite_all(int fd, const void* buf, std::size_t count, std::uint64_t offset);

}  // namespace sim::detail
