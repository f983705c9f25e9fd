// Access to the fixed test data made by tests/data/crypto/make-vectors.sh.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hex.hpp"

inline std::string testDataPath(const std::string& name) {
    return std::string(BM_CRYPTO_TESTDATA) + "/" + name;
}

inline std::vector<std::uint8_t> readTestFile(const std::string& name) {
    std::ifstream in(testDataPath(name), std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing test data " << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> readHexFile(const std::string& name) {
    auto text = readTestFile(name);
    return fromHex(std::string(text.begin(), text.end()));
}
