// Half products for Barrett reduction: of q1 * mu only the high half matters and of q3 * m only
// the low units. Each splits like Karatsuba into one full half-size product and two half
// products of the cross terms, down to column kernels at 32 units (8 for smaller moduli): at
// that size a straight column sum of about half the products costs less than the Karatsuba
// split with its differences and combining.
#include "vlong_units.hpp"

using namespace crypto_detail;

namespace crypto_detail {

// a*b mod b^(n+1) = a0*b0 + (a1*b0 + a0*b1 mod b^(h+1)) * b^h + (a1*b1 mod b) * b^n, truncated.
void lowProduct(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch) {
    if (n == 8) {
        kernelMulLow9(r, a, b);
        return;
    }
    if (n == 32) {
        kernelMulLow33(r, a, b);
        return;
    }
    const std::uint32_t h = n / 2;
    karatsubaMul(r, a, b, h, scratch);
    Unit* const cross0 = scratch;
    Unit* const cross1 = cross0 + h + 1;
    Unit* const deeper = cross1 + h + 1;  // 6h - 2 units left, 4h needed
    lowProduct(cross0, a + h, b, h, deeper);
    lowProduct(cross1, a, b + h, h, deeper);
    r[n] = a[h] * b[h];
    std::uint64_t carry = 0;
    for (std::uint32_t i = 0; i <= h; ++i) {
        carry += std::uint64_t{r[h + i]} + cross0[i] + cross1[i];
        r[h + i] = static_cast<Unit>(carry);
        carry >>= 32;
    }
}

// floor(a*b / b^n) = a1*b1 + floor((a1*b0 + a0*b1) / b^h + a0*b0 / b^n). Each cross term comes
// from the half product one size down and may be short by its own error plus one for the floor;
// a0*b0 is left out entirely (below one). From a kernel short by at most n the shortfall
// e(n) = 2e(n/2) + 2 stays below 2n.
void highProduct(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch) {
    if (n == 8) {
        kernelMulHigh8(r, a, b);
        return;
    }
    if (n == 32) {
        kernelMulHigh32(r, a, b);
        return;
    }
    const std::uint32_t h = n / 2;
    karatsubaMul(r, a + h, b + h, h, scratch);
    Unit* const cross0 = scratch;
    Unit* const cross1 = cross0 + h;
    Unit* const deeper = cross1 + h;
    highProduct(cross0, a + h, b, h, deeper);
    highProduct(cross1, a, b + h, h, deeper);
    // No carry leaves r: the sum never exceeds floor(a*b / b^n) < b^n.
    std::uint64_t carry = 0;
    for (std::uint32_t i = 0; i < h; ++i) {
        carry += std::uint64_t{r[i]} + cross0[i] + cross1[i];
        r[i] = static_cast<Unit>(carry);
        carry >>= 32;
    }
    for (std::uint32_t i = h; carry != 0 && i < n; ++i) {
        carry += r[i];
        r[i] = static_cast<Unit>(carry);
        carry >>= 32;
    }
}

}  // namespace crypto_detail
