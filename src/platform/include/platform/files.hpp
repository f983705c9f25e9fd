// Owners of descriptors and streams, so that every early return releases them. Code that never
// returns (starting the application, rebooting) releases them explicitly first.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/seam.hpp"

namespace platform {

// Owns one descriptor (-1 owns nothing) and closes it with Close: ::close for files and sockets,
// dev_close for what dev_open returned.
template <int (*Close)(int)>
class basic_fd {
public:
    explicit basic_fd(int fd = -1) : fd_(fd) {}
    basic_fd(const basic_fd&) = delete;
    basic_fd& operator=(const basic_fd&) = delete;
    basic_fd(basic_fd&& other) noexcept : fd_(other.release()) {}
    basic_fd& operator=(basic_fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~basic_fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Gives up ownership without closing; returns the descriptor.
    int release() { return std::exchange(fd_, -1); }
    // Closes what is owned (the close's result is not looked at), then owns fd.
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            Close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

using unique_fd = basic_fd<::close>;
using unique_dev_fd = basic_fd<dev_close>;

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
// Owns a stream; an empty one owns nothing.
using unique_file = std::unique_ptr<std::FILE, file_closer>;

// std::fopen into an owner; empty when the open failed (errno as fopen left it).
inline unique_file open_file(const char* path, const char* mode) {
    return unique_file(std::fopen(path, mode));
}

}  // namespace platform
