// For tests that run the code in their own process: what it prints on standard output, and
// files it reads through a descriptor.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace testsupport {

// The bytes `operation` wrote to standard output, and what it returned.
template <typename F>
std::pair<std::string, decltype(std::declval<F>()())> console_of(F&& operation) {
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    auto result = operation();
    std::fflush(stdout);
    return {::testing::internal::GetCapturedStdout(), result};
}

// An unnamed temporary file holding `bytes`; fileno() gives its descriptor.
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
inline File file_holding(std::span<const std::uint8_t> bytes) {
    File file{std::tmpfile(), &std::fclose};
    if (!bytes.empty()) {  // an empty span's data() may be null, which fwrite must not get
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file.get()), bytes.size());
        std::fflush(file.get());
    }
    return file;
}

}  // namespace testsupport
