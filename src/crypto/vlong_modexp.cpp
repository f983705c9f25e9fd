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
