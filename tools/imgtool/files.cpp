#include "files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace imgtool {

unique_fd::~unique_fd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

unique_fd open_input(const std::string& path) {
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        std::fprintf(stderr, "imgtool: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    }
    return fd;
}

std::optional<std::vector<std::uint8_t>> read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "imgtool: cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "imgtool: cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    return bytes;
}

bool write_whole_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "imgtool: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace imgtool
