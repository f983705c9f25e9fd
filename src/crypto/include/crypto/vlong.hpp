// Non-negative big integers in 32-bit units, least significant unit first.
//
// Records and unit arrays come from PLATFORM_malloc. A pool (the address of a vlong pointer,
// initially null) is a free list owned by the caller: allocation pops a record from it, release
// pushes the record onto it with its unit array and contents intact. Only a release without a
// pool, or VLONG_freeVlongQueue, wipes units with VLONG_WIPE_UNIT and frees them, so values that
// hold key material must not be left in a pool. A null pool is allowed wherever one is taken.
// The arithmetic ignores `negative` and stores results with it cleared.
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

// Stores in *holder a zero value: a record popped from *pool (keeping its unit array) or, with
// a null or empty pool, a fresh one with no units. ERR_NULL_POINTER for a null holder,
// ERR_MEM_ALLOC_FAIL; *holder is untouched on failure.
CryptoStatus VLONG_allocVlong(vlong** holder, vlong** pool);
// Pushes *holder onto *pool, or with a null pool wipes and frees its units and the record; sets
// *holder to null. ERR_NULL_POINTER when holder or *holder is null.
CryptoStatus VLONG_freeVlong(vlong** holder, vlong** pool);
// Wipes and frees every record in *pool and leaves it null. A null pool is OK.
CryptoStatus VLONG_freeVlongQueue(vlong** pool);
// Ensure room for `units` units. Nothing changes when the array is big enough already; else a
// new one replaces it (the old one wiped and freed) with 3 spare units and the value kept
// (realloc), or with 1 spare unit and the value set to 0 (allocUnits). ERR_NULL_POINTER,
// ERR_BAD_LENGTH when it would have to grow beyond VLONG_MAX_UNITS, ERR_MEM_ALLOC_FAIL; the
// value is untouched on failure.
CryptoStatus VLONG_reallocVlong(vlong* value, std::uint32_t units);
CryptoStatus VLONG_allocUnits(vlong* value, std::uint32_t units);
// Sets unit `index`, growing the value as needed (zeros in between) and dropping leading zero
// units; setting a 0 beyond the used units changes nothing. ERR_NULL_POINTER, ERR_BAD_LENGTH
// when it would have to grow beyond VLONG_MAX_UNITS, ERR_MEM_ALLOC_FAIL; value untouched on
// failure.
CryptoStatus VLONG_setVlongUnit(vlong* value, std::uint32_t index, std::uint32_t unit);
// A new record in *holder holding `value`, taken as VLONG_allocVlong does. On failure the record
// is returned to the pool and *holder is null (or untouched if allocation itself failed).
CryptoStatus VLONG_makeVlongFromUnsignedValue(std::uint32_t value, vlong** holder, vlong** pool);
// dest = src, sign included; dest == src is OK. ERR_NULL_POINTER, ERR_MEM_ALLOC_FAIL with dest
// untouched.
CryptoStatus VLONG_copySignedValue(vlong* dest, const vlong* src);

// A new record in *holder with the big-endian unsigned value of `length` bytes; leading zero
// bytes are allowed, and length 0 (bytes may then be null) gives 0. ERR_NULL_POINTER,
// ERR_BAD_LENGTH for a negative length or one of about 4 * VLONG_MAX_UNITS bytes or more,
// ERR_MEM_ALLOC_FAIL; *holder is untouched on failure (the record goes back to the pool).
CryptoStatus VLONG_vlongFromByteString(const std::uint8_t* bytes, std::int32_t length,
                                       vlong** holder, vlong** pool);
// The magnitude, big-endian. With a null buffer stores the value's byte length (0 for 0).
// Otherwise *length is the buffer size: the buffer is filled completely, zero bytes first, and
// *length is left as it was. ERR_NULL_POINTER for a null value or length; ERR_BUFFER_OVERFLOW
// when the value does not fit, with the buffer untouched.
CryptoStatus VLONG_byteStringFromVlong(const vlong* value, std::uint8_t* buffer,
                                       std::int32_t* length);
// Both give 0 for a null value; a bit beyond the used units is 0.
std::uint32_t VLONG_bitLength(const vlong* value);
std::int32_t VLONG_isVlongBitSet(const vlong* value, std::uint32_t bit);

// -1, 0 or 1 by magnitude. Neither may be null.
std::int32_t VLONG_compareUnsigned(const vlong* a, const vlong* b);
// a = a - b by magnitude; requires a >= b: a shorter a is written past its used units.
// ERR_NULL_POINTER.
CryptoStatus VLONG_subtractUnsigned(vlong* a, const vlong* b);
// product = the low `bits` bits of a*b (or a*a); full products pass bitLength(a) + bitLength(b).
// product may be an operand: the result is then built aside and swapped in. Any operand of 0
// or bits = 0 gives 0. ERR_NULL_POINTER, ERR_BAD_LENGTH (product over VLONG_MAX_UNITS),
// ERR_MEM_ALLOC_FAIL. On failure an aliased product is untouched; a distinct one may be 0.
// Scratch memory is wiped before release.
CryptoStatus VLONG_unsignedMultiply(vlong* product, const vlong* a, const vlong* b,
                                    std::uint32_t bits);
CryptoStatus VLONG_unsignedSquare(vlong* product, const vlong* a, std::uint32_t bits);
// quotient and remainder of dividend / divisor. They must be distinct records; either may be an
// input. The pool is not used. ERR_NULL_POINTER, ERR_DIVIDE_BY_ZERO, ERR_MEM_ALLOC_FAIL; when
// storing the remainder fails the quotient is already written.
CryptoStatus VLONG_unsignedDivide(vlong* quotient, const vlong* dividend, const vlong* divisor,
                                  vlong* remainder, vlong** pool);
// A new record in *holder with mu = floor(2^(64k) / m) for a modulus of k units; temporaries
// come from and go back to the pool. ERR_NULL_POINTER, ERR_DIVIDE_BY_ZERO,
// ERR_BAD_LENGTH (k of VLONG_MAX_UNITS / 2 or more), ERR_MEM_ALLOC_FAIL; *holder untouched on
// failure.
CryptoStatus VLONG_newBarrettMu(vlong** holder, const vlong* modulus, vlong** pool);
// result = a*b mod modulus, with mu from VLONG_newBarrettMu for that modulus. Operands may exceed
// the modulus (a product beyond 2k units falls back to a division). result may be a or b.
// Temporaries come from and go back to the pool; for k = 8 or a power of two >= 16 and operands
// of 3 to k units they are one record of 11k + 3 units.
// ERR_NULL_POINTER, ERR_DIVIDE_BY_ZERO, ERR_BAD_LENGTH, ERR_MEM_ALLOC_FAIL; result is untouched
// on failure.
CryptoStatus VLONG_barrettMultiply(vlong* result, const vlong* a, const vlong* b,
                                   const vlong* modulus, const vlong* mu, vlong** pool);
// A new record in *result with base^exponent mod modulus (right-to-left binary, Barrett). A base
// of 0 gives 0 (also for exponent 0); otherwise exponent 0 gives 1, unreduced even for modulus
// 1. The result and all temporaries come from the pool and the temporaries go back to it.
// ERR_NULL_POINTER, ERR_DIVIDE_BY_ZERO, ERR_BAD_LENGTH, ERR_MEM_ALLOC_FAIL; *result is untouched
// on failure. Calls PLATFORM_yield once at the end.
CryptoStatus VLONG_modexp(const vlong* base, const vlong* exponent, const vlong* modulus,
                          vlong** result, vlong** pool);
