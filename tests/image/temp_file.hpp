// A temporary file for tests, removed with its owner.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/files.hpp"

namespace image::testing {

class temp_file {
public:
    explicit temp_file(std::span<const std::uint8_t> content) {
        std::string tmpl = ::testing::TempDir() + "imgXXXXXX";
        fd_.reset(::mkstemp(tmpl.data()));
        path_ = tmpl;
        if (fd_ && !content.empty()) {
            written_ = ::write(fd_.get(), content.data(), content.size()) ==
                       static_cast<ssize_t>(content.size());
        } else {
            written_ = static_cast<bool>(fd_);
        }
    }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;
    ~temp_file() {
        if (fd_) {
            fd_.reset();
            ::unlink(path_.c_str());
        }
    }

    bool ok() const { return written_; }
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }

private:
    platform::unique_fd fd_;
    bool written_ = false;
    std::string path_;
};

}  // namespace image::testing
