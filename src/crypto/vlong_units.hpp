// Unit-array arithmetic behind the vlong operations. Arrays are least significant unit first.
#pragma once

#include <cstdint>

#include "crypto/vlong.hpp"

namespace crypto_detail {

using Unit = std::uint32_t;

// r[k - first] = column k of a*b for first <= k < end, carries below `first` ignored.
void columnProduct(Unit* r, const Unit* a, std::uint32_t na, const Unit* b, std::uint32_t nb,
                   std::uint32_t first, std::uint32_t end);
// r[0..16) = a*b and a*a for 8-unit operands.
void kernelMul8(Unit* r, const Unit* a, const Unit* b);
void kernelSqr8(Unit* r, const Unit* a);
// Column kernels for the half products of n-unit operands, n = 8 or 32: r[0..n] = a*b mod b^(n+1),
// and r[0..n) = floor(a*b / b^n) less at most n (columns below n-1 are left out).
void kernelMulLow9(Unit* r, const Unit* a, const Unit* b);
void kernelMulHigh8(Unit* r, const Unit* a, const Unit* b);
void kernelMulLow33(Unit* r, const Unit* a, const Unit* b);
void kernelMulHigh32(Unit* r, const Unit* a, const Unit* b);
// r[0..2n) for n a power of two >= 8; scratch holds 4n units.
void karatsubaMul(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch);
void karatsubaSqr(Unit* r, const Unit* a, std::uint32_t n, Unit* scratch);
// Half products for n a power of two >= 8, scratch 4n units: r[0..n] = a*b mod b^(n+1), and
// r[0..n) = floor(a*b / b^n) less at most 2n (never more).
void lowProduct(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch);
void highProduct(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch);

// r = a - b over n units; returns the borrow.
Unit subUnits(Unit* r, const Unit* a, const Unit* b, std::uint32_t n);
// r = a + b over n units; returns the carry.
Unit addUnits(Unit* r, const Unit* a, const Unit* b, std::uint32_t n);

// Overwrites with the wipe pattern; the stores are not optimised away.
void wipeUnits(Unit* p, std::uint32_t n);

// dest = the n units without their leading zeros, non-negative.
CryptoStatus storeUnits(vlong* dest, const Unit* units, std::uint32_t n);

}  // namespace crypto_detail
