// Long division (Knuth's Algorithm D) and the Barrett constant.
#include "crypto/platform.hpp"
#include "crypto/vlong.hpp"
#include "vlong_units.hpp"

using namespace crypto_detail;

namespace {

using DoubleUnit = std::uint64_t;

int leadingZeros(Unit u) {
    int n = 0;
    for (Unit mask = 0x80000000u; (u & mask) == 0; mask >>= 1) {
        ++n;
    }
    return n;
}

// q[0..m-n], r[0..n) from u[0..m), v[0..n), v[n-1] != 0, m >= n. `work` holds m + n + 1 units.
void divideUnits(Unit* q, Unit* r, const Unit* u, std::uint32_t m, const Unit* v, std::uint32_t n,
                 Unit* work) {
    Unit* un = work;          // m + 1 units
    Unit* vn = work + m + 1;  // n units
    const int s = leadingZeros(v[n - 1]);
    for (std::uint32_t i = n - 1; i > 0; --i) {
        vn[i] = s == 0 ? v[i] : (v[i] << s) | (v[i - 1] >> (32 - s));
    }
    vn[0] = v[0] << s;
    un[m] = s == 0 ? 0 : u[m - 1] >> (32 - s);
    for (std::uint32_t i = m - 1; i > 0; --i) {
        un[i] = s == 0 ? u[i] : (u[i] << s) | (u[i - 1] >> (32 - s));
    }
    un[0] = u[0] << s;

    const DoubleUnit base = DoubleUnit{1} << 32;
    for (std::uint32_t j = m - n + 1; j-- > 0;) {
        DoubleUnit top = (DoubleUnit{un[j + n]} << 32) | un[j + n - 1];
        DoubleUnit qhat = top / vn[n - 1];
        DoubleUnit rhat = top % vn[n - 1];
        while (qhat >= base || (n > 1 && qhat * vn[n - 2] > ((rhat << 32) | un[j + n - 2]))) {
            --qhat;
            rhat += vn[n - 1];
            if (rhat >= base) {
                break;
            }
        }
        // un[j..j+n] -= qhat * vn; each unit's borrow joins the product's carry into the next.
        Unit* const window = un + j;
        DoubleUnit carry = 0;
        const auto step = [&](std::uint32_t i) {
            const DoubleUnit p = qhat * vn[i] + carry;
            const Unit low = static_cast<Unit>(p);
            const Unit was = window[i];
            window[i] = was - low;
            carry = (p >> 32) + (was < low ? 1 : 0);
        };
        std::uint32_t i = 0;
        for (; i + 4 <= n; i += 4) {
            step(i);
            step(i + 1);
            step(i + 2);
            step(i + 3);
        }
        for (; i < n; ++i) {
            step(i);
        }
        const Unit head = window[n];
        window[n] = static_cast<Unit>(head - carry);  // modulo b, like the units below
        if (carry > head) {  // qhat was one too large: add the divisor back
            --qhat;
            window[n] += addUnits(window, window, vn, n);
        }
        q[j] = static_cast<Unit>(qhat);
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        r[i] = s == 0 ? un[i] : (un[i] >> s) | (un[i + 1] << (32 - s));
    }
}

}  // namespace

CryptoStatus VLONG_unsignedDivide(vlong* quotient, const vlong* dividend, const vlong* divisor,
                                  vlong* remainder, vlong** /*pool*/) {
    if (quotient == nullptr || dividend == nullptr || divisor == nullptr || remainder == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (divisor->numUnitsUsed == 0) {
        return ERR_DIVIDE_BY_ZERO;
    }
    if (VLONG_compareUnsigned(dividend, divisor) < 0) {
        CryptoStatus status = VLONG_copySignedValue(remainder, dividend);
        if (status == OK) {
            remainder->negative = 0;
            quotient->numUnitsUsed = 0;
            quotient->negative = 0;
        }
        return status;
    }
    const std::uint32_t m = dividend->numUnitsUsed;
    const std::uint32_t n = divisor->numUnitsUsed;
    // q (m-n+1) | r (n) | un (m+1) | vn (n); the results are stored last, so outputs may alias
    // the inputs.
    const std::uint32_t total = (m - n + 1) + n + (m + 1) + n;
    auto* scratch = static_cast<Unit*>(PLATFORM_malloc(total * sizeof(Unit)));
    if (scratch == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    Unit* q = scratch;
    Unit* r = q + (m - n + 1);
    divideUnits(q, r, dividend->pUnits, m, divisor->pUnits, n, r + n);
    CryptoStatus status = storeUnits(quotient, q, m - n + 1);
    if (status == OK) {
        status = storeUnits(remainder, r, n);
    }
    wipeUnits(scratch, total);
    PLATFORM_free(scratch);
    return status;
}

CryptoStatus VLONG_newBarrettMu(vlong** holder, const vlong* modulus, vlong** pool) {
    if (holder == nullptr || modulus == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (modulus->numUnitsUsed == 0) {
        return ERR_DIVIDE_BY_ZERO;
    }
    vlong* power = nullptr;
    vlong* mu = nullptr;
    vlong* rest = nullptr;
    CryptoStatus status = VLONG_allocVlong(&power, pool);
    if (status == OK) {
        status = VLONG_setVlongUnit(power, 2 * modulus->numUnitsUsed, 1);
    }
    if (status == OK) {
        status = VLONG_allocVlong(&mu, pool);
    }
    if (status == OK) {
        status = VLONG_allocVlong(&rest, pool);
    }
    if (status == OK) {
        status = VLONG_unsignedDivide(mu, power, modulus, rest, pool);
    }
    if (power != nullptr) {
        VLONG_freeVlong(&power, pool);
    }
    if (rest != nullptr) {
        VLONG_freeVlong(&rest, pool);
    }
    if (status == OK) {
        *holder = mu;
    } else if (mu != nullptr) {
        VLONG_freeVlong(&mu, pool);
    }
    return status;
}
