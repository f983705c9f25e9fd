// The installer on simulated boards: what it prints, what it writes where, and what it leaves
// alone when a check fails.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "boot_support.hpp"
#include "image/crc.hpp"
#include "install/file_writer.hpp"
#include "install/installer.hpp"

namespace boardtest {
namespace {

using namespace image;

// Every flash type the installer writes.
struct FlashCase {
    std::uint32_t type;
    const char* partition;
    std::uint32_t limit;  // bytes that may go in: payload for the boot loader, else total
    bool is_signed;       // verified before it is written
    const char* announcement;
    const char* bad_crc;  // with the crc of a damaged sub-image (100 bytes of 0x11, release 1.0)
    const char* too_big;
    const char* after_write;
};

const FlashCase flash_cases[] = {
    {TYPE_BOOTLOADER, "uboot", 0x80000, false,
     "Installing Boot Loader: ", "Bad crc for UBOOT: 0x6e54f959, voiding download\r\n",
     "UBOOT image is too big for flash (524289 > 524288)\r\n", ""},
    {TYPE_KERNEL, "kernel", 0x300000, true,
     "Installing Kernel: ", "Bad crc for KERNEL: 0x6fcc9fb1, voiding download\r\n",
     "KERNEL image is too big for flash (3145729 > 3145728)\r\n", ""},
    {TYPE_RFS, "rfs", 0xF00000, true,
     "Installing Root Filesystem: ", "Bad crc for RFS: 0x6b05af29, voiding download\r\n",
     "RFS image is too big for flash (15728641 > 15728640)\r\n", ""},
    {TYPE_DEVICETREE, "devicetree", 0x40000, true,
     "Installing Device Tree: ", "Bad crc for DFT: 0x6a9dc9c1, voiding download\r\n",
     "DFT image is too big for flash (262145 > 262144)\r\n", ""},
    {TYPE_DIAGNOSTICS, "rescue", 0xA00000, false,
     "Installing Diagnostics: ", "Bad crc for DIAGNOSTICS IMAGE: 0x683562f9, voiding download\r\n",
     "DIAGS image is too big for flash (10485761 > 10485760)\r\n", "done\r\n"},
};

// The boot loader's limit counts its payload, the others' their whole sub-image.
std::uint32_t header_outside_limit(const FlashCase& c) {
    return c.type == TYPE_BOOTLOADER ? 24 : 0;
}

// A sub-image of the type that holds exactly `bytes` of whatever its limit counts; signed, a
// 2048-bit key's signature record included.
Bytes sized(const FlashCase& c, std::uint32_t bytes, bool sign) {
    if (sign) {
        return production_signed(c.type, 0x02030405, Bytes(bytes - 24 - 6 - 256, 0x5A));
    }
    Bytes payload(bytes + header_outside_limit(c) - 24, 0x5A);
    if (c.type == TYPE_BOOTLOADER) {
        // The boot loader's program image repeats its header's length, type and version.
        const Bytes sub = versioned(c.type, 0x02030405, payload);
        std::copy(sub.begin() + 4, sub.begin() + 16, payload.begin() + 0xF4);
    }
    return versioned(c.type, 0x02030405, payload);
}

class FlashTypes : public testing::TestWithParam<FlashCase> {};

// A refusal writes nothing. A signed type's verdict comes before the same-version test, so a
// re-offered image is verified again and then skipped.
TEST_P(FlashTypes, RefusesDamagedOrOversizedWritesAtTheLimitAndSkipsTheSameVersion) {
    const FlashCase& c = GetParam();
    Board board;
    std::filesystem::create_directories(board.root() / "user/images");
    const std::pair<Bytes, const char*> refused[] = {
        {damaged(versioned(c.type, 0x01000000, Bytes(100, 0x11))), c.bad_crc},
        {sized(c, c.limit + 1, false), c.too_big},
    };
    for (const auto& [bundle, verdict] : refused) {
        put_bundle(board, bundle);
        const auto result = board.run(install_as(0, 0));
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.console, extracting + c.announcement + verdict);
        EXPECT_TRUE(erased(board, c.partition));
    }

    const Bytes sub = sized(c, c.limit, c.is_signed);
    put_bundle(board, sub);
    const std::string checked = extracting + c.announcement + (c.is_signed ? verified : "");
    const auto first = board.run(install_as(1, 0));
    EXPECT_EQ(first.exit_code, 1);
    EXPECT_EQ(without_progress(first.console), checked + "     %\r\n" + c.after_write);
    const auto header = static_cast<std::ptrdiff_t>(header_outside_limit(c));
    EXPECT_EQ(partition_prefix(board, c.partition, sub.size() - header),
              Bytes(sub.begin() + header, sub.end()));

    const auto again = board.run(install_as(1, 0));
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_EQ(again.console, checked +
                                 "Image has same version as existing image. Skipping update...\r\n"
                                 "ERROR: No valid image found\r\n");
}

INSTANTIATE_TEST_SUITE_P(Installer, FlashTypes, testing::ValuesIn(flash_cases),
                         [](const auto& info) { return std::string(info.param.partition); });

// On a board that runs release images (its root file system is production-signed), a refused
// signature writes nothing and ends the walk: the unsigned application before the slot question,
// the kernel before the device tree after it.
TEST(InstallerSignatures, ARefusalWritesNothingAndEndsTheWalk) {
    Bytes kernel = production_signed(TYPE_KERNEL, 0x01000000, Bytes(0x300, 0x4B));
    kernel.back() ^= 1;
    seal_subimage(kernel);
    const std::pair<Bytes, std::string> cases[] = {
        {versioned(TYPE_APPLICATION, 0x01000000, Bytes(0x100, 0x01)),
         "Installing Application:  Image rejected as it has no signature\r\n"},
        {kernel + production_signed(TYPE_DEVICETREE, 0x01000000, Bytes(0x80, 0x02)),
         "Installing Kernel:  Image rejected. "},
    };
    for (const auto& [bundle, refusal] : cases) {
        Board board;
        sim::write_partition(board.root(), "rfs",
                             production_signed(TYPE_RFS, 0x01000000, Bytes(0x400, 0x33)));
        put_bundle(board, bundle);
        const auto result = board.run(install_as(0, 0), {"1\n"});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.console, extracting + refusal);
        EXPECT_FALSE(std::filesystem::exists(board.root() / "user/images/image1"));
        EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 0xFF);
        EXPECT_TRUE(erased(board, "kernel"));
        EXPECT_TRUE(erased(board, "devicetree"));
    }
}

TEST(Installer, KeepsTheBootLoaderHeaderBesideTheSlotsAndOnlyWarnsWhenItCannot) {
    const Bytes sub =
        versioned(TYPE_BOOTLOADER, 0x01000000, Bytes(0x100, 0x42), {{7, Bytes(8, 0xEE)}});
    Board board;
    put_bundle(board, sub);
    std::filesystem::create_directories(board.root() / "user/images");
    const auto kept = board.run(install_as(0, 0));
    EXPECT_EQ(kept.exit_code, 1);
    EXPECT_EQ(read_bytes(board.root() / "user/images/uboot-hdr"),
              Bytes(sub.begin(), sub.begin() + 36));

    std::filesystem::remove_all(board.root() / "user/images");
    const auto warned = board.run(install_as(0, 0));
    EXPECT_EQ(warned.exit_code, 1);
    EXPECT_EQ(warned.console, extracting + "Installing Boot Loader: " + one_block +
                                  "WARNING: Unable to open /user/images/uboot-hdr for writing\r\n");
}

// Where the walk through a bundle goes on and where it stops.
TEST(Installer, WalksTheBundleToItsEndOrTheFirstFailure) {
    const Bytes diags = versioned(TYPE_DIAGNOSTICS, 0x01000000, Bytes(0x40, 0x06));
    Bytes bad_kxos = versioned(TYPE_KXOS, 0x01000000, Bytes(0x200, 0x03));
    bad_kxos[40] ^= 0x80;
    Bytes cut = versioned(TYPE_BOOTLOADER, 0x01000000, Bytes(0x400, 0x06));
    cut.resize(0x100);
    const struct {
        Bytes bundle;  // empty: there is no bundle file
        int exit_code;
        std::string console;
    } cases[] = {
        // A failure on the third sub-image leaves the first two installed.
        {versioned(TYPE_BOOTLOADER, 0x01000000, Bytes(0x200, 0x01)) + diags + bad_kxos, 0,
         extracting + "Installing Boot Loader: " + one_block + "Installing Diagnostics: " +
             one_block + "done\r\n" + "Installing K-XOS application: " +
             "Bad crc for K-XOS APPLICATION: 0x0dd68295, voiding download\r\n"},
        // Unknown types are skipped silently; a tail shorter than a header ends the walk.
        {versioned(0x07706774, 0x01000000, Bytes(0x40, 0x07)) + diags + Bytes(20, 0xAB), 1,
         extracting + "Installing Diagnostics: " + one_block + "done\r\n"},
        // A sub-image whose lengths do not fit (here: running past the end of the bundle) is
        // refused before it is read, with the crc over the header probe. Which lengths do not fit
        // is the bundle walk's own test.
        {cut, 0,
         extracting +
             "Installing Boot Loader: Bad crc for UBOOT: 0x6a01077f, voiding download\r\n"},
        {{}, 0, ""},
    };
    for (const auto& c : cases) {
        Board board;
        std::filesystem::create_directories(board.root() / "user/images");
        if (!c.bundle.empty()) {
            put_bundle(board, c.bundle);
        }
        const auto result = board.run(install_as(0, 0));
        EXPECT_EQ(result.exit_code, c.exit_code) << c.console;
        EXPECT_EQ(result.console, c.console);
    }
}

TEST(Installer, ASubImageShorterThanAHeaderProbeIsCheckedAgainstItsOwnHeader) {
    // Version 2, header length 4 and length 8: twelve bytes, whose header length lies in the
    // bytes after them. The installer must not read the probe's fields out of those twelve.
    Bytes sub = {0, 0, 0, 0, 0, 0, 0, 8, 0x86, 0x70, 0x67, 0x74};
    const std::uint32_t crc = image_crc(std::span(sub).subspan(4), crc_initial);
    for (int i = 0; i < 4; ++i) {
        sub[i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    }
    const Bytes tail = {1, 0, 0, 0, 0, 0, 0, 4, 0xEE, 0xEE, 0xEE, 0xEE};
    Board board;
    put_bundle(board, sub + tail);
    const auto result = board.run(install_as(1, 0));
    EXPECT_EQ(result.exit_code, 1);
    // The version test runs too; a version-2 type is never found installed.
    EXPECT_EQ(result.console, extracting + "Installing Diagnostics: " +
                                  "Unknown image type 0x86706774 \r\n" + one_block + "done\r\n");
    EXPECT_EQ(partition_prefix(board, "rescue", sub.size()), sub);
}

// The question ends at q and at a closed console, and asks again after anything else.
TEST(Installer, KxosAsksForASlotWritesTheTemporaryFileAndPointsTheSelectorAtIt) {
    const Bytes payload(0x30000, 0x99);
    Board board;
    put_bundle(board, versioned(TYPE_KXOS, 0x01000000, payload));
    const std::string asked = extracting + "Installing K-XOS application: " +
                              "Install image as image 1 or 2 (q to quit): ";
    const auto quit = board.run(install_as(0, 0), {"Q\n"});
    EXPECT_EQ(quit.exit_code, 0);
    EXPECT_EQ(quit.console, asked + "Q\r\n");
    const auto closed = board.run([] {
        prepare_platform();
        std::freopen("/dev/null", "r", stdin);
        return install_bundle("/tmp/bundle.img", 0, 0);
    });
    EXPECT_EQ(closed.exit_code, 0);
    EXPECT_EQ(closed.console, asked);
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 0xFF);

    const auto result = board.run(install_as(0, 0), {"x\n", "2\n"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console,
              asked +
                  "x\r\n"
                  "Install image as image 1 or 2 (q to quit): 2\r\n"
                  "Installing image as image2: Preparing image for installation:     "
                  "\b\b\b\b033%\b\b\b\b066%\b\b\b\b100%\b\b\b\b100%\r\n"
                  "\r\nImage2 updated succeeded\r\n");
    EXPECT_EQ(read_bytes(board.root() / "tmp/xos-image.gz"), payload);
    EXPECT_EQ(std::filesystem::status(board.root() / "tmp/xos-image.gz").permissions(),
              std::filesystem::perms(0644));
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 2);
    EXPECT_FALSE(std::filesystem::exists(board.root() / "user/images/image2"));
}

TEST(Installer, TwoApplicationsAskOnceAndTheSecondGoesIntoTheSameSlot) {
    const Bytes first = production_signed(TYPE_APPLICATION, 0x01000000, Bytes(0x18000, 0x01));
    const Bytes second = production_signed(TYPE_APPLICATION, 0x01000001, Bytes(0x100, 0x02));
    sim::BoardConfig config;
    config.rtc_base = "2026-07-03 14:05:09";
    Board board(config);
    put_bundle(board, first + second);
    const auto result = board.run(install_as(0, 0), {"2\n"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console,
              extracting + "Installing Application: " + verified +
                  "Install image as image 1 or 2 (hit return to just boot image): 2\r\n" +
                  "Installing image as image2:     \b\b\b\b066%\b\b\b\b100%\b\b\b\b100%\r\n"
                  "\r\nImage2 updated succeeded\r\n" +
                  "Installing Application: " + verified +
                  "Installing image as image2: " + one_piece + "\r\nImage2 updated succeeded\r\n");
    EXPECT_EQ(read_bytes(board.root() / "user/images/image2"), second);
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 2);
    // The install time of slot 2 (seconds first, BCD), one board second after the first stamp.
    const Bytes eeprom = sim::read_eeprom(board.root()).value();
    EXPECT_EQ(Bytes(eeprom.begin() + 0x110, eeprom.begin() + 0x117),
              (Bytes{0x10, 0x05, 0x14, 0x06, 0x03, 0x07, 0x26}));
    EXPECT_EQ(std::filesystem::status(board.root() / "user/images").permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms(0755));
}

TEST(Installer, AnApplicationOfTheInstalledVersionIsSkippedAndAnUnwritableSlotFails) {
    const Bytes app = production_signed(TYPE_APPLICATION, 0x01000000, Bytes(0x100, 0x01));
    Board board;
    put_bundle(board, app);
    put_slot(board, 2, app);
    const auto same = board.run(install_as(1, 2));
    EXPECT_EQ(same.exit_code, 0);
    EXPECT_EQ(same.console,
              extracting + "Installing Application: " + verified + "Installing image as image2: " +
                  "Image2 has same version as existing image. Skipping update...\r\n" +
                  "ERROR: No valid image found\r\n");

    std::filesystem::create_directories(board.root() / "user/images/image1");
    const auto unwritable = board.run(install_as(1, 1));
    EXPECT_EQ(unwritable.exit_code, 0);
    EXPECT_EQ(unwritable.console,
              extracting + "Installing Application: " + verified +
                  "Installing image as image1: Image1 update failed (err 21)\r\n");
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 0xFF);
}

TEST(Installer, EnterAtTheSlotQuestionBootsTheDownloadedImageWithoutWritingASlot) {
    const Bytes payload = application_tarball();
    Board board;
    put_bundle(board, production_signed(TYPE_APPLICATION, 0x01000000, payload));
    const auto result = board.run(install_as(0, 0), {"\n"});
    const std::string asked =
        extracting + "Installing Application: " + verified +
        "Install image as image 1 or 2 (hit return to just boot image): \r\n" +
        "Booting downloaded image\r\nImage ready to boot...\r\n";
    EXPECT_EQ(result.console.substr(0, asked.size()), asked);
    EXPECT_NE(result.console.find(app_banner), std::string::npos) << result.console;
    EXPECT_FALSE(std::filesystem::exists(board.root() / "user/images"));
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 0xFF);
}

// Below one 256-byte unit the display goes straight to 100 %; a failed write names the counts.
TEST(FileWriter, ShowsOnlyTheEndOfATinyFileAndFailsWithTheByteCounts) {
    Board board;
    const auto tiny = board.run([] {
        const Bytes data(255, 0x33);
        return write_file_with_progress("/tmp/out", data.data(), 255);
    });
    EXPECT_EQ(tiny.console, "    \b\b\b\b100%\r\n");

    const auto failed = board.run([] {
        // A file size limit stands in for a full file system at the second piece.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = 0x10000;
        setrlimit(RLIMIT_FSIZE, &limit);
        const Bytes data(163840, 0x33);
        const int written = write_file_with_progress("/tmp/out", data.data(), 163840);
        // Lifted again: the process may still write files of its own when it ends.
        setrlimit(RLIMIT_FSIZE, &saved);
        return written;
    });
    EXPECT_EQ(failed.exit_code, 0);
    EXPECT_EQ(failed.console,
              "    \b\b\b\b040%File /tmp/out write failed (err 27: bytes_written 65536, len "
              "163840, wr_len 65536)\r\n");
}

}  // namespace
}  // namespace boardtest
