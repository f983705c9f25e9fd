// The slot boot end to end on a simulated board, against the I/O floor of the same bytes.
//
// Slot 1 of a board holds one 32 MiB application sub-image. BM_SlotBoot runs the boot
// manager's boot_image_slot(1) on the board: the scan, the read of the sub-image, the CRC over
// it and the application tarball written to its file, up to where the application would start.
// The hand-over is replaced at link time (see CMakeLists.txt), so nothing after it runs; the
// board's time scale is 0. BM_CatFloor copies the same slot file the way `cat slot > file` does.
// Both sides run in a fresh board process per iteration and time themselves there, so the
// board's set-up stays outside the figures. Everything lives in a temporary directory that is
// removed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "boot/slot_boot.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "image/header.hpp"
#include "image/writer.hpp"
#include "launch.hpp"
#include "median_reporter.hpp"
#include "rootfs.hpp"
#include "sim/board.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kSlotBytes = 32u << 20;
constexpr std::size_t kCatBuffer = 128u << 10;  // what cat reads at a time when it must
// Inside the board: where a timed side leaves its elapsed nanoseconds.
constexpr const char* kElapsedPath = "/tmp/elapsed-ns";

// The slot file: one application sub-image of exactly kSlotBytes, its payload pseudo-random like
// the compressed tarball it stands for (it is never unpacked).
std::vector<std::uint8_t> slotImage() {
    const auto empty = image::make_subimage({image::TYPE_APPLICATION, 0x01020304, 3, {}, {}});
    if (!empty) {
        throw std::runtime_error("no sub-image header");
    }
    std::vector<std::uint8_t> payload(kSlotBytes - empty->size());
    std::uint32_t x = 1;
    for (auto& b : payload) {
        x = x * 1664525 + 1013904223;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    auto sub = image::make_subimage({image::TYPE_APPLICATION, 0x01020304, 3, {}, payload});
    if (!sub || sub->size() != kSlotBytes) {
        throw std::runtime_error("no slot image");
    }
    return *sub;
}

// A temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "boot-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A board with the boot manager's root file system and the image in slot 1.
class BenchBoard {
public:
    BenchBoard() {
        const fs::path& root = dir_.path();
        sim::BoardConfig config;
        config.time_scale = 0;
        const auto image = slotImage();
        fs::create_directories(root / "user/images");
        std::ofstream slot(root / "user/images/image1", std::ios::binary);
        slot.write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        slot.close();
        if (!slot || !boardsim::create_rootfs(root, boardsim::default_rootfs_sources()) ||
            !sim::create_board_state(root, config)) {
            throw std::runtime_error("creating the board failed");
        }
    }
    const fs::path& root() const { return dir_.path(); }

private:
    TempDir dir_;
};

const BenchBoard* board = nullptr;

// Set in the board process just before the timed part starts.
Clock::time_point started;

// Ends the timed part inside the board: leaves the elapsed time for the host and exits.
[[noreturn]] void finishTiming() {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started).count();
    const std::string text = std::to_string(ns);
    const int fd = open(kElapsedPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) {
        close(fd);
    }
    std::_Exit(written ? 0 : 1);
}

// Runs body in a fresh board process; its elapsed time in seconds, or nothing when the board
// did not get there.
std::optional<double> timeOnBoard(const std::function<void()>& body) {
    const fs::path elapsed = board->root() / fs::path(kElapsedPath).relative_path();
    fs::remove(elapsed);
    boardsim::Console console;
    console.path = "/dev/null";
    console.fd = open(console.path.c_str(), O_RDWR | O_CLOEXEC);
    const pid_t keeper = boardsim::launch_board(board->root(), console, [&body] {
        sim::use_board("/");
        body();
        return 1;  // the timed part returned instead of finishing
    });
    close(console.fd);
    int status = 0;
    if (keeper < 0 || waitpid(keeper, &status, 0) != keeper ||
        boardsim::exit_code_of(status) != 0) {
        return std::nullopt;
    }
    std::ifstream in(elapsed);
    long long ns = 0;
    if (!(in >> ns)) {
        return std::nullopt;
    }
    return static_cast<double>(ns) * 1e-9;
}

void runTimed(benchmark::State& state, const std::function<void()>& body) {
    for (auto _ : state) {
        const auto seconds = timeOnBoard(body);
        if (!seconds) {
            state.SkipWithError("the board did not finish its timed part");
            break;
        }
        state.SetIterationTime(*seconds);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSlotBytes);
}

void BM_SlotBoot(benchmark::State& state) {
    runTimed(state, [] {
        // What main has done before it boots a slot.
        i2c_open_buses();
        flash_init();
        started = Clock::now();
        boot_image_slot(1);
    });
}

// cat's copy: the kernel moves the bytes (copy_file_range) where it can, else cat reads and
// writes them through its buffer.
bool catCopy(int in, int out) {
    for (;;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            break;
        }
    }
    std::vector<char> buffer(kCatBuffer);
    for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n <= 0) {
            return n == 0;
        }
        if (write(out, buffer.data(), static_cast<std::size_t>(n)) != n) {
            return false;
        }
    }
}

void BM_CatFloor(benchmark::State& state) {
    runTimed(state, [] {
        started = Clock::now();
        const int in = open("/user/images/image1", O_RDONLY | O_CLOEXEC);
        const int out = open("/tmp/cat-copy", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool copied = in >= 0 && out >= 0 && catCopy(in, out);
        if (close(out) == 0 && close(in) == 0 && copied) {
            finishTiming();
        }
    });
}

BENCHMARK(BM_SlotBoot)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CatFloor)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

// boot_image_slot's hand-over to the application, in place of the real one: the timed boot
// ends here, before anything the application start would run.
extern "C" [[noreturn]] void __wrap__Z17start_applicationj(std::uint32_t) {
    finishTiming();
}

int main(int argc, char** argv) {
    // Medians of interleaved repetitions unless the command line says otherwise (later flags
    // win).
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=9";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, interleaving});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    std::unique_ptr<BenchBoard> instance;
    try {
        instance = std::make_unique<BenchBoard>();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "boot_bench: %s\n", e.what());
        return 1;
    }
    board = instance.get();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double boot = reporter.time("BM_SlotBoot/manual_time");
    const double floor = reporter.time("BM_CatFloor/manual_time");
    if (boot > 0 && floor > 0) {
        std::printf("\nSlot boot of 32 MiB / cat of the same bytes: %.2f\n", boot / floor);
    }
    benchmark::Shutdown();
    return 0;
}
