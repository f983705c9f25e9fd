// The installer on simulated boards: what it prints, what it writes where, and what it leaves
// alone when a check fails.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "boot_support.hpp"
#include "image/crc.hpp"
#include "install/file_writer.hpp"
#include "install/installer.hpp"
#include "installer_support.hpp"

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
    {TYPE_BOOTLOADER, "uboot", 0x80000, false, "Installing Boot Loader: ",
     "Bad crc for UBOOT: 0x6e54f959, voiding download\r\n", "UBOOT image is too big for flash", ""},
    {TYPE_KERNEL, "kernel", 0x300000, true,
     "Installing Kernel: ", "Bad crc for KERNEL: 0x6fcc9fb1, voiding download\r\n",
     "KERNEL image is too big for flash", ""},
    {TYPE_RFS, "rfs", 0xF00000, true, "Installing Root Filesystem: ",
     "Bad crc for RFS: 0x6b05af29, voiding download\r\n", "RFS image is too big for flash", ""},
    {TYPE_DEVICETREE, "devicetree", 0x40000, true, "Installing Device Tree: ",
     "Bad crc for DFT: 0x6a9dc9c1, voiding download\r\n", "DFT image is too big for flash", ""},
    {TYPE_DIAGNOSTICS, "rescue", 0xA00000, false,
     "Installing Diagnostics: ", "Bad crc for DIAGNOSTICS IMAGE: 0x683562f9, voiding download\r\n",
     "DIAGS image is too big for flash", "done\r\n"},
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

TEST_P(FlashTypes, ADamagedSubImageIsRefusedWithItsComputedCrcAndNothingIsWritten) {
    const FlashCase& c = GetParam();
    Board board;
    put_bundle(board, damaged(versioned(c.type, 0x01000000, Bytes(100, 0x11))));
    const auto result = board.run(install_as(0, 0));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, extracting + c.announcement + c.bad_crc);
    EXPECT_TRUE(erased(board, c.partition));
}

TEST_P(FlashTypes, OneByteAboveTheLimitIsRefusedWithBothSizes) {
    const FlashCase& c = GetParam();
    Board board;
    put_bundle(board, sized(c, c.limit + 1, false));
    const auto result = board.run(install_as(0, 0));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, extracting + c.announcement + c.too_big + " (" +
                                  std::to_string(c.limit + 1) + " > " + std::to_string(c.limit) +
                                  ")\r\n");
    EXPECT_TRUE(erased(board, c.partition));
}

// A signed type's verdict comes before the same-version test, so a re-offered image is verified
// again and then skipped.
TEST_P(FlashTypes, AtTheLimitIsWrittenAndTheSameVersionIsSkippedNextTime) {
    const FlashCase& c = GetParam();
    const Bytes sub = sized(c, c.limit, c.is_signed);
    Board board;
    put_bundle(board, sub);
    std::filesystem::create_directories(board.root() / "user/images");
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

// A board whose root file system in flash is production-signed: it runs release images, so
// only low security mode admits development-signed sub-images.
struct ReleaseBoard : Board {
    ReleaseBoard() {
        sim::write_partition(root(), "rfs",
                             production_signed(TYPE_RFS, 0x01000000, Bytes(0x400, 0x33)));
        std::filesystem::create_directories(root() / "user/images");
    }
};

const std::string note_low =
    "\r\nNOTE - low security mode is operational. Checking developer keys....\r\n";
const std::string rejected = " Image rejected. ";

TEST(InstallerSignatures, ADevelopmentKernelNeedsLowSecurityMode) {
    const Bytes kernel = signed_with("development", TYPE_KERNEL, 0x01000000, Bytes(0x300, 0x4B));
    ReleaseBoard board;
    put_bundle(board, kernel);
    const auto secured = board.run(install_as(1, 0));
    EXPECT_EQ(secured.exit_code, 0);
    EXPECT_EQ(secured.console, extracting + "Installing Kernel: " + rejected);
    EXPECT_TRUE(erased(board, "kernel"));

    std::ofstream(board.root() / "tmp/lowsec") << "on\n";
    const auto low = board.run(install_as(1, 0));
    EXPECT_EQ(low.exit_code, 1);
    EXPECT_EQ(low.console, extracting + "Installing Kernel: " + note_low + verified + one_block);
    EXPECT_EQ(partition_prefix(board, "kernel", kernel.size()), kernel);
}

TEST(InstallerSignatures, ARefusedDeviceTreeStopsTheBundleAndOnlySignedTypesAreChecked) {
    const Bytes boot_loader = versioned(TYPE_BOOTLOADER, 0x01000000, Bytes(0x200, 0x01));
    const Bytes tree = signed_with("development", TYPE_DEVICETREE, 0x01000000, Bytes(0x80, 0x02));
    const Bytes diags = versioned(TYPE_DIAGNOSTICS, 0x01000000, Bytes(0x200, 0x03));
    ReleaseBoard board;
    put_bundle(board, boot_loader + tree + diags);
    const auto result = board.run(install_as(0, 0));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, extracting + "Installing Boot Loader: " + one_block +
                                  "Installing Device Tree: " + rejected);
    EXPECT_EQ(partition_prefix(board, "uboot", 0x200), Bytes(0x200, 0x01));
    EXPECT_TRUE(erased(board, "devicetree"));
    EXPECT_TRUE(erased(board, "rescue"));
}

TEST(InstallerSignatures, AnUnsignedOrTamperedApplicationIsRefusedBeforeTheSlotQuestion) {
    Bytes tampered = production_signed(TYPE_APPLICATION, 0x01000000, Bytes(0x100, 0x01));
    tampered.back() ^= 1;
    seal_subimage(tampered);
    const std::pair<Bytes, std::string> cases[] = {
        {versioned(TYPE_APPLICATION, 0x01000000, Bytes(0x100, 0x01)),
         " Image rejected as it has no signature\r\n"},
        {tampered, rejected},
    };
    for (const auto& [app, verdict] : cases) {
        ReleaseBoard board;
        put_bundle(board, app);
        const auto result = board.run(install_as(0, 0), {"1\n"});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.console, extracting + "Installing Application: " + verdict);
        EXPECT_FALSE(std::filesystem::exists(board.root() / "user/images/image1"));
        EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 0xFF);
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

TEST(Installer, AFailureOnTheThirdSubImageLeavesTheFirstTwoInstalled) {
    const Bytes boot_loader = versioned(TYPE_BOOTLOADER, 0x01000000, Bytes(0x200, 0x01));
    const Bytes diags = versioned(TYPE_DIAGNOSTICS, 0x01000000, Bytes(0x200, 0x02));
    Bytes bad = versioned(TYPE_KXOS, 0x01000000, Bytes(0x200, 0x03));
    bad[40] ^= 0x80;
    Board board;
    put_bundle(board, boot_loader + diags + bad);
    std::filesystem::create_directories(board.root() / "user/images");
    const auto result = board.run(install_as(0, 0));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console,
              extracting + "Installing Boot Loader: " + one_block + "Installing Diagnostics: " +
                  one_block + "done\r\n" + "Installing K-XOS application: " +
                  "Bad crc for K-XOS APPLICATION: 0x0dd68295, voiding download\r\n");
    EXPECT_EQ(partition_prefix(board, "uboot", 0x200), Bytes(0x200, 0x01));
    EXPECT_EQ(partition_prefix(board, "rescue", diags.size()), diags);
}

TEST(Installer, SkipsUnknownTypesSilentlyAndEndsAtAShortTail) {
    const Bytes unknown = versioned(0x07706774, 0x01000000, Bytes(0x40, 0x07));
    const Bytes diags = versioned(TYPE_DIAGNOSTICS, 0x01000000, Bytes(0x40, 0x06));
    Board board;
    put_bundle(board, unknown + diags + Bytes(20, 0xAB));
    const auto result = board.run(install_as(0, 0));
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console, extracting + "Installing Diagnostics: " + one_block + "done\r\n");
}

TEST(Installer, RefusesHeadersWithImpossibleLengthsBeforeReadingThem) {
    // Total below the header length; and a payload running past the end of the bundle.
    Bytes inconsistent = versioned(TYPE_DIAGNOSTICS, 0x01000000, Bytes(0x40, 0x06));
    inconsistent[22] = 0x7F;
    Bytes cut = versioned(TYPE_BOOTLOADER, 0x01000000, Bytes(0x400, 0x06));
    cut.resize(0x100);
    // The crc shown is the one over the header probe.
    for (const auto& [bundle, message] :
         {std::pair{inconsistent, "Diagnostics: Bad crc for DIAGNOSTICS IMAGE: 0x40799c33"},
          std::pair{cut, "Boot Loader: Bad crc for UBOOT: 0x6a01077f"}}) {
        Board board;
        put_bundle(board, bundle);
        const auto result = board.run(install_as(0, 0));
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.console, extracting + "Installing " + message + ", voiding download\r\n");
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

TEST(Installer, ABundleThatCannotBeOpenedInstallsNothingAndSaysNothing) {
    Board board;
    const auto result = board.run([] { return install_bundle("/tmp/missing.img", 0, 0); });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, "");
}

TEST(Installer, KxosAsksForASlotWritesTheTemporaryFileAndPointsTheSelectorAtIt) {
    const Bytes payload(0x30000, 0x99);
    const Bytes sub = versioned(TYPE_KXOS, 0x01000000, payload);
    Board board;
    put_bundle(board, sub);
    const auto result = board.run(install_as(0, 0), {"x\n", "2\n"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console,
              extracting + "Installing K-XOS application: " +
                  "Install image as image 1 or 2 (q to quit): x\r\n"
                  "Install image as image 1 or 2 (q to quit): 2\r\n"
                  "Installing image as image2: Preparing image for installation:     "
                  "\b\b\b\b033%\b\b\b\b066%\b\b\b\b100%\b\b\b\b100%\r\n"
                  "\r\nImage2 updated succeeded\r\n");
    EXPECT_EQ(read_bytes(board.root() / "tmp/xos-image.gz"), payload);
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 2);
    EXPECT_FALSE(std::filesystem::exists(board.root() / "user/images/image2"));
}

TEST(Installer, KxosSlotQuestionEndsOnQuitAndOnAClosedConsole) {
    const Bytes sub = versioned(TYPE_KXOS, 0x01000000, Bytes(0x40, 0x99));
    Board board;
    put_bundle(board, sub);
    const auto quit = board.run(install_as(0, 0), {"Q\n"});
    EXPECT_EQ(quit.exit_code, 0);
    EXPECT_EQ(quit.console, extracting + "Installing K-XOS application: " +
                                "Install image as image 1 or 2 (q to quit): Q\r\n");
    const auto closed = board.run([] {
        prepare_platform();
        std::freopen("/dev/null", "r", stdin);
        return install_bundle("/tmp/bundle.img", 0, 0);
    });
    EXPECT_EQ(closed.exit_code, 0);
    EXPECT_EQ(closed.console, extracting + "Installing K-XOS application: " +
                                  "Install image as image 1 or 2 (q to quit): ");
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 0xFF);
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

// A power cut can leave the new header over an erased or cut-short body. Such a copy is not the
// installed version: the same bundle then installs exactly as it would the first time.
TEST(Installer, AMatchingHeaderOverADamagedCopyIsInstalledAgain) {
    const Bytes kernel = production_signed(TYPE_KERNEL, 0x02030405, Bytes(0x18000, 0x4B));
    const Bytes app = production_signed(TYPE_APPLICATION, 0x01000000, Bytes(0x100, 0x01));
    Board board;
    sim::write_partition(board.root(), "kernel", Bytes(kernel.begin(), kernel.begin() + 0x400));
    put_slot(board, 2, Bytes(app.begin(), app.end() - 1));
    put_bundle(board, kernel + app);
    const auto repaired = board.run(install_as(1, 2));
    EXPECT_EQ(repaired.exit_code, 1);
    EXPECT_EQ(repaired.console, extracting + "Installing Kernel: " + verified +
                                    "     \b\b\b\b000%\b\b\b\b050%\b\b\b\b100%\r\n"
                                    "Installing Application: " +
                                    verified + "Installing image as image2: " + one_piece +
                                    "\r\nImage2 updated succeeded\r\n");
    EXPECT_EQ(partition_prefix(board, "kernel", kernel.size()), kernel);
    EXPECT_EQ(read_bytes(board.root() / "user/images/image2"), app);
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 2);

    const auto again = board.run(install_as(1, 2));
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_EQ(again.console,
              extracting + "Installing Kernel: " + verified +
                  "Image has same version as existing image. Skipping update...\r\n" +
                  "Installing Application: " + verified + "Installing image as image2: " +
                  "Image2 has same version as existing image. Skipping update...\r\n" +
                  "ERROR: No valid image found\r\n");
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

// The file writer's display: steps of whole percent, blank until the first one.
TEST(FileWriter, ShowsEachNewPercentageAndFailsWithTheByteCounts) {
    Board board;
    const auto shown = board.run([] {
        const Bytes data(163840, 0x33);
        return write_file_with_progress("/tmp/out", data.data(), 163840);
    });
    EXPECT_EQ(shown.exit_code, 1);
    EXPECT_EQ(shown.console, "    \b\b\b\b040%\b\b\b\b080%\b\b\b\b100%\b\b\b\b100%\r\n");
    EXPECT_EQ(read_bytes(board.root() / "tmp/out").size(), 163840U);

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
