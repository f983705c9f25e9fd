#include "files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace sim::detail {

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
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
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
    unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return fd && pwrite_all(fd.get(), bytes.data(), bytes.size(), 0);
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
    unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!fd) {
        return false;
    }
    ssize_t n = ::write(fd.get(), text.data(), text.size());
    return n == static_cast<ssize_t>(text.size());
}

}  // namespace sim::detail
