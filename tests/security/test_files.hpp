// Sample keys and the fixed signature vectors of tests/security/data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "hex.hpp"

namespace sectest {

// What start-up does for the key decoding: the Base64 tables.
class CryptoLibrary : public testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(BASE64_initializeContext(), OK); }
};
// gtest owns registered environments.
inline testing::Environment* const crypto_library =
    testing::AddGlobalTestEnvironment(new CryptoLibrary);

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string sample_key(const std::string& name) {
    return read_text(std::string(BM_SECURITY_KEYS) + "/" + name);
}

// data/signatures.txt: one "name hex" per line.
inline std::map<std::string, std::vector<std::uint8_t>> signature_vectors() {
    std::map<std::string, std::vector<std::uint8_t>> vectors;
    std::istringstream lines(read_text(std::string(BM_SECURITY_DATA) + "/signatures.txt"));
    std::string name;
    std::string hex;
    while (lines >> name >> hex) {
        vectors[name] = fromHex(hex);
    }
    return vectors;
}

inline const std::uint8_t* bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

}  // namespace sectest
