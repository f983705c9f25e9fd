// SHA-256, RSA-2048 verification and AES-128-CBC against mbedTLS and OpenSSL, with each result
// printed as a ratio to its anchor at the end of the run.
//
// OpenSSL picks its SHA-256 code when it loads, from OPENSSL_ia32cap; its portable (integer-only)
// code is measured in a child process started with the SIMD and SHA extensions masked.
#include <benchmark/benchmark.h>
#include <mbedtls/aes.h>
#include <mbedtls/rsa.h>
#include <mbedtls/sha256.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/base64.hpp"
#include "crypto/ca_mgmt.hpp"
#include "crypto/digest.hpp"
#include "crypto/rsa.hpp"
#include "median_reporter.hpp"

namespace {

constexpr const char* kPortableMask =
    "~0x1000020000000000:~0x20000128";  // AVX, SSSE3 : SHA, AVX2, BMI
constexpr const char* kChildFlag = "--openssl-portable-sha256";
constexpr std::size_t kShaBytes = 16u << 20;
constexpr std::size_t kAesBytes = 64u << 10;

std::vector<std::uint8_t> randomBuffer(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<std::uint8_t>(rng());
    }
    return v;
}

std::vector<std::uint8_t> readFile(const std::string& name) {
    std::ifstream in(std::string(BM_CRYPTO_TESTDATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> readHex(const std::string& name) {
    auto text = readFile(name);
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(
            std::stoul(std::string(&text[i], &text[i] + 2), nullptr, 16)));
    }
    return out;
}

void shaThroughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kShaBytes));
}

// ---- SHA-256 over 16 MiB ----

void BM_Sha256_Ours(benchmark::State& state) {
    const auto data = randomBuffer(kShaBytes, 1);
    std::uint8_t out[64];
    std::uint32_t len;
    for (auto _ : state) {
        CRYPTO_computeDigest(data.data(), static_cast<std::uint32_t>(data.size()), out, &len,
                             DIGEST_SHA256);
        benchmark::DoNotOptimize(out);
    }
    shaThroughput(state);
}

void BM_Sha256_MbedTLS(benchmark::State& state) {
    const auto data = randomBuffer(kShaBytes, 1);
    unsigned char out[32];
    for (auto _ : state) {
        mbedtls_sha256_ret(data.data(), data.size(), out, 0);
        benchmark::DoNotOptimize(out);
    }
    shaThroughput(state);
}

// CPU seconds per 16 MiB digest in a child whose OpenSSL loaded with the extensions masked.
double portableOpensslSeconds() {
    static double seconds = [] {
        std::string command = std::string("OPENSSL_ia32cap='") + kPortableMask + "' /proc/" +
                              std::to_string(::getpid()) + "/exe " + kChildFlag;
        FILE* child = ::popen(command.c_str(), "r");
        double s = 0;
        if (child == nullptr || std::fscanf(child, "%lf", &s) != 1) {
            s = 0;
        }
        if (child != nullptr) {
            ::pclose(child);
        }
        return s;
    }();
    return seconds;
}

double cpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int runPortableChild() {
    const auto data = randomBuffer(kShaBytes, 1);
    unsigned char out[32];
    unsigned int len;
    double best = 1e9;
    for (int i = 0; i < 8; ++i) {
        const double start = cpuSeconds();
        EVP_Digest(data.data(), data.size(), out, &len, EVP_sha256(), nullptr);
        best = std::min(best, cpuSeconds() - start);
    }
    std::printf("%.9f\n", best);
    return 0;
}

void BM_Sha256_OpenSSLPortable(benchmark::State& state) {
    const double seconds = portableOpensslSeconds();
    for (auto _ : state) {
        state.SetIterationTime(seconds);
    }
    shaThroughput(state);
}

// ---- RSA-2048 verification, e = 65537, SHA-256 ----

struct RsaFixture {
    std::vector<std::uint8_t> n = readHex("vectors/rsa2048.n.hex");
    std::vector<std::uint8_t> sig = readFile("vectors/rsa2048.sha256.sig");
    std::vector<std::uint8_t> hash = readFile("vectors/rsa2048.sha256.digest");
    std::vector<std::uint8_t> spki = readFile("vectors/rsa2048.spki.der");
};

void BM_RsaVerify_Ours(benchmark::State& state) {
    RsaFixture f;
    BASE64_initializeContext();
    std::uint8_t* blob = nullptr;
    std::uint32_t blobLength = 0;
    AsymmetricKey key;
    CRYPTO_initAsymmetricKey(&key);
    CA_MGMT_publicKeyDerToKeyBlob(f.spki.data(), static_cast<std::uint32_t>(f.spki.size()), &blob,
                                  &blobLength);
    CA_MGMT_extractKeyBlob(blob, blobLength, &key);
    CA_MGMT_freeKeyBlob(&blob);
    std::uint8_t digest[64];
    std::uint32_t length = 0;
    std::int32_t id = 0;
    for (auto _ : state) {
        CryptoStatus status = RSA_getDigestFromSignature(
            key.key, f.sig.data(), static_cast<std::int32_t>(f.sig.size()), digest, &length, &id);
        bool good = status == OK && length == 32 && std::memcmp(digest, f.hash.data(), 32) == 0;
        if (!good) {
            state.SkipWithError("signature refused");
            break;
        }
    }
    CRYPTO_uninitAsymmetricKey(&key);
}

void BM_RsaVerify_MbedTLS(benchmark::State& state) {
    RsaFixture f;
    mbedtls_rsa_context rsa;
    mbedtls_rsa_init(&rsa, MBEDTLS_RSA_PKCS_V15, 0);
    const unsigned char e[] = {0x01, 0x00, 0x01};
    mbedtls_rsa_import_raw(&rsa, f.n.data(), f.n.size(), nullptr, 0, nullptr, 0, nullptr, 0, e, 3);
    mbedtls_rsa_complete(&rsa);
    for (auto _ : state) {
        if (mbedtls_rsa_pkcs1_verify(&rsa, nullptr, nullptr, MBEDTLS_RSA_PUBLIC, MBEDTLS_MD_SHA256,
                                     32, f.hash.data(), f.sig.data()) != 0) {
            state.SkipWithError("signature refused");
            break;
        }
    }
    mbedtls_rsa_free(&rsa);
}

void BM_RsaVerify_OpenSSL(benchmark::State& state) {
    RsaFixture f;
    const unsigned char* p = f.spki.data();
    EVP_PKEY* pkey = d2i_PUBKEY(nullptr, &p, static_cast<long>(f.spki.size()));
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(pkey, nullptr);
    EVP_PKEY_verify_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256());
    for (auto _ : state) {
        if (EVP_PKEY_verify(ctx, f.sig.data(), f.sig.size(), f.hash.data(), f.hash.size()) != 1) {
            state.SkipWithError("signature refused");
            break;
        }
    }
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(pkey);
}

// ---- AES-128-CBC encryption and decryption over 64 KiB ----

void aesThroughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kAesBytes));
}

void BM_Aes128Cbc_Ours(benchmark::State& state) {
    const bool encrypt = state.range(0) != 0;
    auto data = randomBuffer(kAesBytes, 2);
    const auto key = randomBuffer(16, 3);
    std::uint8_t iv[16] = {};
    AesContext ctx{};
    AES_initContext(&ctx, 128, key.data(), encrypt ? 1 : 0, MODE_CBC);
    std::int32_t outBits = 0;
    for (auto _ : state) {
        if (encrypt) {
            AES_encryptBlocks(&ctx, iv, data.data(), kAesBytes * 8, data.data(), &outBits);
        } else {
            AES_decryptBlocks(&ctx, iv, data.data(), kAesBytes * 8, data.data(), &outBits);
        }
        benchmark::DoNotOptimize(data.data());
    }
    aesThroughput(state);
}

// mbedTLS's public CBC routes blocks through AES-NI on this CPU; its table code is reached by
// running the CBC chain here around mbedtls_internal_aes_encrypt/decrypt.
void BM_Aes128Cbc_MbedTLSTables(benchmark::State& state) {
    const bool encrypt = state.range(0) != 0;
    auto data = randomBuffer(kAesBytes, 2);
    const auto key = randomBuffer(16, 3);
    unsigned char iv[16] = {};
    mbedtls_aes_context ctx;
    mbedtls_aes_init(&ctx);
    if (encrypt) {
        mbedtls_aes_setkey_enc(&ctx, key.data(), 128);
    } else {
        mbedtls_aes_setkey_dec(&ctx, key.data(), 128);
    }
    for (auto _ : state) {
        unsigned char* p = data.data();
        for (std::size_t off = 0; off < kAesBytes; off += 16, p += 16) {
            if (encrypt) {
                for (int i = 0; i < 16; ++i) {
                    p[i] ^= iv[i];
                }
                mbedtls_internal_aes_encrypt(&ctx, p, p);
                std::memcpy(iv, p, 16);
            } else {
                unsigned char c[16];
                std::memcpy(c, p, 16);
                mbedtls_internal_aes_decrypt(&ctx, p, p);
                for (int i = 0; i < 16; ++i) {
                    p[i] ^= iv[i];
                }
                std::memcpy(iv, c, 16);
            }
        }
        benchmark::DoNotOptimize(data.data());
    }
    mbedtls_aes_free(&ctx);
    aesThroughput(state);
}

BENCHMARK(BM_Sha256_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha256_MbedTLS)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha256_OpenSSLPortable)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RsaVerify_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RsaVerify_MbedTLS)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RsaVerify_OpenSSL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Aes128Cbc_Ours)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Aes128Cbc_MbedTLSTables)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Prints each result as a ratio to its anchor after the run; the child-measured benchmark
// reports its CPU time as manual time.
class RatioReporter : public MedianReporter {
public:
    void printRatios() const {
        std::printf("\nRatios (goal in brackets):\n");
        throughputRatio("SHA-256 16 MiB, ours / mbedTLS", "BM_Sha256_Ours", "BM_Sha256_MbedTLS",
                        ">= 1.0");
        throughputRatio("SHA-256 16 MiB, ours / OpenSSL portable", "BM_Sha256_Ours",
                        "BM_Sha256_OpenSSLPortable/iterations:1/manual_time", "");
        timeRatio("RSA-2048 verify time, ours / mbedTLS", "BM_RsaVerify_Ours",
                  "BM_RsaVerify_MbedTLS", "<= 1.0");
        timeRatio("RSA-2048 verify time, ours / OpenSSL", "BM_RsaVerify_Ours",
                  "BM_RsaVerify_OpenSSL", "");
        throughputRatio("AES-128-CBC encrypt, ours / mbedTLS tables", "BM_Aes128Cbc_Ours/1",
                        "BM_Aes128Cbc_MbedTLSTables/1", ">= 1.0");
        throughputRatio("AES-128-CBC decrypt, ours / mbedTLS tables", "BM_Aes128Cbc_Ours/0",
                        "BM_Aes128Cbc_MbedTLSTables/0", ">= 1.0");
    }

private:
    void throughputRatio(const char* what, const char* ours, const char* anchor,
                         const char* goal) const {
        print(what, time(anchor), time(ours), goal);
    }
    void timeRatio(const char* what, const char* ours, const char* anchor, const char* goal) const {
        print(what, time(ours), time(anchor), goal);
    }
    // A side that was filtered out of the run has no ratio.
    static void print(const char* what, double numerator, double denominator, const char* goal) {
        if (numerator > 0 && denominator > 0) {
            std::printf("  %-48s %6.2f  [%s]\n", what, numerator / denominator, goal);
        } else {
            std::printf("  %-48s %6s  [%s]\n", what, "-", goal);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], kChildFlag) == 0) {
        return runPortableChild();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
