#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "hw/i2c.hpp"
#include "security/builtin_keys.hpp"
#include "security/key_store.hpp"
#include "security/key_wipe.hpp"
#include "security_board.hpp"
#include "test_files.hpp"

namespace {

using boardtest::Board;
using boardtest::Bytes;
using boardtest::read_bytes;
using boardtest::write_bytes;
namespace fs = std::filesystem;

// AES-128-CBC under serial + four zero bytes, zero vector, no padding: the key file format.
Bytes cbc(std::string serial, const Bytes& in, bool encrypt) {
    serial.resize(16, '\0');
    return sectest::openssl("enc -aes-128-cbc -nopad -iv 00000000000000000000000000000000 -K " +
                                toHex(bytesOf(serial)) + (encrypt ? " -e" : " -d"),
                            in);
}

Bytes builtin_plaintext(const char* key) {
    Bytes text(key, key + BUILTIN_KEY_SIZE);
    text.resize(464, 0);
    return text;
}

struct KeyBoard : Board {
    explicit KeyBoard(const std::string& serial = "SN1234567890", const std::string& missing = "")
        : Board(sectest::board_config(serial, missing)) {}
    fs::path production() const { return root() / "user/production_key.pub.pem"; }
    fs::path development() const { return root() / "user/development_key.pub.pem"; }
    // Loads a key; exit status: result * 100 + 1 for the whole built-in key, 2 for none.
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
    KeyBoard board("");
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

TEST(KeyStore, AFailedSerialReadFallsBackToTheFixedText) {
    KeyBoard board("SN1234567890", "eeprom");
    EXPECT_EQ(board.load().exit_code, kLoadedBuiltin);
    EXPECT_EQ(cbc("quietlantern", read_bytes(board.production()), false),
              builtin_plaintext(builtin_production_key));
}

struct KeyCase {
    const char* path;
    const char* builtin;
    std::string message;
};

// Files that decrypt to something other than the whole built-in key: encrypted under `serial`
// (none: an empty file), of an empty text or of the key, cut to `size` bytes (0: whole).
struct ContentCase {
    const char* what;
    const char* serial;
    bool empty_text;
    std::size_t size;
};

class ForeignKeyFile : public testing::TestWithParam<std::tuple<KeyCase, ContentCase>> {};

TEST_P(ForeignKeyFile, IsReplacedWithTheBuiltInKey) {
    KeyBoard board;
    const auto& [key, content] = GetParam();
    const fs::path path = board.root() / (key.path + 1);
    Bytes bytes;
    if (content.serial != nullptr) {
        bytes = cbc(content.serial,
                    content.empty_text ? Bytes(464, 0) : builtin_plaintext(key.builtin), true);
        bytes.resize(content.size != 0 ? content.size : bytes.size());
    }
    write_bytes(path, bytes);
    const auto result = board.load(key.path);
    EXPECT_EQ(result.exit_code, kLoadedBuiltin) << content.what;
    EXPECT_EQ(result.console, key.message) << content.what;
    EXPECT_EQ(cbc("SN1234567890", read_bytes(path), false), builtin_plaintext(key.builtin));
    // Loaded again, the file now matches and stays as it is.
    EXPECT_EQ(board.load(key.path).console, "");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ForeignKeyFile,
    testing::Combine(testing::Values(KeyCase{PRODUCTION_KEY_PATH, builtin_production_key,
                                             "Updating system key....\r\n"},
                                     KeyCase{DEVELOPMENT_KEY_PATH, builtin_development_key,
                                             "Updating system development key....\r\n"}),
                     testing::Values(ContentCase{"another unit's file", "OTHER0000000", false, 0},
                                     ContentCase{"empty file", nullptr, false, 0},
                                     ContentCase{"cut after 28 blocks", "SN1234567890", false,
                                                 28 * 16},
                                     ContentCase{"empty text", "SN1234567890", true, 0})));

struct FaultCase {
    const char* name;
    std::size_t size;  // of a production key file of 'A's placed beforehand; 0: no /user at all
    int loaded;
    std::string console;
    bool kept;  // the files placed stay
};

class KeyFileFaults : public testing::TestWithParam<FaultCase> {};

// A file of no whole blocks deletes both files and loads empty; an oversized one fails the load
// and stays, so every later load fails too.
TEST_P(KeyFileFaults, FailOrLoadEmpty) {
    const FaultCase& c = GetParam();
    KeyBoard board;
    if (c.size == 0) {
        fs::remove_all(board.root() / "user");
    } else {
        write_bytes(board.production(), Bytes(c.size, 0x41));
        write_bytes(board.development(), Bytes(464, 0x41));
    }
    const auto result = board.load();
    EXPECT_EQ(result.exit_code, c.loaded);
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(fs::exists(board.production()), c.kept);
    EXPECT_EQ(fs::exists(board.development()), c.kept);
    if (c.kept) {
        EXPECT_EQ(fs::file_size(board.production()), c.size);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, KeyFileFaults,
    testing::Values(FaultCase{"no_whole_blocks", 470, kLoadedEmpty,
                              "Input data is not AES size correct\r\n", false},
                    FaultCase{"oversized", 512, kFailed,
                              "ERROR loading key as length too long 512 > 500\r\n", true},
                    FaultCase{"cannot_be_created", 0, kFailed,
                              "ERROR creating file /user/production_key.pub.pem\r\n"
                              "ERROR - unable to find system key\r\n",
                              false}),
    [](const auto& info) { return std::string(info.param.name); });

class WipeSystemKeys : public testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(WipeSystemKeys, DeletesOnlyOnYes) {
    KeyBoard board;
    write_bytes(board.production(), Bytes(464, 1));
    write_bytes(board.development(), Bytes(464, 2));
    const auto& [key, deleted] = GetParam();
    const auto result = board.run([] { return wipe_system_keys(); }, {key});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console, "Confirm: wiping system keys y/N: \r\n" +
                                  std::string(deleted ? "System keys have been deleted. Reset the "
                                                        "switch to complete the operation\r\n"
                                                      : ""));
    EXPECT_EQ(fs::exists(board.production()), !deleted);
    EXPECT_EQ(fs::exists(board.development()), !deleted);
}

INSTANTIATE_TEST_SUITE_P(Keys, WipeSystemKeys,
                         testing::Values(std::pair("y", true), std::pair("Y", true),
                                         std::pair("n", false)),
                         [](const auto& info) { return info.param.first; });

}  // namespace
