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

// Barrett multiplication of every pair of operands (squares included) against the product
// reduced by long division; `label` names the case in a failure.
inline void expectBarrettMatchesDivision(const std::vector<Vlong>& operands, const Vlong& m,
                                         const Vlong& mu, vlong** pool, const std::string& label) {
    for (std::size_t i = 0; i < operands.size(); ++i) {
        for (std::size_t j = i; j < operands.size(); ++j) {
            const vlong* a = operands[i].get();
            const vlong* b = i == j ? a : operands[j].get();
            Vlong got = Vlong::empty(), product = Vlong::empty(), q = Vlong::empty(),
                  want = Vlong::empty();
            ASSERT_EQ(VLONG_barrettMultiply(got.get(), a, b, m.get(), mu.get(), pool), OK);
            ASSERT_EQ(VLONG_unsignedMultiply(product.get(), a, b,
                                             VLONG_bitLength(a) + VLONG_bitLength(b)),
                      OK);
            ASSERT_EQ(VLONG_unsignedDivide(q.get(), product.get(), m.get(), want.get(), pool), OK);
            EXPECT_EQ(got.hexString(), want.hexString()) << label << ", operands " << i << "," << j;
        }
    }
}

inline std::vector<std::uint8_t> randomBytes(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(rng());
    }
    return out;
}
