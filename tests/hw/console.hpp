// Captures what an operation prints on standard output, byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

template <typename F>
std::pair<std::string, decltype(std::declval<F>()())> console_of(F&& operation) {
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    auto result = operation();
    std::fflush(stdout);
    return {::testing::internal::GetCapturedStdout(), result};
}
