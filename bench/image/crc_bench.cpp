// image_crc against zlib's crc32 over the same 16 MiB. The two registers are complements of
// each other, which the set-up checks so that both sides provably do the same work.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/crc.hpp"

namespace {

constexpr std::size_t size = 16 * 1024 * 1024;

const std::vector<std::uint8_t>& data() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> v(size);
        std::uint32_t x = 1;
        for (auto& b : v) {
            x = x * 1664525 + 1013904223;
            b = static_cast<std::uint8_t>(x >> 24);
        }
        const auto ours = image::image_crc(v, image::crc_initial);
        const auto theirs = crc32(0, v.data(), static_cast<uInt>(v.size()));
        if (ours != (~theirs & 0xFFFFFFFFU)) {
            std::abort();
        }
        return v;
    }();
    return bytes;
}

void image_crc_16MiB(benchmark::State& state) {
    const auto& v = data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(image::image_crc(v, image::crc_initial));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * v.size()));
}

void zlib_crc32_16MiB(benchmark::State& state) {
    const auto& v = data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc32(0, v.data(), static_cast<uInt>(v.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * v.size()));
}

BENCHMARK(image_crc_16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(zlib_crc32_16MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
