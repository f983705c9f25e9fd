#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "board_session.hpp"
#include "hw/i2c.hpp"
#include "security/builtin_keys.hpp"
#include "security/key_store.hpp"
#include "security/key_wipe.hpp"
#include "signer.hpp"
#include "test_files.hpp"

namespace {

using boardtest::Board;
namespace fs = std::filesystem;

// AES-128-CBC under serial + four zero bytes, zero vector, no padding: the key file format.
std::vector<std::uint8_t> cbc(const std::string& serial, const std::vector<std::uint8_t>& in,
                              bool encrypt) {
    std::string key;
    for (std::size_t i = 0; i < 16; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", i < serial.size() ? serial[i] & 0xFF : 0);
        key += digits;
    }
    return sectest::openssl(
        std::string("enc -aes-128-cbc -nopad -iv 00000000000000000000000000000000 -K ") + key +
            (encrypt ? " -e" : " -d"),
        in);
}

std::vector<std::uint8_t> builtin_plaintext(const char* key) {
    std::vector<std::uint8_t> text(key, key + BUILTIN_KEY_SIZE);
    text.resize(464, 0);
    return text;
}

std::vector<std::uint8_t> file(const fs::path& path) {
    const auto text = sectest::read_text(path.string());
    return {text.begin(), text.end()};
}

void put(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

struct KeyBoard : Board {
    explicit KeyBoard(std::optional<std::string> serial, const std::string& missing = "")
        : Board(config(std::move(serial), missing)) {}
    static sim::BoardConfig config(std::optional<std::string> serial, const std::string& missing) {
        sim::BoardConfig c;
        c.serial = std::move(serial);
        if (!missing.empty()) {
            c.faults.missing = {missing};
        }
        return c;
    }
    fs::path production() const { return root() / "user/production_key.pub.pem"; }
    fs::path development() const { return root() / "user/development_key.pub.pem"; }
    // Loads the production key; exit status: result * 1000 + record length.
    boardtest::Result load(const char* path = PRODUCTION_KEY_PATH) {
        return run([path] {
            i2c_open_buses();
            system_key record{};
            const int loaded = load_system_key(&record, path);
            return loaded * 100 + (record.length == BUILTIN_KEY_LENGTH ? 1 : 0) +
                   (record.length == 0 ? 2 : 0);
        });
    }
};

constexpr int kLoadedBuiltin = 101;
constexpr int kLoadedEmpty = 102;
constexpr int kFailed = 2;

TEST(KeyStore, UnsetSerialUsesTheBuiltInKeysAndTouchesNoFile) {
    KeyBoard board(std::string{});
    const auto result = board.run([] {
        i2c_open_buses();
        return check_system_keys();
    });
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console,
              "WARNING: Serial # not set on this unit. Built in keys must be used\r\n"
              "WARNING: Serial # not set on this unit. Built in keys must be used\r\n");
    EXPECT_TRUE(fs::is_empty(board.root() / "user"));
}

TEST(KeyStore, MissingFilesAreCreatedUnderTheUnitKey) {
    KeyBoard board(std::string("SN1234567890"));
    const auto result = board.run([] {
        i2c_open_buses();
        return check_system_keys();
    });
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console, "");
    EXPECT_EQ(cbc("SN1234567890", file(board.production()), false),
              builtin_plaintext(builtin_production_key));
    EXPECT_EQ(cbc("SN1234567890", file(board.development()), false),
              builtin_plaintext(builtin_development_key));
}

TEST(KeyStore, AFailedSerialReadFallsBackToTheFixedText) {
    KeyBoard board(std::string("SN1234567890"), "eeprom");
    EXPECT_EQ(board.load().exit_code, kLoadedBuiltin);
    EXPECT_EQ(cbc("quietlantern", file(board.production()), false),
              builtin_plaintext(builtin_production_key));
}

struct KeyCase {
    const char* path;
    const char* builtin;
    std::string message;
};

// Files that decrypt to something other than the whole built-in key.
struct ContentCase {
    const char* what;
    std::vector<std::uint8_t> (*bytes)(const char* builtin);
};

class ForeignKeyFile : public testing::TestWithParam<std::tuple<KeyCase, ContentCase>> {};

TEST_P(ForeignKeyFile, IsReplacedWithTheBuiltInKey) {
    KeyBoard board(std::string("SN1234567890"));
    const auto& [key, content] = GetParam();
    const fs::path path = board.root() / (key.path + 1);
    put(path, content.bytes(key.builtin));
    const auto result = board.load(key.path);
    EXPECT_EQ(result.exit_code, kLoadedBuiltin) << content.what;
    EXPECT_EQ(result.console, key.message) << content.what;
    EXPECT_EQ(cbc("SN1234567890", file(path), false), builtin_plaintext(key.builtin));
    // Loaded again, the file now matches and stays as it is.
    EXPECT_EQ(board.load(key.path).console, "");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ForeignKeyFile,
    testing::Combine(
        testing::Values(KeyCase{PRODUCTION_KEY_PATH, builtin_production_key,
                                "Updating system key....\r\n"},
                        KeyCase{DEVELOPMENT_KEY_PATH, builtin_development_key,
                                "Updating system development key....\r\n"}),
        testing::Values(
            ContentCase{"another unit's file",
                        [](const char* builtin) {
                            return cbc("OTHER0000000", builtin_plaintext(builtin), true);
                        }},
            ContentCase{"empty file", [](const char*) { return std::vector<std::uint8_t>{}; }},
            ContentCase{"cut after 28 blocks",
                        [](const char* builtin) {
                            auto cut = cbc("SN1234567890", builtin_plaintext(builtin), true);
                            cut.resize(28 * 16);
                            return cut;
                        }},
            ContentCase{"empty text", [](const char*) {
                            return cbc("SN1234567890", std::vector<std::uint8_t>(464, 0), true);
                        }})));

TEST(KeyStore, AFileOfNoWholeBlocksDeletesBothFilesAndLoadsEmpty) {
    KeyBoard board(std::string("SN1234567890"));
    put(board.production(), std::vector<std::uint8_t>(470, 0x41));
    put(board.development(), std::vector<std::uint8_t>(464, 0x41));
    const auto result = board.load();
    EXPECT_EQ(result.exit_code, kLoadedEmpty);
    EXPECT_EQ(result.console, "Input data is not AES size correct\r\n");
    EXPECT_FALSE(fs::exists(board.production()));
    EXPECT_FALSE(fs::exists(board.development()));
}

TEST(KeyStore, AnOversizedFileFailsEveryLoadAndStays) {
    KeyBoard board(std::string("SN1234567890"));
    put(board.production(), std::vector<std::uint8_t>(512, 0x41));
    for (int load = 0; load < 2; ++load) {
        const auto result = board.load();
        EXPECT_EQ(result.exit_code, kFailed);
        EXPECT_EQ(result.console, "ERROR loading key as length too long 512 > 500\r\n");
    }
    EXPECT_EQ(fs::file_size(board.production()), 512U);
}

TEST(KeyStore, AFileThatCannotBeCreatedFailsTheLoad) {
    KeyBoard board(std::string("SN1234567890"));
    fs::remove_all(board.root() / "user");
    const auto result = board.load();
    EXPECT_EQ(result.exit_code, kFailed);
    EXPECT_EQ(result.console,
              "ERROR creating file /user/production_key.pub.pem\r\n"
              "ERROR - unable to find system key\r\n");
}

}  // namespace

namespace {

struct WipeCase {
    const char* name;
    std::string key;
    std::string console;
    bool deleted;
};

class WipeSystemKeys : public testing::TestWithParam<WipeCase> {};

TEST_P(WipeSystemKeys, DeletesOnlyOnYes) {
    KeyBoard board(std::string("SN1234567890"));
    put(board.production(), std::vector<std::uint8_t>(464, 1));
    put(board.development(), std::vector<std::uint8_t>(464, 2));
    const auto& c = GetParam();
    const auto result = board.run([] { return wipe_system_keys(); }, {c.key});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console, "Confirm: wiping system keys y/N: \r\n" + c.console);
    EXPECT_EQ(fs::exists(board.production()), !c.deleted);
    EXPECT_EQ(fs::exists(board.development()), !c.deleted);
}

const std::string kDeleted =
    "System keys have been deleted. Reset the switch to complete the operation\r\n";

INSTANTIATE_TEST_SUITE_P(Keys, WipeSystemKeys,
                         testing::Values(WipeCase{"y", "y", kDeleted, true},
                                         WipeCase{"Y", "Y", kDeleted, true},
                                         WipeCase{"n", "n", "", false},
                                         WipeCase{"enter", "\r", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
