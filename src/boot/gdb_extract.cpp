#include "boot/gdb_extract.hpp"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "image/bundle.hpp"
#include "image/header.hpp"
#include "platform/files.hpp"
#include "sys/shell.hpp"

namespace {

// Copies in pieces: the debugger can be larger than what is worth holding in memory at once.
constexpr std::uint32_t copy_piece = 64 * 1024;

bool copy_range(int source, std::uint64_t offset, std::uint32_t count, std::FILE* out) {
    std::vector<std::uint8_t> piece;
    while (count > 0) {
        const std::uint32_t n = std::min(count, copy_piece);
        if (!image::read_file_range(source, offset, n, piece) ||
            std::fwrite(piece.data(), 1, n, out) != n) {
            return false;
        }
        offset += n;
        count -= n;
    }
    return true;
}

}  // namespace

int extract_gdb(int booted_slot) {
    if (booted_slot != 1 && booted_slot != 2) {
        return 0;
    }
    const int slot = booted_slot == 1 ? 2 : 1;
    std::printf("Extracting GDB from image slot %d\n", slot);
    const platform::unique_fd source(
        ::open(slot == 1 ? "/user/images/image1" : "/user/images/image2", O_RDONLY | O_CLOEXEC));
    if (!source) {
        std::fprintf(stderr, "Failed to open GDB image (from slot %d)\n", slot);
        return 0;
    }
    platform::unique_file out = platform::open_file("/tmp/gdb.gz", "w");
    if (!out) {
        std::fputs("Failed to open GDB output file.\n", stderr);
        return 0;
    }

    // Only the first sub-image counts. Lengths that do not fit the file describe no payload to
    // copy, however good the type looks.
    image::bundle_walk walk(source.get());
    image::subimage_ref sub{};
    const bool present = walk.next(sub) == image::walk_step::subimage;
    if (!present || sub.header.type() != image::TYPE_APPLICATION ||
        sub.fault != image::header_fault::none) {
        std::fprintf(stderr, "Image has invalid header 0x%x\n", present ? sub.header.raw_type : 0U);
        return 0;
    }
    std::printf("Found GDB image %d of length = %u.\n", slot, sub.header.payload_length);
    copy_range(source.get(), sub.offset + sub.header.header_length, sub.header.payload_length,
               out.get());
    out.reset();
    std::puts("decompressing GDB....");
    sys::run_command("gunzip /tmp/gdb.gz");
    sys::run_command("chmod +x /tmp/gdb");
    return 1;
}
