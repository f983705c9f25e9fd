#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "hw/i2c.hpp"
#include "security/signature_policy.hpp"
#include "signer.hpp"
#include "test_files.hpp"

namespace {

using boardtest::Board;
using sectest::signed_sub_image;

const std::vector<std::uint8_t> kPayload(3000, 0x5A);
const std::string kVerified = " Image signature verified. ";
const std::string kRejected = " Image rejected. ";
const std::string kNoteLow =
    "\r\nNOTE - low security mode is operational. Checking developer keys....\r\n";
const std::string kNoteDev =
    "\r\nNOTE - developer images operational. Checking developer keys....\r\n";
const std::string kWarning =
    "\r\nWARNING: All checks failed but you are running developer images and are in low security "
    "mode\r\nInstall image anyway? y/N? ";

enum class Rfs { production, development, unsigned_header };

struct PolicyBoard : Board {
    PolicyBoard(Rfs rfs, bool low) {
        std::vector<std::uint8_t> header;
        if (rfs == Rfs::unsigned_header) {
            header.assign(64, 0x11);
        } else {
            header = signed_sub_image(rfs == Rfs::production ? "production" : "development",
                                      std::vector<std::uint8_t>(1000, 0x33));
        }
        sim::write_partition(root(), "rfs", header);
        if (low) {
            std::ofstream(root() / "tmp/lowsec") << "marmoset\n";
        }
    }
    boardtest::Result verify(const std::vector<std::uint8_t>& sub_image,
                             const std::vector<std::string>& strokes = {}) {
        return run(
            [&sub_image] {
                install_interrupt_handler();
                i2c_open_buses();
                return verify_image_signature(sub_image);
            },
            strokes);
    }
};

struct Row {
    const char* name;
    const char* signer;  // production, development, or other (a key the switch does not know)
    bool low;
    Rfs rfs;
    std::string key;  // the answer typed, if any
    std::string console;
    int result;
};

std::vector<std::string> strokes(const std::string& key) {
    return key.empty() ? std::vector<std::string>{} : std::vector<std::string>{key};
}

class DecisionTable : public testing::TestWithParam<Row> {};

TEST_P(DecisionTable, PrintsAndDecidesAsTheRowSays) {
    const Row& row = GetParam();
    PolicyBoard board(row.rfs, row.low);
    auto image =
        signed_sub_image(std::string(row.signer) == "other" ? "development" : row.signer, kPayload);
    if (std::string(row.signer) == "other") {
        image.back() ^= 1;  // the payload no longer matches any signature
    }
    const auto result = board.verify(image, strokes(row.key));
    EXPECT_EQ(result.console, row.console);
    EXPECT_EQ(result.exit_code, row.result);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecisionTable,
    testing::Values(
        Row{"production", "production", false, Rfs::production, "", kVerified, 1},
        Row{"production_low", "production", true, Rfs::unsigned_header, "", kVerified, 1},
        Row{"development_secured", "development", false, Rfs::production, "", kRejected, 0},
        Row{"development_low", "development", true, Rfs::production, "", kNoteLow + kVerified, 1},
        Row{"other_low", "other", true, Rfs::production, "", kNoteLow + kRejected, 0},
        Row{"development_devrfs", "development", false, Rfs::development, "", kNoteDev + kVerified,
            1},
        Row{"other_devrfs", "other", false, Rfs::unsigned_header, "", kNoteDev + kRejected, 0},
        Row{"development_both", "development", true, Rfs::unsigned_header, "", kNoteDev + kVerified,
            1},
        Row{"other_both_y", "other", true, Rfs::development, "y",
            kNoteDev + kWarning + "y\r\n" + kVerified, 1},
        Row{"other_both_Y", "other", true, Rfs::unsigned_header, "Y",
            kNoteDev + kWarning + "Y\r\n" + kVerified, 1},
        Row{"other_both_n", "other", true, Rfs::unsigned_header, "n",
            kNoteDev + kWarning + "n\r\n" + kRejected, 0},
        Row{"other_both_enter", "other", true, Rfs::unsigned_header, "\r",
            kNoteDev + kWarning + "\r\n\r\n" + kRejected, 0}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kUnsignedRejected = " Image rejected as it has no signature\r\n";
const std::string kUnsignedWarning =
    "\r\nWARNING: Image is unsigned but you are running developer images and are in low security "
    "mode\r\nInstall image anyway? y/N? ";

struct UnsignedRow {
    const char* name;
    bool low;
    Rfs rfs;
    std::string key;
    std::string console;
    int result;
};

class UnsignedImages : public testing::TestWithParam<UnsignedRow> {};

TEST_P(UnsignedImages, NeedBothRelaxationsAndAYes) {
    const auto& row = GetParam();
    for (const auto& image :
         {std::vector<std::uint8_t>(kPayload), sectest::v3_sub_image(kPayload, {})}) {
        PolicyBoard board(row.rfs, row.low);
        const auto result = board.verify(image, strokes(row.key));
        EXPECT_EQ(result.console, row.console);
        EXPECT_EQ(result.exit_code, row.result);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnsignedImages,
    testing::Values(
        UnsignedRow{"secured", false, Rfs::production, "", kUnsignedRejected, 0},
        UnsignedRow{"low_only", true, Rfs::production, "", kUnsignedRejected, 0},
        UnsignedRow{"developer_only", false, Rfs::unsigned_header, "", kUnsignedRejected, 0},
        UnsignedRow{"both_y", true, Rfs::development, "y", kUnsignedWarning + "y\r\n", 1},
        UnsignedRow{"both_Y", true, Rfs::unsigned_header, "Y", kUnsignedWarning + "Y\r\n", 1},
        UnsignedRow{"both_n", true, Rfs::unsigned_header, "n", kUnsignedWarning + "n\r\n", 0},
        UnsignedRow{"both_enter", true, Rfs::unsigned_header, "\r", kUnsignedWarning + "\r\n\r\n",
                    0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Policy, TheLastOfTwoSignatureRecordsCounts) {
    PolicyBoard board(Rfs::production, false);
    const auto good = sectest::sign("production", kPayload);
    auto bad = good;
    bad[10] ^= 1;
    EXPECT_EQ(board.verify(sectest::v3_sub_image(kPayload, {good, bad})).exit_code, 0);
    EXPECT_EQ(board.verify(sectest::v3_sub_image(kPayload, {bad, good})).exit_code, 1);
}

TEST(Policy, HeaderBytesAreOutsideTheHashedRange) {
    PolicyBoard board(Rfs::production, false);
    auto image = signed_sub_image("production", kPayload);
    image[0] ^= 0xFF;   // CRC word
    image[13] ^= 0xFF;  // version
    EXPECT_EQ(board.verify(image).exit_code, 1);
}

// A production-signed image never needs the root file system: a missing partition is no matter.
TEST(Policy, ProductionImagesAreAcceptedWithoutReadingTheRootFileSystem) {
    sim::BoardConfig config;
    config.faults.missing = {"rfs"};
    Board board(config);
    const auto image = signed_sub_image("production", kPayload);
    const auto result = board.run([&image] {
        i2c_open_buses();
        return verify_image_signature(image);
    });
    EXPECT_EQ(result.console, kVerified);
    EXPECT_EQ(result.exit_code, 1);
}

struct Malformed {
    const char* name;
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
};

class MalformedHeaders : public testing::TestWithParam<Malformed> {};

// Lengths that do not fit the sub-image are refused as damaged, never offered as unsigned,
// even when low security mode and developer images would allow an unsigned image.
TEST_P(MalformedHeaders, AreRejectedOutright) {
    PolicyBoard board(Rfs::unsigned_header, true);
    auto image = signed_sub_image("development", kPayload);
    const auto& c = GetParam();
    std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + static_cast<long>(c.offset));
    const auto result = board.verify(image, {"y"});
    EXPECT_EQ(result.console, kRejected);
    EXPECT_EQ(result.exit_code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, MalformedHeaders,
    testing::Values(Malformed{"record_length_below_4", 26, {0x00, 0x02}},
                    Malformed{"record_length_zero", 26, {0x00, 0x00}},
                    Malformed{"record_past_header", 26, {0x01, 0x07}},
                    Malformed{"header_length_past_end", 22, {0xFF, 0xFF}},
                    Malformed{"header_length_below_24", 22, {0x00, 0x10}},
                    Malformed{"length_past_buffer", 4, {0x00, 0x10, 0x00, 0x00}},
                    Malformed{"signature_length_past_record", 28, {0x02, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
