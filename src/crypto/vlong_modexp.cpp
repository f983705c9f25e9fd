// Barrett modular multiplication and right-to-left binary exponentiation.
#include "crypto/platform.hpp"
#include "crypto/vlong.hpp"
#include "vlong_units.hpp"

using namespace crypto_detail;

namespace {

// Temporaries taken from the caller's pool and handed back to it on every path.
class PoolTemp {
public:
    explicit PoolTemp(vlong** pool) : pool_(pool) { status_ = VLONG_allocVlong(&v_, pool); }
    ~PoolTemp() {
        if (v_ != nullptr) {
            VLONG_freeVlong(&v_, pool_);
        }
    }
    PoolTemp(const PoolTemp&) = delete;
    PoolTemp& operator=(const PoolTemp&) = delete;
    CryptoStatus status() const { return status_; }
    vlong* get() const { return v_; }
    vlong* release() {
        vlong* v = v_;
        v_ = nullptr;
        return v;
    }

private:
    vlong** pool_;
    vlong* v_ = nullptr;
    CryptoStatus status_;
};

void setUsed(vlong* v, std::uint32_t n) {
    while (n > 0 && v->pUnits[n - 1] == 0) {
        --n;
    }
    v->numUnitsUsed = n;
    v->negative = 0;
}

using DoubleUnit = std::uint64_t;

bool isKaratsubaSize(std::uint32_t k) {
    return k == 8 || (k >= 16 && (k & (k - 1)) == 0);
}

// p[0..k+2) += c * u[0..k] + d * q[0..k): the rows of q1 * mu's two top units, in one pass
// with a carry chain each.
void addTopRows(Unit* p, const Unit* u, Unit c, const Unit* q, Unit d, std::uint32_t k) {
    DoubleUnit first = 0;
    DoubleUnit second = 0;
    for (std::uint32_t i = 0; i < k; ++i) {
        first += DoubleUnit{u[i]} * c + p[i];
        second += DoubleUnit{q[i]} * d + static_cast<Unit>(first);
        p[i] = static_cast<Unit>(second);
        first >>= 32;
        second >>= 32;
    }
    first += DoubleUnit{u[k]} * c + p[k];
    const DoubleUnit top = DoubleUnit{static_cast<Unit>(first)} + second;
    p[k] = static_cast<Unit>(top);
    p[k + 1] += static_cast<Unit>((first >> 32) + (top >> 32));
}

// x < m over k units each.
bool lessThan(const Unit* x, const Unit* m, std::uint32_t k) {
    for (std::uint32_t i = k; i-- > 0;) {
        if (x[i] != m[i]) {
            return x[i] < m[i];
        }
    }
    return false;
}

// An operand's k units: its own when it has all of them, else a copy padded with zeros.
const Unit* operandUnits(const vlong* v, std::uint32_t k, Unit* copy) {
    if (v->numUnitsUsed == k) {
        return v->pUnits;
    }
    for (std::uint32_t i = 0; i < k; ++i) {
        copy[i] = i < v->numUnitsUsed ? v->pUnits[i] : 0;
    }
    return copy;
}

// Barrett multiplication for a modulus of k units, k a Karatsuba size, with operands below
// b^k and mu of k+1 units (every RSA modulus of 256 to 4096 bits). The product is a Karatsuba
// product; of q1 * mu only the high half is formed and of q3 * m only the low k+1 units, each a
// half product plus a row for every top unit, so all the work lands in the 8-unit kernels. Every
// intermediate lives in one pooled work area: nothing is allocated once the pool holds it.
CryptoStatus barrettKaratsuba(vlong* result, const vlong* a, const vlong* b, const vlong* modulus,
                              const vlong* mu, vlong** pool) {
    const std::uint32_t k = modulus->numUnitsUsed;
    PoolTemp work(pool);
    if (work.status() < 0) {
        return work.status();
    }
    CryptoStatus status = VLONG_allocUnits(work.get(), 11 * k + 3);
    if (status < 0) {
        return status;
    }
    Unit* const copyA = work.get()->pUnits;
    Unit* const copyB = copyA + k;
    Unit* const x = copyB + k;        // 2k
    Unit* const p = x + 2 * k;        // k + 2
    Unit* const t = p + k + 2;        // k + 1
    Unit* const scratch = t + k + 1;  // 4k
    const Unit* const m = modulus->pUnits;
    const Unit* const u = mu->pUnits;

    if (a == b) {
        karatsubaSqr(x, operandUnits(a, k, copyA), k, scratch);
    } else {
        karatsubaMul(x, operandUnits(a, k, copyA), operandUnits(b, k, copyB), k, scratch);
    }

    std::uint32_t nx = 2 * k;
    while (nx > 0 && x[nx - 1] == 0) {
        --nx;
    }
    if (nx < k || (nx == k && lessThan(x, m, k))) {
        return storeUnits(result, x, nx);
    }

    // p = floor(q1 * mu / b^k) with q1 = x / b^(k-1), both of k+1 units, short by at most 2k
    // from the half product; q3 = p / b is then low by at most one beyond Barrett's own two.
    const Unit* const q1 = x + (k - 1);
    highProduct(p, q1, u, k, scratch);
    p[k] = 0;
    p[k + 1] = 0;
    addTopRows(p, u, q1[k], q1, u[k], k);
    const Unit* const q3 = p + 1;

    // r = x - q3 * m modulo b^(k+1); it lies below 4m, so a few subtractions finish it.
    lowProduct(t, q3, m, k, scratch);
    t[k] += q3[k] * m[0];
    Unit* const r = x;
    subUnits(r, r, t, k + 1);
    while (r[k] != 0 || !lessThan(r, m, k)) {
        r[k] -= subUnits(r, r, m, k);
    }
    return storeUnits(result, r, k);
}

}  // namespace

CryptoStatus VLONG_barrettMultiply(vlong* result, const vlong* a, const vlong* b,
                                   const vlong* modulus, const vlong* mu, vlong** pool) {
    if (result == nullptr || a == nullptr || b == nullptr || modulus == nullptr || mu == nullptr) {
        return ERR_NULL_POINTER;
    }
    const std::uint32_t k = modulus->numUnitsUsed;
    if (k == 0) {
        return ERR_DIVIDE_BY_ZERO;
    }
    // Operands of a unit or two (the exponentiation's first step multiplies by 1) are cheaper
    // on the column path.
    if (isKaratsubaSize(k) && mu->numUnitsUsed == k + 1 && a->numUnitsUsed <= k &&
        b->numUnitsUsed <= k && a->numUnitsUsed > 2 && b->numUnitsUsed > 2) {
        return barrettKaratsuba(result, a, b, modulus, mu, pool);
    }
    PoolTemp x(pool);
    if (x.status() < 0) {
        return x.status();
    }
    CryptoStatus status =
        a == b ? VLONG_unsignedSquare(x.get(), a, 2 * VLONG_bitLength(a))
               : VLONG_unsignedMultiply(x.get(), a, b, VLONG_bitLength(a) + VLONG_bitLength(b));
    if (status < 0) {
        return status;
    }
    if (VLONG_compareUnsigned(x.get(), modulus) < 0) {
        return VLONG_copySignedValue(result, x.get());
    }
    if (x.get()->numUnitsUsed > 2 * k) {
        // Beyond Barrett's range (an operand above the modulus by more than a factor b^k):
        // plain division gives the same residue.
        PoolTemp q(pool);
        if (q.status() < 0) {
            return q.status();
        }
        return VLONG_unsignedDivide(q.get(), x.get(), modulus, result, pool);
    }

    // q3 = floor(floor(x / b^(k-1)) * mu / b^(k+1)). Columns below k-1 of that product are left
    // out: they change q3 by at most one, which the final subtractions absorb.
    const Unit* xu = x.get()->pUnits;
    const std::uint32_t nq1 = x.get()->numUnitsUsed - (k - 1);
    const std::uint32_t nmu = mu->numUnitsUsed;
    const std::uint32_t first = k - 1;
    const std::uint32_t end = nq1 + nmu;
    PoolTemp q3(pool);
    PoolTemp r(pool);
    if (q3.status() < 0 || r.status() < 0) {
        return q3.status() < 0 ? q3.status() : r.status();
    }
    status = VLONG_allocUnits(q3.get(), end > first ? end - first : 1);
    if (status == OK) {
        status = VLONG_allocUnits(r.get(), 2 * (k + 1));
    }
    if (status < 0) {
        return status;
    }
    Unit* q3u = q3.get()->pUnits;
    std::uint32_t nq3 = 0;
    if (end > k + 1) {
        columnProduct(q3u, xu + (k - 1), nq1, mu->pUnits, nmu, first, end);
        // Drop the two columns below b^(k+1).
        nq3 = end - (k + 1);
        q3u += 2;
    }
    while (nq3 > 0 && q3u[nq3 - 1] == 0) {
        --nq3;
    }

    // r = (x mod b^(k+1)) - (q3 * m mod b^(k+1)), modulo b^(k+1).
    Unit* ru = r.get()->pUnits;
    Unit* r2 = ru + (k + 1);
    const std::uint32_t nx = x.get()->numUnitsUsed;
    for (std::uint32_t i = 0; i <= k; ++i) {
        ru[i] = i < nx ? xu[i] : 0;
    }
    if (nq3 > 0) {
        columnProduct(r2, q3u, nq3, modulus->pUnits, k, 0, k + 1);
        subUnits(ru, ru, r2, k + 1);
    }
    setUsed(r.get(), k + 1);
    while (VLONG_compareUnsigned(r.get(), modulus) >= 0) {
        VLONG_subtractUnsigned(r.get(), modulus);
    }
    return VLONG_copySignedValue(result, r.get());
}

CryptoStatus VLONG_modexp(const vlong* base, const vlong* exponent, const vlong* modulus,
                          vlong** result, vlong** pool) {
    if (base == nullptr || exponent == nullptr || modulus == nullptr || result == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (modulus->numUnitsUsed == 0) {
        return ERR_DIVIDE_BY_ZERO;
    }
    PoolTemp answer(pool);
    if (answer.status() < 0) {
        return answer.status();
    }
    CryptoStatus status = OK;
    if (base->numUnitsUsed == 0) {
        answer.get()->numUnitsUsed = 0;
    } else if (exponent->numUnitsUsed == 0) {
        status = VLONG_setVlongUnit(answer.get(), 0, 1);
    } else {
        // One method for every modulus and exponent: the Barrett right-to-left binary method.
        vlong* mu = nullptr;
        PoolTemp t(pool);
        status = t.status();
        if (status == OK) {
            status = VLONG_newBarrettMu(&mu, modulus, pool);
        }
        if (status == OK) {
            status = VLONG_copySignedValue(t.get(), base);
        }
        if (status == OK) {
            status = VLONG_setVlongUnit(answer.get(), 0, 1);
        }
        const std::uint32_t bits = VLONG_bitLength(exponent);
        for (std::uint32_t i = 0; status == OK && i < bits; ++i) {
            if (VLONG_isVlongBitSet(exponent, i)) {
                status =
                    VLONG_barrettMultiply(answer.get(), answer.get(), t.get(), modulus, mu, pool);
            }
            if (status == OK && i + 1 < bits) {
                status = VLONG_barrettMultiply(t.get(), t.get(), t.get(), modulus, mu, pool);
            }
        }
        if (mu != nullptr) {
            VLONG_freeVlong(&mu, pool);
        }
    }
    PLATFORM_yield();
    if (status == OK) {
        *result = answer.release();
    }
    return status;
}
