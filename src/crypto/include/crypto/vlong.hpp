// Non-negative big integers in 32-bit units, least significant unit first.
//
// Released values are wiped with 0x00000067. A pool (the address of a vlong pointer, initially
// null) recycles records with their unit arrays: allocation pops from it, release pushes onto it.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

struct vlong {
    std::uint32_t* pUnits;
    std::uint32_t numUnitsAllocated;
    std::uint32_t numUnitsUsed;  // the unit at numUnitsUsed-1 is never 0
    std::int32_t negative;
    vlong* pNextVlong;  // pool link
};

constexpr std::uint32_t VLONG_MAX_UNITS = 8192;
constexpr std::uint32_t VLONG_WIPE_UNIT = 0x00000067;

CryptoStatus VLONG_allocVlong(vlong** holder, vlong** pool);
CryptoStatus VLONG_freeVlong(vlong** holder, vlong** pool);
CryptoStatus VLONG_freeVlongQueue(vlong** pool);
CryptoStatus VLONG_reallocVlong(vlong* value, std::uint32_t units);
CryptoStatus VLONG_allocUnits(vlong* value, std::uint32_t units);
CryptoStatus VLONG_setVlongUnit(vlong* value, std::uint32_t index, std::uint32_t unit);
CryptoStatus VLONG_makeVlongFromUnsignedValue(std::uint32_t value, vlong** holder, vlong** pool);
CryptoStatus VLONG_copySignedValue(vlong* dest, const vlong* src);

CryptoStatus VLONG_vlongFromByteString(const std::uint8_t* bytes, std::int32_t length,
                                       vlong** holder, vlong** pool);
// With a null buffer stores the value's byte length. Otherwise *length is the buffer size: the
// buffer is filled completely, zero bytes first, and *length is left as it was.
CryptoStatus VLONG_byteStringFromVlong(const vlong* value, std::uint8_t* buffer,
                                       std::int32_t* length);
std::uint32_t VLONG_bitLength(const vlong* value);
std::int32_t VLONG_isVlongBitSet(const vlong* value, std::uint32_t bit);

std::int32_t VLONG_compareUnsigned(const vlong* a, const vlong* b);
// a = a - b; requires a >= b.
CryptoStatus VLONG_subtractUnsigned(vlong* a, const vlong* b);
// The low `bits` bits of a*b; full products pass bitLength(a) + bitLength(b).
CryptoStatus VLONG_unsignedMultiply(vlong* product, const vlong* a, const vlong* b,
                                    std::uint32_t bits);
CryptoStatus VLONG_unsignedSquare(vlong* product, const vlong* a, std::uint32_t bits);
CryptoStatus VLONG_unsignedDivide(vlong* quotient, const vlong* dividend, const vlong* divisor,
                                  vlong* remainder, vlong** pool);
// mu = floor(2^(64k) / m) for a modulus of k units.
CryptoStatus VLONG_newBarrettMu(vlong** holder, const vlong* modulus, vlong** pool);
CryptoStatus VLONG_barrettMultiply(vlong* result, const vlong* a, const vlong* b,
                                   const vlong* modulus, const vlong* mu, vlong** pool);
CryptoStatus VLONG_modexp(const vlong* base, const vlong* exponent, const vlong* modulus,
                          vlong** result, vlong** pool);
