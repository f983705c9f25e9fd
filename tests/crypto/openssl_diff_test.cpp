// Differential tests against OpenSSL's libcrypto (host builds only): the big-number arithmetic,
// over random operands. AES and the digests are checked against OpenSSL-made vectors in their
// own tests, which also run on the PowerPC build.
#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/vlong.hpp"
#include "hex.hpp"
#include "vlong_helpers.hpp"

namespace {

struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

Bn toBn(const std::vector<std::uint8_t>& bytes) {
    return Bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

std::vector<std::uint8_t> fromBn(const BIGNUM* b) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(BN_num_bytes(b)));
    BN_bn2bin(b, out.data());
    return out;
}

}  // namespace

TEST(OpensslModexp, RandomModuliEvenAndOddWithBasesAboveTheModulus) {
    std::mt19937 rng(13);
    BN_CTX* ctx = BN_CTX_new();
    vlong* pool = nullptr;
    const std::size_t bitSizes[] = {512, 1024, 1536, 2048, 3072, 4096};
    for (std::size_t bits : bitSizes) {
        for (int round = 0; round < 6; ++round) {
            auto mb = randomBytes(rng, bits / 8);
            mb[0] |= 0x80;
            mb.back() = round % 2 == 0 ? mb.back() | 1 : mb.back() & 0xFE;
            // Bases: below, equal-length, and longer than the modulus (up to twice and beyond).
            std::size_t baseLen =
                bits / 8 + (round >= 4 ? bits / 8 + 5 : static_cast<std::size_t>(round));
            auto bb = randomBytes(rng, baseLen);
            // Exponents: 65537, a full-length one for the smaller moduli, else a few bytes.
            const auto eb = round == 0                   ? fromHex("010001")
                            : round == 1 && bits <= 1024 ? randomBytes(rng, bits / 8)
                                                         : randomBytes(rng, 1 + rng() % 8);
            Bn m = toBn(mb), b = toBn(bb), e = toBn(eb);
            Bn r(BN_new());
            ASSERT_TRUE(BN_mod_exp(r.get(), b.get(), e.get(), m.get(), ctx));

            Vlong vm(mb), vb(bb), ve(eb), out;
            ASSERT_EQ(VLONG_modexp(vb.get(), ve.get(), vm.get(), out.holder(), &pool), OK);
            EXPECT_EQ(out.hexString(), toHex(fromBn(r.get()))) << bits << " bits, round " << round;
        }
    }
    VLONG_freeVlongQueue(&pool);
    BN_CTX_free(ctx);
}

TEST(OpensslDivide, RandomOperands) {
    std::mt19937 rng(14);
    BN_CTX* ctx = BN_CTX_new();
    for (int round = 0; round < 200; ++round) {
        auto nb = randomBytes(rng, 1 + rng() % 600);
        auto db = randomBytes(rng, 1 + rng() % 300);
        if (db[0] == 0 || round % 5 == 0) {
            db[0] = 1;  // divisors with a small top unit need the most normalisation
        }
        Bn n = toBn(nb), d = toBn(db), q(BN_new()), r(BN_new());
        ASSERT_TRUE(BN_div(q.get(), r.get(), n.get(), d.get(), ctx));
        Vlong vn(nb), vd(db), vq = Vlong::empty(), vr = Vlong::empty();
        ASSERT_EQ(VLONG_unsignedDivide(vq.get(), vn.get(), vd.get(), vr.get(), nullptr), OK);
        EXPECT_EQ(vq.hexString(), toHex(fromBn(q.get()))) << round;
        EXPECT_EQ(vr.hexString(), toHex(fromBn(r.get()))) << round;
    }
    BN_CTX_free(ctx);
}
