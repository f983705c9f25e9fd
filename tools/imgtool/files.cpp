#include "files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace imgtool {
namespace {

bool pread_full(int fd, std::uint8_t* dst, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, dst, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            if (got == 0) {
                errno = 0;
            }
            return false;
        }
        dst += got;
        count -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool pwrite_full(int fd, const std::uint8_t* src, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t put = ::pwrite(fd, src, count, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        src += put;
        count -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

}  // namespace

unique_fd open_input(const std::string& path) {
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        std::fprintf(stderr, "imgtool: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    }
    return fd;
}

std::optional<sized_input> open_sized_input(const std::string& path) {
    unique_fd fd = open_input(path);
    if (!fd) {
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        std::fprintf(stderr, "imgtool: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    std::uint64_t size = 0;
    if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISBLK(st.st_mode)) {
        const off_t end = ::lseek(fd.get(), 0, SEEK_END);
        if (end < 0) {
            std::fprintf(stderr, "imgtool: cannot measure %s: %s\n", path.c_str(),
                         std::strerror(errno));
            return std::nullopt;
        }
        size = static_cast<std::uint64_t>(end);
    } else {
        std::fprintf(stderr,
                     "imgtool: %s is not a file: a bundle is read where it stands, so save "
                     "it to a file first\n",
                     path.c_str());
        return std::nullopt;
    }
    return sized_input{std::move(fd), size};
}

bool read_chunks(int fd, std::uint64_t offset, std::uint64_t count, const std::string& path,
                 const std::function<bool(std::span<const std::uint8_t>)>& each) {
    static std::vector<std::uint8_t> buffer(chunk_size);
    while (count > 0) {
        const std::size_t n = count < chunk_size ? static_cast<std::size_t>(count) : chunk_size;
        if (!pread_full(fd, buffer.data(), n, offset)) {
            std::fprintf(stderr, "imgtool: cannot read %s: %s\n", path.c_str(),
                         errno ? std::strerror(errno) : "it ends early");
            return false;
        }
        if (!each(std::span(buffer).first(n))) {
            return false;
        }
        offset += n;
        count -= n;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> read_whole_file(const std::string& path) {
    const auto input = open_sized_input(path);
    if (!input) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    if (!read_chunks(input->fd.get(), 0, input->size, path, [&](auto chunk) {
            bytes.insert(bytes.end(), chunk.begin(), chunk.end());
            return true;
        })) {
        return std::nullopt;
    }
    return bytes;
}

bool is_an_input(const std::string& output, const std::vector<std::string>& inputs) {
    struct stat out {};
    if (::stat(output.c_str(), &out) != 0) {
        return false;  // nothing there yet, so nothing to overwrite
    }
    for (const auto& input : inputs) {
        struct stat in {};
        if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            std::fprintf(stderr, "imgtool: %s is the input %s: give another output\n",
                         output.c_str(), input.c_str());
            return true;
        }
    }
    return false;
}

output_file::output_file(std::string path, std::string temp, int fd)
    : path_(std::move(path)), temp_(std::move(temp)), fd_(fd) {}

output_file::output_file(output_file&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      fd_(std::exchange(other.fd_, -1)),
      size_(other.size_) {}

std::optional<output_file> output_file::create(const std::string& path) {
    const std::filesystem::path final_path(path);
    std::string temp =
        (final_path.parent_path() / ("." + final_path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        std::fprintf(stderr, "imgtool: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    // mkstemp makes the file private; give it the mode the final name has, or would get.
    struct stat st {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    return output_file(path, std::move(temp), fd);
}

output_file::~output_file() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

bool output_file::failed(const char* what) {
    std::fprintf(stderr, "imgtool: cannot %s %s: %s\n", what, path_.c_str(), std::strerror(errno));
    return false;
}

bool output_file::append(std::span<const std::uint8_t> bytes) {
    if (!pwrite_full(fd_, bytes.data(), bytes.size(), size_)) {
        return failed("write");
    }
    size_ += bytes.size();
    return true;
}

bool output_file::write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (!pwrite_full(fd_, bytes.data(), bytes.size(), offset)) {
        return failed("write");
    }
    if (offset + bytes.size() > size_) {
        size_ = offset + bytes.size();
    }
    return true;
}

bool output_file::commit() {
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
        ::unlink(temp_.c_str());
        return failed("write");
    }
    if (::rename(temp_.c_str(), path_.c_str()) != 0) {
        ::unlink(temp_.c_str());
        return failed("write");
    }
    return true;
}

bool write_whole_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    auto out = output_file::create(path);
    return out && out->append(bytes) && out->commit();
}

}  // namespace imgtool
