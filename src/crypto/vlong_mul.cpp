// Multiplication and squaring: an 8-unit column kernel, Karatsuba at power-of-two sizes, and
// a truncating column product for everything else (Barrett reduction relies on truncation).
#include <utility>

#include "crypto/platform.hpp"
#include "crypto/vlong.hpp"
#include "vlong_units.hpp"

using namespace crypto_detail;

namespace {

using DoubleUnit = std::uint64_t;

// 96-bit column accumulator: low 64 bits plus an overflow unit.
struct Accumulator {
    DoubleUnit low = 0;
    Unit high = 0;

    void add(DoubleUnit p) {
        low += p;
        high += low < p ? 1 : 0;
    }
    // Emits the low unit and shifts the accumulator down by one unit.
    Unit shift() {
        auto out = static_cast<Unit>(low);
        low = (low >> 32) | (DoubleUnit{high} << 32);
        high = 0;
        return out;
    }
};

inline DoubleUnit mul(Unit a, Unit b) {
    return DoubleUnit{a} * b;
}

}  // namespace

namespace crypto_detail {

Unit addUnits(Unit* r, const Unit* a, const Unit* b, std::uint32_t n) {
    DoubleUnit carry = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        carry += DoubleUnit{a[i]} + b[i];
        r[i] = static_cast<Unit>(carry);
        carry >>= 32;
    }
    return static_cast<Unit>(carry);
}

Unit subUnits(Unit* r, const Unit* a, const Unit* b, std::uint32_t n) {
    Unit borrow = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        Unit ai = a[i];
        Unit d = ai - b[i];
        Unit nextBorrow = (ai < b[i]) | (d < borrow);
        r[i] = d - borrow;
        borrow = nextBorrow;
    }
    return borrow;
}

void columnProduct(Unit* r, const Unit* a, std::uint32_t na, const Unit* b, std::uint32_t nb,
                   std::uint32_t first, std::uint32_t end) {
    Accumulator acc;
    for (std::uint32_t k = first; k < end; ++k) {
        std::uint32_t lo = k >= nb ? k - (nb - 1) : 0;
        std::uint32_t hi = k < na ? k : na - 1;
        for (std::uint32_t i = lo; i <= hi && i < na; ++i) {
            acc.add(mul(a[i], b[k - i]));
        }
        r[k - first] = acc.shift();
    }
}

void kernelMul8(Unit* r, const Unit* a, const Unit* b) {
    Accumulator acc;
#pragma GCC unroll 16
    for (int k = 0; k < 15; ++k) {
#pragma GCC unroll 8
        for (int i = (k < 8 ? 0 : k - 7); i <= (k < 8 ? k : 7); ++i) {
            acc.add(mul(a[i], b[k - i]));
        }
        r[k] = acc.shift();
    }
    r[15] = static_cast<Unit>(acc.low);
}

void kernelSqr8(Unit* r, const Unit* a) {
    Accumulator acc;
#pragma GCC unroll 16
    for (int k = 0; k < 15; ++k) {
        // Off-diagonal products once, doubled, then the diagonal square.
        Accumulator cross;
#pragma GCC unroll 8
        for (int i = (k < 8 ? 0 : k - 7); 2 * i < k; ++i) {
            cross.add(mul(a[i], a[k - i]));
        }
        cross.high = (cross.high << 1) | static_cast<Unit>(cross.low >> 63);
        cross.low <<= 1;
        acc.add(cross.low);
        acc.high += cross.high;
        if (k % 2 == 0) {
            acc.add(mul(a[k / 2], a[k / 2]));
        }
        r[k] = acc.shift();
    }
    r[15] = static_cast<Unit>(acc.low);
}

// a0*b1 + a1*b0 = a0*b0 + a1*b1 + (a0 - a1)(b1 - b0): the three half products have the same
// size, so the recursion stays on powers of two.
void karatsubaMul(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch) {
    if (n == 8) {
        kernelMul8(r, a, b);
        return;
    }
    const std::uint32_t h = n / 2;
    const Unit* a0 = a;
    const Unit* a1 = a + h;
    const Unit* b0 = b;
    const Unit* b1 = b + h;
    Unit* da = scratch;
    Unit* db = scratch + h;
    Unit* mid = scratch + n;
    Unit* deeper = scratch + 2 * n;

    bool negA = subUnits(da, a0, a1, h) != 0;
    if (negA) {
        subUnits(da, a1, a0, h);
    }
    bool negB = subUnits(db, b1, b0, h) != 0;
    if (negB) {
        subUnits(db, b0, b1, h);
    }
    karatsubaMul(r, a0, b0, h, deeper);
    karatsubaMul(r + n, a1, b1, h, deeper);
    karatsubaMul(mid, da, db, h, deeper);

    // t = a0*b0 + a1*b1 (+/-) mid, in n units plus a top unit; da/db are free again.
    Unit* t = scratch;
    Unit top = addUnits(t, r, r + n, n);
    if (negA == negB) {
        top += addUnits(t, t, mid, n);
    } else {
        top -= subUnits(t, t, mid, n);
    }
    Unit carry = addUnits(r + h, r + h, t, n);
    DoubleUnit c = DoubleUnit{carry} + top;
    for (std::uint32_t i = n + h; c != 0 && i < 2 * n; ++i) {
        c += r[i];
        r[i] = static_cast<Unit>(c);
        c >>= 32;
    }
}

void karatsubaSqr(Unit* r, const Unit* a, std::uint32_t n, Unit* scratch) {
    if (n == 8) {
        kernelSqr8(r, a);
        return;
    }
    const std::uint32_t h = n / 2;
    const Unit* a0 = a;
    const Unit* a1 = a + h;
    Unit* da = scratch;
    Unit* mid = scratch + n;
    Unit* deeper = scratch + 2 * n;

    if (subUnits(da, a0, a1, h) != 0) {
        subUnits(da, a1, a0, h);
    }
    karatsubaSqr(r, a0, h, deeper);
    karatsubaSqr(r + n, a1, h, deeper);
    karatsubaSqr(mid, da, h, deeper);

    Unit* t = scratch;
    Unit top = addUnits(t, r, r + n, n);
    top -= subUnits(t, t, mid, n);
    Unit carry = addUnits(r + h, r + h, t, n);
    DoubleUnit c = DoubleUnit{carry} + top;
    for (std::uint32_t i = n + h; c != 0 && i < 2 * n; ++i) {
        c += r[i];
        r[i] = static_cast<Unit>(c);
        c >>= 32;
    }
}

}  // namespace crypto_detail

namespace {

bool isPowerOfTwo(std::uint32_t n) {
    return (n & (n - 1)) == 0;
}

// Scratch units from the platform allocator, wiped on release.
class Scratch {
public:
    explicit Scratch(std::uint32_t units)
        : units_(units), p_(static_cast<Unit*>(PLATFORM_malloc(units * sizeof(Unit)))) {}
    ~Scratch() {
        if (p_ != nullptr) {
            wipeUnits(p_, units_);
            PLATFORM_free(p_);
        }
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    Unit* get() const { return p_; }

private:
    std::uint32_t units_;
    Unit* p_;
};

// Computes into `product`, which must not be an operand.
CryptoStatus multiplyInto(vlong* product, const vlong* a, const vlong* b, std::uint32_t bits,
                          bool square) {
    product->negative = 0;
    if (a->numUnitsUsed == 0 || b->numUnitsUsed == 0 || bits == 0) {
        product->numUnitsUsed = 0;
        return OK;
    }
    const std::uint32_t na = a->numUnitsUsed;
    const std::uint32_t nb = b->numUnitsUsed;
    const std::uint32_t full = VLONG_bitLength(a) + VLONG_bitLength(b);
    CryptoStatus status;
    if (na == nb && bits == full && (na == 8 || (na >= 16 && isPowerOfTwo(na)))) {
        status = VLONG_allocUnits(product, 2 * na);
        if (status < 0) {
            return status;
        }
        if (na == 8) {
            square ? kernelSqr8(product->pUnits, a->pUnits)
                   : kernelMul8(product->pUnits, a->pUnits, b->pUnits);
        } else {
            Scratch scratch(4 * na);
            if (scratch.get() == nullptr) {
                return ERR_MEM_ALLOC_FAIL;
            }
            square ? karatsubaSqr(product->pUnits, a->pUnits, na, scratch.get())
                   : karatsubaMul(product->pUnits, a->pUnits, b->pUnits, na, scratch.get());
        }
        product->numUnitsUsed = 2 * na;
    } else {
        std::uint32_t units = (bits + 31) / 32;
        bool masked = units <= na + nb && bits % 32 != 0;
        if (units > na + nb) {
            units = na + nb;
        }
        status = VLONG_allocUnits(product, units);
        if (status < 0) {
            return status;
        }
        columnProduct(product->pUnits, a->pUnits, na, b->pUnits, nb, 0, units);
        if (masked) {
            product->pUnits[units - 1] &= (Unit{1} << (bits % 32)) - 1;
        }
        product->numUnitsUsed = units;
    }
    while (product->numUnitsUsed > 0 && product->pUnits[product->numUnitsUsed - 1] == 0) {
        --product->numUnitsUsed;
    }
    return OK;
}

CryptoStatus multiply(vlong* product, const vlong* a, const vlong* b, std::uint32_t bits,
                      bool square) {
    if (product == nullptr || a == nullptr || b == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (product != a && product != b) {
        return multiplyInto(product, a, b, bits, square);
    }
    vlong temp{nullptr, 0, 0, 0, nullptr};
    CryptoStatus status = multiplyInto(&temp, a, b, bits, square);
    if (status == OK) {
        std::swap(temp.pUnits, product->pUnits);
        std::swap(temp.numUnitsAllocated, product->numUnitsAllocated);
        product->numUnitsUsed = temp.numUnitsUsed;
        product->negative = 0;
    }
    if (temp.pUnits != nullptr) {
        wipeUnits(temp.pUnits, temp.numUnitsAllocated);
        PLATFORM_free(temp.pUnits);
    }
    return status;
}

}  // namespace

CryptoStatus VLONG_unsignedMultiply(vlong* product, const vlong* a, const vlong* b,
                                    std::uint32_t bits) {
    return multiply(product, a, b, bits, a == b);
}

CryptoStatus VLONG_unsignedSquare(vlong* product, const vlong* a, std::uint32_t bits) {
    return multiply(product, a, a, bits, true);
}
