// Multiplication and squaring: unrolled column kernels (8 units under Karatsuba, 32 under
// Barrett's half products), Karatsuba at power-of-two sizes, and a truncating column product for
// everything else (Barrett reduction relies on truncation).
#include <type_traits>
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

// The kernels are unrolled at compile time: column k of an N x N-unit product sums
// a[i] * b[k - i] over the indices the two operands share, with no loop or bound left for the
// compiler to keep. The operands are copied in first so that the result stores cannot force
// them to be reloaded.
template <int N>
constexpr int columnFirst(int k) {
    return k < N ? 0 : k - (N - 1);
}
template <int N>
constexpr int columnTerms(int k) {
    return k < N ? k + 1 : 2 * N - 1 - k;
}

template <int N>
struct Operand {
    Unit u[N];
    explicit Operand(const Unit* p) {
        for (int i = 0; i < N; ++i) {
            u[i] = p[i];
        }
    }
};

// The column sums are forced inline: left to itself the compiler splits the 32-unit kernels
// into calls that keep the accumulator in memory.
template <int N, int K, int... I>
[[gnu::always_inline]] inline void addColumn(Accumulator& acc, const Operand<N>& a,
                                             const Operand<N>& b,
                                             std::integer_sequence<int, I...>) {
    (acc.add(mul(a.u[columnFirst<N>(K) + I], b.u[K - columnFirst<N>(K) - I])), ...);
}

template <int N, int K, int Emit>
[[gnu::always_inline]] inline void emitColumn(Accumulator& acc, const Operand<N>& a,
                                              const Operand<N>& b, Unit* r) {
    addColumn<N, K>(acc, a, b, std::make_integer_sequence<int, columnTerms<N>(K)>{});
    const Unit out = acc.shift();
    if constexpr (K >= Emit) {
        r[K - Emit] = out;
    }
}

// Columns First.. of a*b, one per J; column k is stored at r[k - Emit] when k >= Emit, lower
// columns only pass their carries on. Returns the carry out of the last column.
template <int N, int First, int Emit, int... J>
inline DoubleUnit productColumns(Unit* r, const Unit* ap, const Unit* bp,
                                 std::integer_sequence<int, J...>) {
    const Operand<N> a(ap), b(bp);
    Accumulator acc;
    (emitColumn<N, First + J, Emit>(acc, a, b, r), ...);
    return acc.low;
}

// The low n+1 and the high n units of an n x n-unit product.
template <int N>
void lowColumns(Unit* r, const Unit* a, const Unit* b) {
    productColumns<N, 0, 0>(r, a, b, std::make_integer_sequence<int, N + 1>{});
}

// Column N-1 passes its carry on; the columns below it are left out.
template <int N>
void highColumns(Unit* r, const Unit* a, const Unit* b) {
    r[N - 1] = static_cast<Unit>(
        productColumns<N, N - 1, N>(r, a, b, std::make_integer_sequence<int, N>{}));
}

// Squares add each off-diagonal product once, doubled, then the diagonal square.
template <int K, int... I>
inline void addSquareColumn(Accumulator& acc, const Operand<8>& a,
                            std::integer_sequence<int, I...>) {
    Accumulator cross;
    (cross.add(mul(a.u[columnFirst<8>(K) + I], a.u[K - columnFirst<8>(K) - I])), ...);
    acc.high += (cross.high << 1) | static_cast<Unit>(cross.low >> 63);
    acc.add(cross.low << 1);
    if constexpr (K % 2 == 0) {
        acc.add(mul(a.u[K / 2], a.u[K / 2]));
    }
}

template <int... K>
inline void squareColumns(Unit* r, const Unit* ap, std::integer_sequence<int, K...>) {
    const Operand<8> a(ap);
    Accumulator acc;
    ((addSquareColumn<K>(acc, a, std::make_integer_sequence<int, columnTerms<8>(K) / 2>{}),
      r[K] = acc.shift()),
     ...);
    r[15] = static_cast<Unit>(acc.low);
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
    DoubleUnit borrow = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const DoubleUnit d = DoubleUnit{a[i]} - b[i] - borrow;
        r[i] = static_cast<Unit>(d);
        borrow = d >> 63;
    }
    return static_cast<Unit>(borrow);
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
    r[15] =
        static_cast<Unit>(productColumns<8, 0, 0>(r, a, b, std::make_integer_sequence<int, 15>{}));
}

void kernelMulLow9(Unit* r, const Unit* a, const Unit* b) {
    lowColumns<8>(r, a, b);
}

void kernelMulHigh8(Unit* r, const Unit* a, const Unit* b) {
    highColumns<8>(r, a, b);
}

void kernelMulLow33(Unit* r, const Unit* a, const Unit* b) {
    lowColumns<32>(r, a, b);
}

void kernelMulHigh32(Unit* r, const Unit* a, const Unit* b) {
    highColumns<32>(r, a, b);
}

void kernelSqr8(Unit* r, const Unit* a) {
    squareColumns(r, a, std::make_integer_sequence<int, 15>{});
}

}  // namespace crypto_detail

namespace {

// Every Karatsuba half is a whole number of 8-unit blocks; the passes over them run a block at a
// time, which the compiler unrolls.
constexpr std::size_t kBlock = 8;

// Sizes up to kLargestFixed are compile-time constants (Fixed<n>), so every pass and offset of
// those levels is laid out flat; larger ones (std::uint32_t) recurse at run time down to them.
template <std::uint32_t N>
using Fixed = std::integral_constant<std::uint32_t, N>;
constexpr std::uint32_t kLargestFixed = 128;

// |x - y| over n units into r; true when x < y.
template <class Size>
bool absDifference(Unit* r, const Unit* x, const Unit* y, Size n) {
    std::size_t top = n;
    while (top > 0 && x[top - 1] == y[top - 1]) {
        --top;
    }
    const bool less = top > 0 && x[top - 1] < y[top - 1];
    if (less) {
        std::swap(x, y);
    }
    DoubleUnit borrow = 0;
    for (std::size_t i = 0; i < n; i += kBlock) {
        for (std::size_t j = i; j < i + kBlock; ++j) {
            const DoubleUnit d = DoubleUnit{x[j]} - y[j] - borrow;
            r[j] = static_cast<Unit>(d);
            borrow = d >> 63;
        }
    }
    return less;
}

// r holds lo = r[0..n) and hi = r[n..2n); adds lo + hi -/+ mid at r[h..]. With lo = (l0, l1) and
// hi = (h0, h1) in halves, the two halves of the window get l1 + l0 + h0 -/+ mid0 and
// h0 + l1 + h1 -/+ mid1: one pass reads each unit before it is overwritten, with a carry chain
// per half. The first chain's carry then enters the second half, which the second chain did not
// know of; the running sums may dip below zero, hence signed carries.
template <bool Subtract, class Size>
void combineMiddle(Unit* r, const Unit* mid, Size n) {
    const std::size_t h = n / 2;
    Unit* const l0 = r;
    Unit* const l1 = r + h;
    Unit* const h0 = r + std::size_t{n};
    Unit* const h1 = h0 + h;
    const Unit* const m1 = mid + h;
    using Signed = std::int64_t;
    Signed low = 0;
    Signed high = 0;
    for (std::size_t i = 0; i < h; i += kBlock) {
        for (std::size_t j = i; j < i + kBlock; ++j) {
            const Signed shared = Signed{l1[j]} + h0[j];
            const Signed d0 = Subtract ? -Signed{mid[j]} : Signed{mid[j]};
            const Signed d1 = Subtract ? -Signed{m1[j]} : Signed{m1[j]};
            low += shared + l0[j] + d0;
            high += shared + h1[j] + d1;
            l1[j] = static_cast<Unit>(low);
            h0[j] = static_cast<Unit>(high);
            low >>= 32;  // arithmetic shifts
            high >>= 32;
        }
    }
    for (std::size_t i = 0; low != 0 && i < h; ++i) {
        low += h0[i];
        h0[i] = static_cast<Unit>(low);
        low >>= 32;
    }
    // The whole sum is below b^(2n), so what is left carries out within r.
    high += low;
    for (std::size_t i = 0; high != 0 && i < h; ++i) {
        high += h1[i];
        h1[i] = static_cast<Unit>(high);
        high >>= 32;
    }
}

template <std::uint32_t N>
Fixed<N / 2> half(Fixed<N>) {
    return {};
}
std::uint32_t half(std::uint32_t n) {
    return n / 2;
}

template <class Size>
void mulNode(Unit* r, const Unit* a, const Unit* b, Size n, Unit* scratch);
template <class Size>
void sqrNode(Unit* r, const Unit* a, Size n, Unit* scratch);

void mulHalf(Unit* r, const Unit* a, const Unit* b, Fixed<8>, Unit*) {
    kernelMul8(r, a, b);
}
template <std::uint32_t N>
void mulHalf(Unit* r, const Unit* a, const Unit* b, Fixed<N> n, Unit* scratch) {
    mulNode(r, a, b, n, scratch);
}
void mulHalf(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch) {
    karatsubaMul(r, a, b, n, scratch);
}

void sqrHalf(Unit* r, const Unit* a, Fixed<8>, Unit*) {
    kernelSqr8(r, a);
}
template <std::uint32_t N>
void sqrHalf(Unit* r, const Unit* a, Fixed<N> n, Unit* scratch) {
    sqrNode(r, a, n, scratch);
}
void sqrHalf(Unit* r, const Unit* a, std::uint32_t n, Unit* scratch) {
    karatsubaSqr(r, a, n, scratch);
}

// a0*b1 + a1*b0 = a0*b0 + a1*b1 - (a0 - a1)(b0 - b1): the three half products have the same
// size, so the recursion stays on powers of two.
template <class Size>
void mulNode(Unit* r, const Unit* a, const Unit* b, Size n, Unit* scratch) {
    const auto h = half(n);
    Unit* da = scratch;
    Unit* db = scratch + std::size_t{h};
    Unit* mid = scratch + std::size_t{n};
    Unit* deeper = scratch + 2 * std::size_t{n};
    const bool negative = absDifference(da, a, a + h, h) != absDifference(db, b, b + h, h);
    mulHalf(r, a, b, h, deeper);
    mulHalf(r + std::size_t{n}, a + h, b + h, h, deeper);
    mulHalf(mid, da, db, h, deeper);
    if (negative) {
        combineMiddle<false>(r, mid, n);
    } else {
        combineMiddle<true>(r, mid, n);
    }
}

template <class Size>
void sqrNode(Unit* r, const Unit* a, Size n, Unit* scratch) {
    const auto h = half(n);
    Unit* da = scratch;
    Unit* mid = scratch + std::size_t{n};
    Unit* deeper = scratch + 2 * std::size_t{n};
    absDifference(da, a, a + h, h);
    sqrHalf(r, a, h, deeper);
    sqrHalf(r + std::size_t{n}, a + h, h, deeper);
    sqrHalf(mid, da, h, deeper);
    combineMiddle<true>(r, mid, n);
}

}  // namespace

namespace crypto_detail {

void karatsubaMul(Unit* r, const Unit* a, const Unit* b, std::uint32_t n, Unit* scratch) {
    switch (n) {
        case 8:
            return kernelMul8(r, a, b);
        case 16:
            return mulNode(r, a, b, Fixed<16>{}, scratch);
        case 32:
            return mulNode(r, a, b, Fixed<32>{}, scratch);
        case 64:
            return mulNode(r, a, b, Fixed<64>{}, scratch);
        case kLargestFixed:
            return mulNode(r, a, b, Fixed<kLargestFixed>{}, scratch);
        default:
            return mulNode(r, a, b, n, scratch);
    }
}

void karatsubaSqr(Unit* r, const Unit* a, std::uint32_t n, Unit* scratch) {
    switch (n) {
        case 8:
            return kernelSqr8(r, a);
        case 16:
            return sqrNode(r, a, Fixed<16>{}, scratch);
        case 32:
            return sqrNode(r, a, Fixed<32>{}, scratch);
        case 64:
            return sqrNode(r, a, Fixed<64>{}, scratch);
        case kLargestFixed:
            return sqrNode(r, a, Fixed<kLargestFixed>{}, scratch);
        default:
            return sqrNode(r, a, n, scratch);
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
