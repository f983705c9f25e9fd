// Owners for the descriptors and streams a boot step opens, so that every early return releases
// them. Steps that never return (start, reboot) release them explicitly first.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <memory>

namespace boot {

class unique_fd {
public:
    explicit unique_fd(int fd = -1) : fd_(fd) {}
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    unique_fd(unique_fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using unique_file = std::unique_ptr<std::FILE, file_closer>;

inline unique_file open_file(const char* path, const char* mode) {
    return unique_file(std::fopen(path, mode));
}

}  // namespace boot
