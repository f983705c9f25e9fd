// Sample keys and the fixed signature vectors of tests/security/data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "hex.hpp"
#include "scratch.hpp"

namespace sectest {

// What start-up does for the key decoding: the Base64 tables.
class CryptoLibrary : public testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(BASE64_initializeContext(), OK); }
};
// gtest owns registered environments.
inline testing::Environment* const crypto_library =
    testing::AddGlobalTestEnvironment(new CryptoLibrary);

inline std::string sample_key(const std::string& name) {
    return testsupport::read_file(std::string(BM_SECURITY_KEYS) + "/" + name);
}

// data/signatures.txt: one "name hex" per line.
inline std::map<std::string, std::vector<std::uint8_t>> signature_vectors() {
    std::map<std::string, std::vector<std::uint8_t>> vectors;
    std::istringstream lines(
        testsupport::read_file(std::string(BM_SECURITY_DATA) + "/signatures.txt"));
    for (std::string name, hex; lines >> name >> hex;) {
        vectors[name] = fromHex(hex);
    }
    return vectors;
}

inline const std::uint8_t* bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

}  // namespace sectest
