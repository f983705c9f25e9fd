// RAII holder and hex conversion for vlong values in tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypto/vlong.hpp"
#include "hex.hpp"

class Vlong {
public:
    Vlong() = default;
    explicit Vlong(const std::vector<std::uint8_t>& bytes) {
        EXPECT_EQ(VLONG_vlongFromByteString(bytes.data(), static_cast<std::int32_t>(bytes.size()),
                                            &v_, nullptr),
                  OK);
    }
    static Vlong hex(std::string_view text) { return Vlong(fromHex(text)); }
    static Vlong empty() {
        Vlong v;
        EXPECT_EQ(VLONG_allocVlong(&v.v_, nullptr), OK);
        return v;
    }
    ~Vlong() {
        if (v_ != nullptr) {
            VLONG_freeVlong(&v_, nullptr);
        }
    }
    Vlong(Vlong&& other) noexcept : v_(other.v_) { other.v_ = nullptr; }
    Vlong& operator=(Vlong&& other) noexcept {
        std::swap(v_, other.v_);
        return *this;
    }
    vlong* get() const { return v_; }
    vlong** holder() { return &v_; }

    std::vector<std::uint8_t> bytes() const {
        std::int32_t n = 0;
        EXPECT_EQ(VLONG_byteStringFromVlong(v_, nullptr, &n), OK);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(n));
        EXPECT_EQ(VLONG_byteStringFromVlong(v_, out.data(), &n), OK);
        return out;
    }
    std::string hexString() const { return toHex(bytes()); }

private:
    vlong* v_ = nullptr;
};

inline std::vector<std::uint8_t> randomBytes(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(rng());
    }
    return out;
}
