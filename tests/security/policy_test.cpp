#include <gtest/gtest.h>

#include <string>

#include "boot/startup.hpp"
#include "hw/i2c.hpp"
#include "security/signature_policy.hpp"
#include "security_board.hpp"
#include "test_files.hpp"

namespace {

using boardtest::Board;
using sectest::Rfs;
using sectest::signed_sub_image;
using Bytes = std::vector<std::uint8_t>;
using Keys = std::vector<std::string>;

const Bytes kPayload(3000, 0x5A);
const std::string kVerified = " Image signature verified. ";
const std::string kRejected = " Image rejected. ";
const std::string kNoteLow =
    "\r\nNOTE - low security mode is operational. Checking developer keys....\r\n";
const std::string kNoteDev =
    "\r\nNOTE - developer images operational. Checking developer keys....\r\n";
const std::string kAsk =
    kNoteDev +
    "\r\nWARNING: All checks failed but you are running developer images and are in low security "
    "mode\r\nInstall image anyway? y/N? ";
const std::string kUnsignedRejected = " Image rejected as it has no signature\r\n";
const std::string kUnsignedAsk =
    "\r\nWARNING: Image is unsigned but you are running developer images and are in low security "
    "mode\r\nInstall image anyway? y/N? ";

// A board whose root file system and marker say what is allowed, the named device failing.
struct PolicyBoard : Board {
    PolicyBoard(Rfs rfs, bool low, const std::string& missing = "")
        : Board(sectest::board_config(std::nullopt, missing)) {
        sectest::set_mode(*this, rfs, low);
    }
    boardtest::Result verify(const Bytes& sub_image, const std::string& key = "") {
        return run(
            [&sub_image] {
                install_interrupt_handler();
                i2c_open_buses();
                return verify_image_signature(sub_image);
            },
            key.empty() ? Keys{} : Keys{key});
    }
};

struct Row {
    const char* name;
    const char* signer;  // production, development, other (a key the switch does not know), none
    bool low;
    Rfs rfs;
    std::string key;  // the answer typed, if any
    std::string console;
    int result;
};

// "none": a sub-image without a version-3 header, and one whose header has no records.
std::vector<Bytes> images(const std::string& signer) {
    if (signer == "none") {
        return {kPayload, sectest::v3_sub_image(kPayload, {})};
    }
    auto image = signed_sub_image(signer == "other" ? "development" : signer, kPayload);
    if (signer == "other") {
        image.back() ^= 1;  // the payload no longer matches any signature
    }
    return {image};
}

class DecisionTable : public testing::TestWithParam<Row> {};

TEST_P(DecisionTable, PrintsAndDecidesAsTheRowSays) {
    const Row& row = GetParam();
    for (const auto& image : images(row.signer)) {
        PolicyBoard board(row.rfs, row.low);
        const auto result = board.verify(image, row.key);
        EXPECT_EQ(result.console, row.console);
        EXPECT_EQ(result.exit_code, row.result);
    }
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
        Row{"other_both_y", "other", true, Rfs::development, "y", kAsk + "y\r\n" + kVerified, 1},
        Row{"other_both_Y", "other", true, Rfs::unsigned_header, "Y", kAsk + "Y\r\n" + kVerified,
            1},
        Row{"other_both_n", "other", true, Rfs::unsigned_header, "n", kAsk + "n\r\n" + kRejected,
            0},
        Row{"other_both_enter", "other", true, Rfs::unsigned_header, "\r",
            kAsk + "\r\n\r\n" + kRejected, 0},
        // Unsigned images need both relaxations and a yes (the same question as above).
        Row{"unsigned_secured", "none", false, Rfs::production, "", kUnsignedRejected, 0},
        Row{"unsigned_low", "none", true, Rfs::production, "", kUnsignedRejected, 0},
        Row{"unsigned_devrfs", "none", false, Rfs::unsigned_header, "", kUnsignedRejected, 0},
        Row{"unsigned_both_y", "none", true, Rfs::development, "y", kUnsignedAsk + "y\r\n", 1},
        Row{"unsigned_both_n", "none", true, Rfs::unsigned_header, "n", kUnsignedAsk + "n\r\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Policy, TheLastOfTwoSignatureRecordsCounts) {
    PolicyBoard board(Rfs::production, false);
    const auto good = sectest::sign("production", kPayload);
    auto bad = good;
    bad[10] ^= 1;
    EXPECT_EQ(board.verify(sectest::v3_sub_image(kPayload, {good, bad})).exit_code, 0);
    EXPECT_EQ(board.verify(sectest::v3_sub_image(kPayload, {bad, good})).exit_code, 1);
}

// A production-signed image never needs the root file system: a missing partition is no matter.
TEST(Policy, ProductionImagesAreAcceptedWithoutReadingTheRootFileSystem) {
    PolicyBoard board(Rfs::unsigned_header, false, "rfs");
    const auto result = board.verify(signed_sub_image("production", kPayload));
    EXPECT_EQ(result.console, kVerified);
    EXPECT_EQ(result.exit_code, 1);
}

struct Edit {
    const char* name;
    std::size_t offset;
    Bytes bytes;
    std::string console;
    int result;
};

class HeaderEdits : public testing::TestWithParam<Edit> {};

// The header's own words are outside the hashed range. Lengths that do not fit the sub-image
// are refused as damaged, never offered as unsigned, even when low security mode and developer
// images would allow an unsigned image.
TEST_P(HeaderEdits, AreIgnoredOrRejectedOutright) {
    PolicyBoard board(Rfs::unsigned_header, true);
    auto image = signed_sub_image("development", kPayload);
    const auto& c = GetParam();
    std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + static_cast<long>(c.offset));
    const auto result = board.verify(image, "y");
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(result.exit_code, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderEdits,
    testing::Values(Edit{"crc_word", 0, {0xFF, 0x00}, kNoteDev + kVerified, 1},
                    Edit{"version", 13, {0xFF}, kNoteDev + kVerified, 1},
                    Edit{"record_length_below_4", 26, {0x00, 0x02}, kRejected, 0},
                    Edit{"record_length_zero", 26, {0x00, 0x00}, kRejected, 0},
                    Edit{"record_past_header", 26, {0x01, 0x07}, kRejected, 0},
                    Edit{"header_length_past_end", 22, {0xFF, 0xFF}, kRejected, 0},
                    Edit{"header_length_below_24", 22, {0x00, 0x10}, kRejected, 0},
                    Edit{"length_past_buffer", 4, {0x00, 0x10, 0x00, 0x00}, kRejected, 0},
                    Edit{"signature_length_past_record", 28, {0x02, 0x00}, kRejected, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
