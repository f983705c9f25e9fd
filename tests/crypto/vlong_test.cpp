#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypto/vlong.hpp"
#include "hex.hpp"
#include "vlong_helpers.hpp"

// Leading zero bytes are dropped on the way in; a longer buffer is filled with zeros in front.
TEST(VlongBytes, ConvertBothWays) {
    struct Case {
        const char* in;
        std::uint32_t bits;
        std::string out;
    };
    const Case cases[] = {
        {"0000000000", 0, ""},
        {"01", 1, "01"},
        {"00000100", 9, "0100"},
        {"0102030405", 33, "0102030405"},
        {"000000000102030405060708", 57, "0102030405060708"},
        {"ff00000000", 40, "ff00000000"},
    };
    for (const Case& c : cases) {
        Vlong v = Vlong::hex(c.in);
        EXPECT_EQ(VLONG_bitLength(v.get()), c.bits) << c.in;
        EXPECT_EQ(v.hexString(), c.out) << c.in;
        std::vector<std::uint8_t> wider(c.out.size() / 2 + 2, 9);
        auto length = static_cast<std::int32_t>(wider.size());
        EXPECT_EQ(VLONG_byteStringFromVlong(v.get(), wider.data(), &length), OK);
        EXPECT_EQ(toHex(wider), "0000" + c.out) << c.in;
        EXPECT_EQ(length, static_cast<std::int32_t>(wider.size())) << c.in;
    }
    Vlong v = Vlong::hex("0100");
    std::uint8_t one[1];
    std::int32_t length = 1;
    EXPECT_EQ(VLONG_byteStringFromVlong(v.get(), one, &length), ERR_BUFFER_OVERFLOW);
}

TEST(VlongLimits, EightThousandOneHundredAndNinetyThreeUnitsAreRefused) {
    std::vector<std::uint8_t> bytes(32768, 0xAB);
    vlong* v = nullptr;
    EXPECT_EQ(VLONG_vlongFromByteString(bytes.data(), 32767, &v, nullptr), OK);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(VLONG_bitLength(v), 32767u * 8);
    EXPECT_EQ(VLONG_reallocVlong(v, 8194), ERR_BAD_LENGTH);
    EXPECT_EQ(VLONG_bitLength(v), 32767u * 8) << "a refused request leaves the value alone";
    VLONG_freeVlong(&v, nullptr);

    Vlong fresh = Vlong::empty();
    EXPECT_EQ(VLONG_allocUnits(fresh.get(), 8193), ERR_BAD_LENGTH);
    EXPECT_EQ(VLONG_reallocVlong(fresh.get(), 8193), ERR_BAD_LENGTH);
    EXPECT_EQ(VLONG_setVlongUnit(fresh.get(), 8192, 1), ERR_BAD_LENGTH);
    EXPECT_EQ(VLONG_allocUnits(fresh.get(), 8192), OK);

    vlong* pool = nullptr;
    EXPECT_EQ(VLONG_vlongFromByteString(bytes.data(), 32768, &v, &pool), ERR_BAD_LENGTH);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(VLONG_vlongFromByteString(bytes.data(), -1, &v, nullptr), ERR_BAD_LENGTH);
    VLONG_freeVlongQueue(&pool);
}

TEST(VlongLifecycle, FreeingNothingIsRefusedOrIgnored) {
    vlong* none = nullptr;
    EXPECT_EQ(VLONG_freeVlong(&none, nullptr), ERR_NULL_POINTER);
    EXPECT_EQ(VLONG_freeVlongQueue(nullptr), OK);
}

TEST(VlongUnits, SetUnitGrowsShrinksAndIgnoresZerosBeyondTheTop) {
    Vlong v = Vlong::empty();
    EXPECT_EQ(VLONG_setVlongUnit(v.get(), 3, 0), OK);
    EXPECT_EQ(v.get()->numUnitsUsed, 0u);
    EXPECT_EQ(VLONG_setVlongUnit(v.get(), 3, 7), OK);
    EXPECT_EQ(v.hexString(), "07000000000000000000000000");
    EXPECT_EQ(VLONG_setVlongUnit(v.get(), 1, 5), OK);
    EXPECT_EQ(VLONG_setVlongUnit(v.get(), 3, 0), OK);
    EXPECT_EQ(v.get()->numUnitsUsed, 2u) << "leading zero units are dropped";
    EXPECT_EQ(VLONG_bitLength(v.get()), 35u);
    EXPECT_EQ(VLONG_isVlongBitSet(v.get(), 32), 1);
    EXPECT_EQ(VLONG_isVlongBitSet(v.get(), 33), 0);
    EXPECT_EQ(VLONG_isVlongBitSet(v.get(), 34), 1);
    EXPECT_EQ(VLONG_isVlongBitSet(v.get(), 500), 0);
}

TEST(VlongSubtract, ABorrowRunsOnThroughZeroUnits) {
    Vlong a = Vlong::hex("010000000000000000");
    Vlong one = Vlong::hex("01");
    ASSERT_EQ(VLONG_subtractUnsigned(a.get(), one.get()), OK);
    EXPECT_EQ(a.hexString(), "ffffffffffffffff");
}

TEST(VlongMultiply, KaratsubaAndKernelsAgreeWithTheColumnProduct) {
    // A full-width request of equal power-of-two sizes takes the kernel or Karatsuba (256 and 512
    // units recurse at run time before they reach the sizes laid out at compile time); asking
    // for one more unit forces the column product over the same operands.
    std::mt19937 rng(1);
    for (std::size_t units : {8u, 16u, 32u, 64u, 128u, 256u, 512u}) {
        for (int round = 0; round < 4; ++round) {
            auto ab = randomBytes(rng, units * 4);
            auto bb = randomBytes(rng, units * 4);
            ab[0] |= 0x80;
            bb[0] |= 0x80;
            if (round == 1) {  // long runs of all-ones units stress the carries
                std::fill(ab.begin(), ab.end(), 0xFF);
                std::fill(bb.begin(), bb.end(), 0xFF);
            }
            if (round == 2) {  // equal halves make the Karatsuba differences zero
                std::copy(ab.begin(), ab.begin() + units * 2, ab.begin() + units * 2);
            }
            Vlong a(ab), b(bb);
            std::uint32_t full = VLONG_bitLength(a.get()) + VLONG_bitLength(b.get());
            Vlong fast = Vlong::empty(), slow = Vlong::empty();
            ASSERT_EQ(VLONG_unsignedMultiply(fast.get(), a.get(), b.get(), full), OK);
            ASSERT_EQ(VLONG_unsignedMultiply(slow.get(), a.get(), b.get(), full + 32), OK);
            EXPECT_EQ(fast.hexString(), slow.hexString()) << units << " units, round " << round;

            ASSERT_EQ(VLONG_unsignedSquare(fast.get(), a.get(), 2 * VLONG_bitLength(a.get())), OK);
            ASSERT_EQ(VLONG_unsignedMultiply(slow.get(), a.get(), a.get(), full + 64), OK);
            EXPECT_EQ(fast.hexString(), slow.hexString()) << "square, " << units << " units";
        }
    }
}

TEST(VlongMultiply, TruncatedProductsKeepTheLowBits) {
    Vlong a = Vlong::hex("ffffffffffffffffffff");
    Vlong b = Vlong::hex("ffffffffffff");
    Vlong p = Vlong::empty();
    ASSERT_EQ(VLONG_unsignedMultiply(p.get(), a.get(), b.get(), 200), OK);
    EXPECT_EQ(p.hexString(), "fffffffffffeffffffff000000000001");
    ASSERT_EQ(VLONG_unsignedMultiply(p.get(), a.get(), b.get(), 40), OK);
    EXPECT_EQ(p.hexString(), "01");
    ASSERT_EQ(VLONG_unsignedMultiply(p.get(), a.get(), b.get(), 68), OK);
    EXPECT_EQ(p.hexString(), "0fffff000000000001");
    Vlong zero(std::vector<std::uint8_t>{});
    ASSERT_EQ(VLONG_unsignedMultiply(p.get(), a.get(), zero.get(), 100), OK);
    EXPECT_EQ(p.get()->numUnitsUsed, 0u);
    // The product may be an operand.
    ASSERT_EQ(VLONG_unsignedMultiply(a.get(), a.get(), b.get(), 200), OK);
    EXPECT_EQ(a.hexString(), "fffffffffffeffffffff000000000001");
}

TEST(VlongDivide, EdgeCases) {
    Vlong seven = Vlong::hex("07"), zero = Vlong::hex(""), big = Vlong::hex("0100000000");
    Vlong q = Vlong::empty(), r = Vlong::empty();
    EXPECT_EQ(VLONG_unsignedDivide(q.get(), seven.get(), zero.get(), r.get(), nullptr),
              ERR_DIVIDE_BY_ZERO);
    ASSERT_EQ(VLONG_unsignedDivide(q.get(), seven.get(), big.get(), r.get(), nullptr), OK);
    EXPECT_EQ(q.get()->numUnitsUsed, 0u);
    EXPECT_EQ(r.hexString(), "07");
    // Knuth D's rare add-back step: dividend and divisor chosen so the first estimate is high.
    Vlong n = Vlong::hex("7fffffff80000001800000007fffffff");
    Vlong d = Vlong::hex("7fffffff8000000180000001");
    ASSERT_EQ(VLONG_unsignedDivide(q.get(), n.get(), d.get(), r.get(), nullptr), OK);
    EXPECT_EQ(q.hexString(), "ffffffff");
    EXPECT_EQ(r.hexString(), "7fffffff8000000100000000");
}

TEST(VlongModexp, SpecialOperands) {
    struct Case {
        const char* base;
        const char* exponent;
        const char* modulus;
        const char* result;
    };
    const Case cases[] = {
        {"", "05", "0b", ""},    // zero base
        {"05", "", "0b", "01"},  // zero exponent
        {"0b", "05", "0b", ""},  // base equal to the modulus
    };
    for (const Case& c : cases) {
        Vlong b = Vlong::hex(c.base), e = Vlong::hex(c.exponent), m = Vlong::hex(c.modulus);
        Vlong out;
        ASSERT_EQ(VLONG_modexp(b.get(), e.get(), m.get(), out.holder(), nullptr), OK) << c.base;
        EXPECT_EQ(out.hexString(), c.result) << c.base << "^" << c.exponent << " mod " << c.modulus;
    }
    Vlong b = Vlong::hex("02"), e = Vlong::hex("02"), zero = Vlong::hex("");
    Vlong out;
    EXPECT_EQ(VLONG_modexp(b.get(), e.get(), zero.get(), out.holder(), nullptr),
              ERR_DIVIDE_BY_ZERO);
    EXPECT_EQ(VLONG_modexp(nullptr, e.get(), b.get(), out.holder(), nullptr), ERR_NULL_POINTER);
}

// Barrett multiplication against multiply-then-divide, for moduli of every Karatsuba size whose
// shapes move mu's top unit (1, 2, 2^16, 2^31 and beyond), with operands that are short, maximal
// (m - 1), or above m (an unreduced base, which gives q3 its extra top unit).
TEST(VlongBarrett, AgreesWithDivisionForEveryModulusAndOperandShape) {
    enum Rest { kRandom, kZeros, kOnes };
    struct ModulusShape {
        const char* name;
        std::uint32_t top;  // the modulus's top unit
        Rest rest;          // the units below it; random ones end odd
    };
    const ModulusShape shapes[] = {
        {"top bit set", 0xF1234567, kRandom},
        {"half of b^k", 0x80000000, kZeros},
        {"top unit 2^16 + 1", 0x00010001, kRandom},
        {"top unit 2", 2, kRandom},
        {"top unit 1", 1, kRandom},
        {"power of b", 1, kZeros},
        {"all ones", 0xFFFFFFFF, kOnes},
    };
    std::mt19937 rng(7);
    vlong* pool = nullptr;
    for (std::size_t units : {8u, 16u, 32u, 64u, 128u}) {
        for (const ModulusShape& shape : shapes) {
            auto mb = randomBytes(rng, units * 4);
            if (shape.rest != kRandom) {
                std::fill(mb.begin(), mb.end(), shape.rest == kOnes ? 0xFF : 0);
            }
            mb.back() |= shape.rest == kRandom ? 1 : 0;
            for (int i = 0; i < 4; ++i) {
                mb[i] = static_cast<std::uint8_t>(shape.top >> (24 - 8 * i));
            }
            Vlong m(mb), mu;
            ASSERT_EQ(VLONG_newBarrettMu(mu.holder(), m.get(), &pool), OK);
            Vlong one = Vlong::hex("01");
            Vlong mMinus1(mb);
            ASSERT_EQ(VLONG_subtractUnsigned(mMinus1.get(), one.get()), OK);
            auto above = randomBytes(rng, units * 4);
            above[0] = 0xFF;
            std::vector<Vlong> operands;
            operands.emplace_back(mMinus1.bytes());
            operands.emplace_back(randomBytes(rng, units * 4 - 1));
            operands.emplace_back(above);
            operands.emplace_back(randomBytes(rng, 12));
            operands.emplace_back(randomBytes(rng, 4));
            // Long carries through the half products: all-ones and alternating units.
            operands.emplace_back(std::vector<std::uint8_t>(units * 4, 0xFF));
            std::vector<std::uint8_t> alternating(units * 4, 0xFF);
            for (std::size_t i = 0; i < alternating.size(); i += 8) {
                std::fill_n(alternating.begin() + i, 4, 0);
            }
            operands.emplace_back(alternating);
            // Every pair, squares included, against the product reduced by long division.
            for (std::size_t i = 0; i < operands.size(); ++i) {
                for (std::size_t j = i; j < operands.size(); ++j) {
                    const vlong* a = operands[i].get();
                    const vlong* b = i == j ? a : operands[j].get();
                    Vlong got = Vlong::empty(), product = Vlong::empty(), q = Vlong::empty(),
                          want = Vlong::empty();
                    ASSERT_EQ(VLONG_barrettMultiply(got.get(), a, b, m.get(), mu.get(), &pool), OK);
                    ASSERT_EQ(VLONG_unsignedMultiply(product.get(), a, b,
                                                     VLONG_bitLength(a) + VLONG_bitLength(b)),
                              OK);
                    ASSERT_EQ(
                        VLONG_unsignedDivide(q.get(), product.get(), m.get(), want.get(), &pool),
                        OK);
                    EXPECT_EQ(got.hexString(), want.hexString())
                        << units << " units, " << shape.name << ", operands " << i << "," << j;
                }
            }
        }
    }
    VLONG_freeVlongQueue(&pool);
}
