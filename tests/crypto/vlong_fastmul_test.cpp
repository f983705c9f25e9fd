// The half products behind Barrett reduction against a schoolbook product: the low one exact, the
// high one never above the true high half and short by at most 2n.
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

}  // namespace
