// vlong life cycle, conversion and comparison.
#include "crypto/vlong.hpp"

#include "crypto/platform.hpp"
#include "vlong_units.hpp"

using namespace crypto_detail;

namespace {

void releaseUnitArray(vlong* v) {
    if (v->pUnits != nullptr) {
        wipeUnits(v->pUnits, v->numUnitsAllocated);
        PLATFORM_free(v->pUnits);
    }
    v->pUnits = nullptr;
    v->numUnitsAllocated = 0;
}

enum class Contents { keep, discard };

// Replaces a unit array too small for `units` by one with `headroom` spare units; the old one is
// wiped on release. Discarding the contents leaves the value empty.
CryptoStatus growUnitArray(vlong* value, std::uint32_t units, std::uint32_t headroom,
                           Contents contents) {
    if (value == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (value->numUnitsAllocated >= units) {
        return OK;
    }
    if (units > VLONG_MAX_UNITS) {
        return ERR_BAD_LENGTH;
    }
    const std::uint32_t capacity = units + headroom;
    auto* fresh = static_cast<Unit*>(PLATFORM_malloc(capacity * sizeof(Unit)));
    if (fresh == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    if (contents == Contents::keep) {
        for (std::uint32_t i = 0; i < value->numUnitsUsed; ++i) {
            fresh[i] = value->pUnits[i];
        }
    } else {
        value->numUnitsUsed = 0;
    }
    releaseUnitArray(value);
    value->pUnits = fresh;
    value->numUnitsAllocated = capacity;
    return OK;
}

void dropLeadingZeros(vlong* v) {
    while (v->numUnitsUsed > 0 && v->pUnits[v->numUnitsUsed - 1] == 0) {
        --v->numUnitsUsed;
    }
}

std::uint32_t unitBits(std::uint32_t u) {
    std::uint32_t bits = 0;
    while (u != 0) {
        ++bits;
        u >>= 1;
    }
    return bits;
}

}  // namespace

namespace crypto_detail {

void wipeUnits(Unit* p, std::uint32_t n) {
    volatile Unit* v = p;
    for (std::uint32_t i = 0; i < n; ++i) {
        v[i] = VLONG_WIPE_UNIT;
    }
}

}  // namespace crypto_detail

CryptoStatus VLONG_allocVlong(vlong** holder, vlong** pool) {
    if (holder == nullptr) {
        return ERR_NULL_POINTER;
    }
    vlong* v;
    if (pool != nullptr && *pool != nullptr) {
        v = *pool;
        *pool = v->pNextVlong;
    } else {
        v = static_cast<vlong*>(PLATFORM_malloc(sizeof(vlong)));
        if (v == nullptr) {
            return ERR_MEM_ALLOC_FAIL;
        }
        v->pUnits = nullptr;
        v->numUnitsAllocated = 0;
    }
    v->negative = 0;
    v->numUnitsUsed = 0;
    v->pNextVlong = nullptr;
    *holder = v;
    return OK;
}

CryptoStatus VLONG_freeVlong(vlong** holder, vlong** pool) {
    if (holder == nullptr || *holder == nullptr) {
        return ERR_NULL_POINTER;
    }
    vlong* v = *holder;
    if (pool != nullptr) {
        v->pNextVlong = *pool;
        *pool = v;
    } else {
        releaseUnitArray(v);
        PLATFORM_free(v);
    }
    *holder = nullptr;
    return OK;
}

CryptoStatus VLONG_freeVlongQueue(vlong** pool) {
    if (pool == nullptr) {
        return OK;
    }
    while (*pool != nullptr) {
        vlong* v = *pool;
        *pool = v->pNextVlong;
        VLONG_freeVlong(&v, nullptr);
    }
    return OK;
}

CryptoStatus VLONG_reallocVlong(vlong* value, std::uint32_t units) {
    return growUnitArray(value, units, 3, Contents::keep);
}

CryptoStatus VLONG_allocUnits(vlong* value, std::uint32_t units) {
    return growUnitArray(value, units, 1, Contents::discard);
}

CryptoStatus VLONG_setVlongUnit(vlong* value, std::uint32_t index, std::uint32_t unit) {
    if (value == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (index < value->numUnitsUsed) {
        value->pUnits[index] = unit;
        dropLeadingZeros(value);
        return OK;
    }
    if (unit == 0) {
        return OK;
    }
    CryptoStatus status = VLONG_reallocVlong(value, index + 1);
    if (status < 0) {
        return status;
    }
    for (std::uint32_t i = value->numUnitsUsed; i < index; ++i) {
        value->pUnits[i] = 0;
    }
    value->pUnits[index] = unit;
    value->numUnitsUsed = index + 1;
    return OK;
}

CryptoStatus VLONG_makeVlongFromUnsignedValue(std::uint32_t value, vlong** holder, vlong** pool) {
    CryptoStatus status = VLONG_allocVlong(holder, pool);
    if (status < 0) {
        return status;
    }
    status = VLONG_setVlongUnit(*holder, 0, value);
    if (status < 0) {
        VLONG_freeVlong(holder, pool);
    }
    return status;
}

CryptoStatus VLONG_copySignedValue(vlong* dest, const vlong* src) {
    if (dest == nullptr || src == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (dest == src) {
        return OK;
    }
    CryptoStatus status = VLONG_allocUnits(dest, src->numUnitsUsed);
    if (status < 0) {
        return status;
    }
    for (std::uint32_t i = 0; i < src->numUnitsUsed; ++i) {
        dest->pUnits[i] = src->pUnits[i];
    }
    dest->numUnitsUsed = src->numUnitsUsed;
    dest->negative = src->negative;
    return OK;
}

CryptoStatus VLONG_vlongFromByteString(const std::uint8_t* bytes, std::int32_t length,
                                       vlong** holder, vlong** pool) {
    if (holder == nullptr || (bytes == nullptr && length > 0)) {
        return ERR_NULL_POINTER;
    }
    if (length < 0) {
        return ERR_BAD_LENGTH;
    }
    vlong* v;
    CryptoStatus status = VLONG_allocVlong(&v, pool);
    if (status < 0) {
        return status;
    }
    auto n = static_cast<std::uint32_t>(length);
    status = VLONG_allocUnits(v, n / 4 + 1);
    if (status < 0) {
        VLONG_freeVlong(&v, pool);
        return status;
    }
    // Whole 4-byte groups from the end, then the short leading group. The analyzer does not see
    // that VLONG_allocUnits gave n / 4 + 1 units.
    // NOLINTBEGIN(clang-analyzer-core.NullDereference)
    const std::uint32_t whole = n / 4;
    const std::uint8_t* group = bytes + n;
    for (std::uint32_t u = 0; u < whole; ++u) {
        group -= 4;
        v->pUnits[u] = Unit{group[0]} << 24 | Unit{group[1]} << 16 | Unit{group[2]} << 8 | group[3];
    }
    std::uint32_t units = whole;
    if (n % 4 != 0) {
        Unit value = 0;
        for (const std::uint8_t* p = bytes; p < group; ++p) {
            value = (value << 8) | *p;
        }
        v->pUnits[units++] = value;
    }
    // NOLINTEND(clang-analyzer-core.NullDereference)
    v->numUnitsUsed = units;
    dropLeadingZeros(v);
    *holder = v;
    return OK;
}

CryptoStatus VLONG_byteStringFromVlong(const vlong* value, std::uint8_t* buffer,
                                       std::int32_t* length) {
    if (value == nullptr || length == nullptr) {
        return ERR_NULL_POINTER;
    }
    auto needed = static_cast<std::int32_t>((VLONG_bitLength(value) + 7) / 8);
    if (buffer == nullptr) {
        *length = needed;
        return OK;
    }
    if (*length < needed) {
        return ERR_BUFFER_OVERFLOW;
    }
    // From the end: the value's units big-endian, then zero bytes up to the front.
    std::uint8_t* end = buffer + *length;
    const std::uint32_t bytesUsed = static_cast<std::uint32_t>(needed);
    for (std::uint32_t u = 0; u < bytesUsed / 4; ++u) {
        const Unit unit = value->pUnits[u];
        end -= 4;
        end[0] = static_cast<std::uint8_t>(unit >> 24);
        end[1] = static_cast<std::uint8_t>(unit >> 16);
        end[2] = static_cast<std::uint8_t>(unit >> 8);
        end[3] = static_cast<std::uint8_t>(unit);
    }
    for (Unit top = bytesUsed % 4 != 0 ? value->pUnits[bytesUsed / 4] : 0; top != 0; top >>= 8) {
        *--end = static_cast<std::uint8_t>(top);
    }
    while (end > buffer) {
        *--end = 0;
    }
    return OK;
}

std::uint32_t VLONG_bitLength(const vlong* value) {
    if (value == nullptr || value->numUnitsUsed == 0) {
        return 0;
    }
    return 32 * (value->numUnitsUsed - 1) + unitBits(value->pUnits[value->numUnitsUsed - 1]);
}

std::int32_t VLONG_isVlongBitSet(const vlong* value, std::uint32_t bit) {
    std::uint32_t unit = bit / 32;
    if (value == nullptr || unit >= value->numUnitsUsed) {
        return 0;
    }
    return static_cast<std::int32_t>((value->pUnits[unit] >> (bit % 32)) & 1);
}

std::int32_t VLONG_compareUnsigned(const vlong* a, const vlong* b) {
    if (a->numUnitsUsed != b->numUnitsUsed) {
        return a->numUnitsUsed > b->numUnitsUsed ? 1 : -1;
    }
    for (std::uint32_t i = a->numUnitsUsed; i-- > 0;) {
        if (a->pUnits[i] != b->pUnits[i]) {
            return a->pUnits[i] > b->pUnits[i] ? 1 : -1;
        }
    }
    return 0;
}

CryptoStatus VLONG_subtractUnsigned(vlong* a, const vlong* b) {
    if (a == nullptr || b == nullptr) {
        return ERR_NULL_POINTER;
    }
    Unit borrow = subUnits(a->pUnits, a->pUnits, b->pUnits, b->numUnitsUsed);
    for (std::uint32_t i = b->numUnitsUsed; borrow != 0 && i < a->numUnitsUsed; ++i) {
        borrow = a->pUnits[i] == 0 ? 1 : 0;
        --a->pUnits[i];
    }
    dropLeadingZeros(a);
    return OK;
}

namespace crypto_detail {

CryptoStatus storeUnits(vlong* dest, const Unit* units, std::uint32_t n) {
    while (n > 0 && units[n - 1] == 0) {
        --n;
    }
    CryptoStatus status = VLONG_allocUnits(dest, n);
    if (status < 0) {
        return status;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        dest->pUnits[i] = units[i];
    }
    dest->numUnitsUsed = n;
    dest->negative = 0;
    return OK;
}

}  // namespace crypto_detail
