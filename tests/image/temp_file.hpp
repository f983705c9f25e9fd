// A temporary file for tests, removed with its owner.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

namespace image::testing {

class temp_file {
public:
    explicit temp_file(std::span<const std::uint8_t> content) {
        std::string tmpl = ::testing::TempDir() + "imgXXXXXX";
        fd_ = ::mkstemp(tmpl.data());
        path_ = tmpl;
        if (fd_ >= 0 && !content.empty()) {
            written_ = ::write(fd_, content.data(), content.size()) ==
                       static_cast<ssize_t>(content.size());
        } else {
            written_ = fd_ >= 0;
        }
    }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;
    ~temp_file() {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(path_.c_str());
        }
    }

    bool ok() const { return written_; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    bool written_ = false;
    std::string path_;
};

}  // namespace image::testing
