#include "files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace sim::detail {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

Fd::~Fd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int Fd::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

bool pread_all(int fd, void* buf, std::size_t count, std::uint64_t offset) {
    auto* p = static_cast<std::uint8_t*>(buf);
    while (count > 0) {
        ssize_t n = ::pread(fd, p, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool pwrite_all(int fd, const void* buf, std::size_t count, std::uint64_t offset) {
    const auto* p = static_cast<const std::uint8_t*>(buf);
    while (count > 0) {
        ssize_t n = ::pwrite(fd, p, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> read_file(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    std::uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            return out;
        }
        out.insert(out.end(), chunk, chunk + n);
    }
}

bool write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return fd.valid() && pwrite_all(fd.get(), bytes.data(), bytes.size(), 0);
}

std::optional<std::string> read_text(const std::filesystem::path& path) {
    auto bytes = read_file(path);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

bool write_text(const std::filesystem::path& path, const std::string& text) {
    return write_file(path,
                      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool append_text(const std::filesystem::path& path, const std::string& text) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!fd.valid()) {
        return false;
    }
    ssize_t n = ::write(fd.get(), text.data(), text.size());
    return n == static_cast<ssize_t>(text.size());
}

}  // namespace sim::detail
