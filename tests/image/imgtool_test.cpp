// imgtool as its users run it: a separate program, its output and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <tuple>

#include "hex.hpp"
#include "image/byte_order.hpp"
#include "imgtool_run.hpp"

namespace {

namespace fs = std::filesystem;

using outcome = imgtooltest::Outcome;
class Imgtool : public imgtooltest::Scratch {};

TEST_F(Imgtool, BuildsWhatInfoListsAndExtractGivesBack) {
    write("app.tgz", bytesOf("application tarball"));
    write("diag.tgz", bytesOf("diags"));
    write("kern", std::vector<std::uint8_t>(300, 0x5A));
    ASSERT_EQ(run("build b.img --add kxos:1.2.3.4:diag.tgz:alt=diagnostics"
                  " --add application:1.0.0.255:app.tgz:hdr=2 --add kernel:9.8.7.6:kern:hdr=1"
                  " --add 0x07706774:0.0.0.1:diag.tgz:hdr=3")
                  .status,
              0);

    const auto info = run("info b.img");
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.output,
              "#   offset     type         hdr version         header  payload    crc  sig "
              "records\n"
              "0   0x00000000 kxos         3   1.2.3.4         32      5          good no  "
              "alt=diagnostics\n"
              "    sha256 0b013a535e85f8d2eee92593a4b49689d230a467a630bc0e8a2151a0f18bdffd\n"
              "1   0x00000025 application  2   1.0.0.255       20      19         good no  -\n"
              "    sha256 9f161e96dc97b6c9c7cfe29ef5c997ac3199662d13d22ee3f65e36450303017e\n"
              "2   0x0000004c kernel       1   9.8.7.6         16      300        good no  -\n"
              "    sha256 dd128ff0ec9391a9bbfbe5df89898c568e39e0cce1104a4add8be7fb53ea9a76\n"
              "3   0x00000188 0x07706774   3   0.0.0.1         24      5          good no  -\n"
              "    sha256 0b013a535e85f8d2eee92593a4b49689d230a467a630bc0e8a2151a0f18bdffd\n");

    const std::pair<const char*, std::vector<std::uint8_t>> payloads[] = {
        {"0", bytesOf("diags")},
        {"1", bytesOf("application tarball")},
        {"2", std::vector<std::uint8_t>(300, 0x5A)},
    };
    for (const auto& [index, bytes] : payloads) {
        ASSERT_EQ(run(std::string("extract b.img ") + index + " out").status, 0) << index;
        EXPECT_EQ(read("out"), bytes) << index;
    }
    EXPECT_EQ(run("extract b.img 4 out", true).output, "imgtool: b.img has no sub-image 4\n");

    ASSERT_EQ(run("extract b.img --type application app").status, 0);
    EXPECT_EQ(read("app"), bytesOf("application tarball"));
    EXPECT_EQ(run("extract b.img --type rfs x", true).output,
              "imgtool: b.img has 0 sub-images of type rfs\n");
    ASSERT_EQ(run("extract b.img --all parts").status, 0);
    EXPECT_EQ(read("parts/2-kernel"), std::vector<std::uint8_t>(300, 0x5A));
    EXPECT_EQ(read("parts/3-0x07706774"), bytesOf("diags"));
    EXPECT_EQ(std::distance(fs::directory_iterator(path("parts")), fs::directory_iterator()), 4);
}

TEST_F(Imgtool, ListsEveryHeaderVersionWithItsCrcStatusAsJson) {
    write("p", bytesOf("0123456789"));
    ASSERT_EQ(run("build hand.img --add 0x03706774:1.2.3.4:p:hdr=1 --add "
                  "application:10.11.12.13:p:hdr=2 --add kxos:255.255.255.255:p:alt=application "
                  "--sign " BM_KEYS_DIR "/sample_development_key.pem")
                  .status,
              0);
    auto bundle = read("hand.img");
    bundle[55] ^= 1;                          // the version-2 sub-image's last payload byte
    bundle.resize(bundle.size() + 20, 0xFF);  // a tail too short for a header
    write("hand.img", bundle);

    const auto info = run("info hand.img --json");
    EXPECT_EQ(info.status, 1);  // one sub-image is damaged
    auto doc = nlohmann::json::parse(info.output);
    auto& subs = doc["subimages"];
    ASSERT_EQ(subs.size(), 3U);
    const char* fields[] = {"type", "type_value", "version",  "header_version", "offset",
                            "crc",  "crc_value",  "crc_good", "signature"};
    const nlohmann::json rows[] = {
        {"0x03706774", 0x03706774, "1.2.3.4", 1, 0, "0x9373d6b8", 0x9373d6b8, true, false},
        {"0x01706774", 0x01706774, "10.11.12.13", 2, 26, "0x35d01c3a", 0x35d01c3a, false, false},
        {"0x08706774", 0x08706774, "255.255.255.255", 3, 56, "0x090914ee", 0x090914ee, true, true},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t f = 0; f < std::size(fields); ++f) {
            EXPECT_EQ(subs[i][fields[f]], rows[i][f]) << i << " " << fields[f];
        }
    }
    EXPECT_EQ(subs[2]["records"],
              nlohmann::json::parse(R"([{"type":6,"length":8},{"type":3,"length":262}])"));
    EXPECT_EQ(doc["trailing_bytes"], 20);

    // A file name is bytes, JSON text is Unicode.
    fs::copy_file(path("hand.img"), path("caf\xe9.img"));
    const auto named = nlohmann::json::parse(run("info 'caf\xe9.img' --json").output);
    EXPECT_EQ(named["file"], "caf\xef\xbf\xbd.img");
    EXPECT_EQ(named["file_hex"], "636166e92e696d67");
    EXPECT_FALSE(doc.contains("file_hex"));
}

struct Request {
    std::string args;
    int status;
    std::string output;  // standard output and error; a usage error adds the pointer to --help
};

const std::string head =
    "#   offset     type         hdr version         header  payload    crc  sig records\n";
// b.img's only sub-image.
const std::string application =
    "0   0x00000000 application  3   1.0.0.0         24      7          good no  -\n"
    "    sha256 239f59ed55e737c77147cf55ad0c1b030b6d7ee748a7426952f9b852d5a935e5\n";

// Usage errors (status 2) name the option and the value before any file is touched; an output
// is never written over an input; a file that is no bundle is said why.
const Request requests[] = {
    {"build new.img --add rootfs:1.0.0.0:p", 2,
     "imgtool build: --add: 'rootfs:1.0.0.0:p': unknown image type 'rootfs'"},
    {"build new.img --add rfs:1.0.0:p", 2,
     "imgtool build: --add: 'rfs:1.0.0:p': version '1.0.0' is not a.b.c.d with each part 0-255"},
    {"build new.img --add rfs:1.0.0.256:p", 2,
     "imgtool build: --add: 'rfs:1.0.0.256:p': version '1.0.0.256' is not a.b.c.d with each part "
     "0-255"},
    {"build new.img --add rfs:1.0.0.0:p:hdr=4", 2,
     "imgtool build: --add: 'rfs:1.0.0.0:p:hdr=4': hdr= takes 1, 2 or 3, not '4'"},
    {"build new.img --add rfs:1.0.0.0:p:alt=kxos:hdr=1", 2,
     "imgtool build: --add: 'rfs:1.0.0.0:p:alt=kxos:hdr=1': only a version-3 header carries "
     "records (alt=)"},
    {"build new.img --add rfs:p", 2, "imgtool build: --add: 'rfs:p': not TYPE:VERSION:PAYLOAD"},
    {"build new.img --add", 2,
     "imgtool build: --add: 1 required TYPE:VERSION:PAYLOAD[:hdr=1|2|3][:alt=TYPE] missing"},
    {"build new.img", 2, "imgtool build: at least one --add or a --manifest is required"},
    {"build new.img --add rfs:1.0.0.0:p --zip", 2,
     "imgtool build: The following argument was not expected: --zip"},
    {"build new.img --add rfs:1.0.0.0:p --sign k --passin secret", 2,
     "imgtool build: --passin: 'secret' is not pass:TEXT, env:VAR, file:PATH or stdin"},
    {"info", 2, "imgtool info: BUNDLE is required"},
    {"extract b.img x out", 2,
     "imgtool extract: INDEX: 'x' is not a number from 0 to 4294967295 (decimal or 0x-hex)"},
    {"extract b.img 4294967296 out", 2,
     "imgtool extract: INDEX: '4294967296' is not a number from 0 to 4294967295 (decimal or "
     "0x-hex)"},
    {"extract b.img out", 2,
     "imgtool extract: INDEX and OUT are required, or --type TYPE OUT, or --all DIR"},
    {"extract b.img --type kernel 0 out", 2,
     "imgtool extract: --type takes the place of INDEX: give only OUT, not also '0'"},
    {"extract b.img --type rootfs out", 2, "imgtool extract: --type: unknown image type 'rootfs'"},
    {"sign b.img --key k --index 0x100000000", 2,
     "imgtool sign: --index: '0x100000000' is not a number from 0 to 4294967295 (decimal or "
     "0x-hex)"},
    {"sign b.img --index 0", 2, "imgtool sign: --key is required"},
    {"keyfile wrap --serial S k k.enc", 2,
     "imgtool keyfile: ACTION: wrap not in {encrypt,decrypt}"},
    {"keyfile encrypt --serial SN12345678901 k k.enc", 2,
     "imgtool keyfile: --serial: 'SN12345678901' has more than 12 characters"},
    {"frobnicate", 2, "imgtool: unknown command 'frobnicate'"},
    {"", 2, "imgtool: A subcommand is required"},
    {"extract b.img 0 link.img", 1, "imgtool: link.img is the input b.img: give another output\n"},
    {"extract b.img 0 ./sym.img", 1,
     "imgtool: ./sym.img is the input b.img: give another output\n"},
    {"extract b.img --all .", 1,
     "imgtool: ./0-application is the input b.img: give another output\n"},
    {"build b.img --add rfs:1.0.0.0:b.img", 1,
     "imgtool: b.img is the input b.img: give another output\n"},
    {"build new.img --add rfs:1.0.0.0:three:hdr=1", 1,
     "imgtool: three: a version-1 sub-image of 3 payload bytes is 19 bytes long, and a reader "
     "takes 24 header bytes first: give a payload of at least 8 bytes or hdr=3\n"},
    {"build new.img --add rfs:1.0.0.0:three:hdr=2", 1,
     "imgtool: three: a version-2 sub-image of 3 payload bytes is 23 bytes long, and a reader "
     "takes 24 header bytes first: give a payload of at least 4 bytes or hdr=3\n"},
    {"build new.img --add rfs:1.0.0.0:hdr3:hdr=1", 1,
     "imgtool: hdr3: its payload starts with \"HDR3\", which a reader takes for a version-3 "
     "header: use hdr=2 or hdr=3\n"},
    {"build new.img --add rfs:1.0.0.0:missing", 1,
     "imgtool: cannot open missing: No such file or directory\n"},
    {"info -- --json", 1,
     "imgtool: cannot open --json: No such file or directory\n"},  // `--` ends the options
    {"info empty", 1, "imgtool: empty is empty: no sub-image\n"},
    {"info short", 1, "imgtool: short is no bundle: 16 bytes, too few for an image header\n"},
    {"verify noise --key p", 1,
     "imgtool: noise is no bundle: its first header is invalid (runs past the end of the file)\n"},
    {"info erased", 1, "imgtool: erased is no bundle: it starts with erased flash\n"},
    // A version-1 header whose total is 0 in 32 bits ends the listing.
    {"info bad.img", 1,
     head + application + "1   0x0000001f invalid header: its size passes 32 bits\n"},
    {"extract bad.img 1 out", 1, "imgtool: sub-image 1 has an invalid header\n"},
    // A flash dump of b.img ends at its padding.
    {"info erased.dump", 0, head + application + "end of bundle at 0x0000001f (erased flash)\n"},
    {"info zeroed.dump", 0, head + application + "end of bundle at 0x0000001f (zero padding)\n"},
    {"info dirty.dump", 0,
     head + application +
         "end of bundle at 0x0000001f (erased flash)\ndata after the padding at 0x00010010\n"},
};

TEST_F(Imgtool, AnswersEachRequest) {
    write("p", bytesOf("payload"));
    write("three", bytesOf("abc"));
    write("hdr3", bytesOf("HDR3 and then some"));
    ASSERT_EQ(run("build b.img --add application:1.0.0.0:p").status, 0);
    const auto bundle = read("b.img");
    fs::create_hard_link(path("b.img"), path("link.img"));
    fs::create_hard_link(path("b.img"), path("0-application"));
    fs::create_symlink("b.img", path("sym.img"));
    write("empty", {});
    write("short", std::vector<std::uint8_t>(16, 0x42));
    write("noise", std::vector<std::uint8_t>(4096, 0x42));
    write("erased", std::vector<std::uint8_t>(4096, 0xFF));
    auto bad = bundle;
    bad.resize(bundle.size() + 64);
    image::store_be32(&bad[bundle.size() + 4], 0xFFFFFFF0);
    write("bad.img", bad);
    // The byte at 0x10010 is the only one that differs from the padding of a dirty dump.
    for (const auto& [name, fill, at_10010] : {std::tuple{"erased.dump", 0xFF, 0xFF},
                                               {"zeroed.dump", 0, 0},
                                               {"dirty.dump", 0xFF, 0x5A}}) {
        auto dump = bundle;
        dump.resize(0x10000 + bundle.size(), static_cast<std::uint8_t>(fill));
        dump[0x10010] = static_cast<std::uint8_t>(at_10010);
        write(name, dump);
    }
    ::mkfifo(path("fifo").c_str(), 0600);

    for (const auto& [args, status, output] : requests) {
        const auto r = run(args, true);
        EXPECT_EQ(r.status, status) << args;
        std::string expected = output;
        if (status == 2) {
            expected += "\nRun '" + expected.substr(0, expected.find(':')) +
                        " --help' for more information.\n";
        }
        EXPECT_EQ(r.output, expected) << args;
        EXPECT_EQ(read("b.img"), bundle) << args;
    }
    EXPECT_FALSE(fs::exists(path("new.img")));
    // The pipe's writer runs beside imgtool, whose status `wait` returns.
    const auto fifo = run("info fifo 2>&1 & timeout 5 sh -c 'cat " + path("b.img") + " > " +
                              path("fifo") + "'; wait $!",
                          true);
    EXPECT_EQ(fifo.status, 1);
    EXPECT_EQ(fifo.output,
              "imgtool: fifo is not a file: a bundle is read where it stands, so save "
              "it to a file first\n");

    // A failed run leaves the old output and no temporary file.
    write("out", bytesOf("old"));
    EXPECT_EQ(run("build out --add rfs:1.0.0.0:p --add rfs:1.0.0.0:missing").status, 1);
    EXPECT_EQ(read("out"), bytesOf("old"));
    for (const auto& entry : fs::directory_iterator(path("."))) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
    ASSERT_EQ(run("build new.img --add rfs:1.0.0.0:three").status, 0);
    EXPECT_EQ(run("info new.img").status, 0);
    const auto help = run("extract --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Exit status: 0 written, 1 failed"), std::string::npos);
}

TEST_F(Imgtool, BuildsAReleaseFromAManifest) {
    write("app.tgz", bytesOf("application tarball"));
    write("kern", std::vector<std::uint8_t>(300, 0x5A));
    fs::create_directory(path("rel"));
    const auto manifest = [&](const std::string& body) {
        write("rel/m.toml", bytesOf(body));
        return run("build b.img --manifest rel/m.toml", true);
    };
    const std::string app =
        "[[subimage]]\ntype = \"application\"\nversion = \"1.0.0.1\"\n"
        "payload = \"../app.tgz\"\n";
    ASSERT_EQ(manifest(app + "alternative_type = \"diagnostics\"\n[[subimage]]\n"
                             "type = \"kernel\"\nversion = \"9.8.7.6\"\npayload = \"../kern\"\n"
                             "header = 1\n")
                  .status,
              0);
    // Payload paths are relative to the manifest.
    ASSERT_EQ(run("build a.img --add application:1.0.0.1:app.tgz:alt=diagnostics "
                  "--add kernel:9.8.7.6:kern:hdr=1")
                  .status,
              0);
    EXPECT_EQ(read("b.img"), read("a.img"));
    const std::pair<std::string, std::string> refused[] = {
        {app + "colour = \"red\"\n", "imgtool: rel/m.toml: subimage 0: unknown key 'colour'\n"},
        {app + "header = 4\n", "imgtool: rel/m.toml: subimage 0: header takes 1, 2 or 3\n"},
        {"[[subimage]]\ntype = \"rootfs\"\nversion = \"1.0.0.0\"\npayload = \"x\"\n",
         "imgtool: rel/m.toml: subimage 0: unknown image type 'rootfs'\n"},
        {"[sign]\nkey = \"k.pem\"\n", "imgtool: rel/m.toml: wants at least one [[subimage]]\n"},
        {app + "[sign]\npassin = \"x\"\nkey = \"k\"\n",
         "imgtool: rel/m.toml: sign: passin takes pass:TEXT, env:VAR, file:PATH or stdin\n"},
        {"[[subimage]\n", "imgtool: rel/m.toml: line 1, column "},
    };
    for (const auto& [body, message] : refused) {
        const auto r = manifest(body);
        EXPECT_EQ(r.status, 1) << body;
        EXPECT_TRUE(r.output.starts_with(message)) << body << r.output;
    }
}

}  // namespace
