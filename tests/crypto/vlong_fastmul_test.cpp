// The fast multiplication paths against plain ones: the half products behind Barrett reduction
// against a schoolbook product (the low one exact, the high one never above the true high half
// and short by at most 2n), the Barrett multiplication built on them against
// multiply-then-divide for moduli whose top unit moves mu's top unit away from 1, and Karatsuba
// at sizes beyond those laid out at compile time against the column product.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "crypto/vlong.hpp"
#include "vlong_helpers.hpp"
#include "vlong_units.hpp"

using crypto_detail::Unit;

namespace {

using Units = std::vector<Unit>;

Units schoolbook(const Units& a, const Units& b) {
    Units r(a.size() + b.size(), 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < b.size(); ++j) {
            carry += std::uint64_t{a[i]} * b[j] + r[i + j];
            r[i + j] = static_cast<Unit>(carry);
            carry >>= 32;
        }
        r[i + b.size()] = static_cast<Unit>(carry);
    }
    return r;
}

struct Shape {
    const char* name;
    std::function<Unit(std::mt19937&, std::size_t i, std::size_t n)> unit;
};

// Carries run longest with all-ones units, which also leave the most out of the high half.
const Shape kShapes[] = {
    {"random", [](std::mt19937& rng, std::size_t, std::size_t) { return Unit(rng()); }},
    {"all ones", [](std::mt19937&, std::size_t, std::size_t) { return Unit{0xFFFFFFFF}; }},
    {"low half only",
     [](std::mt19937& rng, std::size_t i, std::size_t n) { return i < n / 2 ? Unit(rng()) : 0; }},
    {"high half only",
     [](std::mt19937& rng, std::size_t i, std::size_t n) { return i >= n / 2 ? Unit(rng()) : 0; }},
    {"alternating",
     [](std::mt19937&, std::size_t i, std::size_t) { return i % 2 ? Unit{0xFFFFFFFF} : 0; }},
    {"one", [](std::mt19937&, std::size_t i, std::size_t) { return Unit{i == 0}; }},
};

class HalfProduct : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(HalfProduct, LowIsExactAndHighIsShortByAtMostTwiceTheSize) {
    const std::uint32_t n = GetParam();
    std::mt19937 rng(n);
    for (const Shape& sa : kShapes) {
        for (const Shape& sb : kShapes) {
            Units a(n), b(n);
            for (std::size_t i = 0; i < n; ++i) {
                a[i] = sa.unit(rng, i, n);
                b[i] = sb.unit(rng, i, n);
            }
            const std::string what = std::string(sa.name) + " x " + sb.name;
            const Units full = schoolbook(a, b);
            Units scratch(4 * n), low(n + 1), high(n);
            crypto_detail::lowProduct(low.data(), a.data(), b.data(), n, scratch.data());
            EXPECT_EQ(low, Units(full.begin(), full.begin() + n + 1)) << what;

            crypto_detail::highProduct(high.data(), a.data(), b.data(), n, scratch.data());
            // shortfall = true high half - high, which must be a small non-negative number
            Units shortfall(n);
            std::int64_t borrow = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t d = std::int64_t{full[n + i]} - high[i] - borrow;
                shortfall[i] = static_cast<Unit>(d);
                borrow = d < 0 ? 1 : 0;
            }
            EXPECT_EQ(borrow, 0) << what << ": above the true high half";
            EXPECT_EQ(Units(shortfall.begin() + 1, shortfall.end()), Units(n - 1, 0)) << what;
            EXPECT_LE(shortfall[0], 2 * n) << what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, HalfProduct, ::testing::Values(8u, 16u, 32u, 64u, 128u),
                         [](const auto& info) { return std::to_string(info.param) + "units"; });

struct ModulusShape {
    const char* name;
    Unit top;  // the modulus's top unit; the units below are random, the lowest odd
};

// mu = floor(b^(2k) / m) has k+1 units for all of these, its top unit 1, 2, 2^16 and 2^31.
const ModulusShape kModuli[] = {
    {"top bit set", 0xF1234567},
    {"half of b^k", 0x80000000},
    {"top unit 2^16 + 1", 0x00010001},
    {"top unit 2", 0x00000002},
};

class BarrettHalfProducts : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(BarrettHalfProducts, AgreeWithDivisionWhateverMusTopUnit) {
    const std::uint32_t k = GetParam();
    std::mt19937 rng(k + 1);
    vlong* pool = nullptr;
    for (const ModulusShape& shape : kModuli) {
        auto mb = randomBytes(rng, 4 * k);
        mb[0] = static_cast<std::uint8_t>(shape.top >> 24);
        mb[1] = static_cast<std::uint8_t>(shape.top >> 16);
        mb[2] = static_cast<std::uint8_t>(shape.top >> 8);
        mb[3] = static_cast<std::uint8_t>(shape.top);
        if (shape.top == 0x80000000) {
            std::fill(mb.begin() + 4, mb.end(), 0);
        } else {
            mb.back() |= 1;
        }
        Vlong m(mb), mu;
        ASSERT_EQ(VLONG_newBarrettMu(mu.holder(), m.get(), &pool), OK);
        ASSERT_EQ(mu.get()->numUnitsUsed, k + 1) << shape.name;
        Vlong one = Vlong::hex("01");
        Vlong mMinus1(mb);
        ASSERT_EQ(VLONG_subtractUnsigned(mMinus1.get(), one.get()), OK);
        // Operands of k units: the largest residue, a random one, and one above m (an
        // unreduced base), which gives q3 its extra top unit.
        auto above = randomBytes(rng, 4 * k);
        above[0] = 0xFF;
        std::vector<Vlong> operands;
        operands.emplace_back(mMinus1.bytes());
        operands.emplace_back(randomBytes(rng, 4 * k - 1));
        operands.emplace_back(above);
        expectBarrettMatchesDivision(operands, m, mu, &pool, shape.name);
    }
    VLONG_freeVlongQueue(&pool);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BarrettHalfProducts, ::testing::Values(8u, 32u, 64u),
                         [](const auto& info) { return std::to_string(info.param) + "units"; });

// 256 and 512 units recurse at run time before they reach the compile-time sizes.
TEST(KaratsubaBeyondTheFixedSizes, AgreesWithTheColumnProduct) {
    std::mt19937 rng(11);
    for (std::size_t units : {256u, 512u}) {
        auto ab = randomBytes(rng, units * 4);
        auto bb = randomBytes(rng, units * 4);
        ab[0] |= 0x80;
        bb[0] |= 0x80;
        Vlong a(ab), b(bb);
        const std::uint32_t full = VLONG_bitLength(a.get()) + VLONG_bitLength(b.get());
        Vlong fast = Vlong::empty(), slow = Vlong::empty();
        // One more unit than the full width forces the column product over the same operands.
        ASSERT_EQ(VLONG_unsignedMultiply(fast.get(), a.get(), b.get(), full), OK);
        ASSERT_EQ(VLONG_unsignedMultiply(slow.get(), a.get(), b.get(), full + 32), OK);
        EXPECT_EQ(fast.hexString(), slow.hexString()) << units << " units";
        ASSERT_EQ(VLONG_unsignedSquare(fast.get(), a.get(), 2 * VLONG_bitLength(a.get())), OK);
        ASSERT_EQ(VLONG_unsignedMultiply(slow.get(), a.get(), a.get(), full + 64), OK);
        EXPECT_EQ(fast.hexString(), slow.hexString()) << "square, " << units << " units";
    }
}

}  // namespace
