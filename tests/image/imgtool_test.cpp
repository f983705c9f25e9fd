// imgtool as its users run it: a separate program, its output and exit status.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "imgtool_run.hpp"

namespace {

namespace fs = std::filesystem;

using outcome = imgtooltest::Outcome;
class Imgtool : public imgtooltest::Scratch {};

std::vector<std::uint8_t> text(const std::string& s) {
    return {s.begin(), s.end()};
}

// A sub-image laid out byte by byte: the 24 probe bytes, `extra` header bytes, payload.
std::vector<std::uint8_t> by_hand(std::uint32_t length, std::uint32_t type, std::uint32_t version,
                                  std::uint32_t magic, std::uint16_t at18, std::uint16_t at22,
                                  std::vector<std::uint8_t> rest, bool good_crc) {
    std::vector<std::uint8_t> s(24);
    image::store_be32(&s[4], length);
    image::store_be32(&s[8], type);
    image::store_be32(&s[12], version);
    image::store_be32(&s[16], magic);
    image::store_be16(&s[18], magic ? image::load_be16(&s[18]) : at18);
    image::store_be16(&s[22], at22);
    s.insert(s.end(), rest.begin(), rest.end());
    const std::uint32_t crc = image::image_crc(std::span(s).subspan(4), 0xFFFFFFFF);
    image::store_be32(&s[0], good_crc ? crc : ~crc);
    return s;
}

TEST_F(Imgtool, BuildsWhatInfoListsAndExtractGivesBack) {
    write("app.tgz", text("application tarball"));
    write("diag.tgz", text("diags"));
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
              "1   0x00000025 application  2   1.0.0.255       20      19         good no  -\n"
              "2   0x0000004c kernel       1   9.8.7.6         16      300        good no  -\n"
              "3   0x00000188 0x07706774   3   0.0.0.1         24      5          good no  -\n");

    const std::pair<const char*, std::vector<std::uint8_t>> payloads[] = {
        {"0", text("diags")},
        {"1", text("application tarball")},
        {"2", std::vector<std::uint8_t>(300, 0x5A)},
    };
    for (const auto& [index, bytes] : payloads) {
        ASSERT_EQ(run(std::string("extract b.img ") + index + " out").status, 0) << index;
        EXPECT_EQ(read("out"), bytes) << index;
    }
    EXPECT_EQ(run("extract b.img 4 out", true).output, "imgtool: b.img has no sub-image 4\n");
}

TEST_F(Imgtool, ListsAHandMadeBundleOfEveryHeaderVersionWithItsCrcStatus) {
    std::vector<std::uint8_t> bundle;
    const auto add = [&](const std::vector<std::uint8_t>& s) {
        bundle.insert(bundle.end(), s.begin(), s.end());
    };
    // Version 1: 16-byte header; the probe's last 8 bytes already belong to the payload.
    add(by_hand(10, 0x03706774, 0x01020304, 0, 0, 0, {1, 2}, true));
    // Version 2: flagged type, header length 0x20 at bytes 18-19, damaged.
    add(by_hand(4, 0x81706774, 0x0A0B0C0D, 0, 0x20, 0, std::vector<std::uint8_t>(12), false));
    // Version 3: a signature record of 2 bytes, then the alternative type record.
    add(by_hand(26, 0x08706774, 0xFFFFFFFF, 0x48445233, 0, 40,
                {0, 3, 0, 8, 0, 2, 0xAB, 0xCD, 0, 6, 0, 8, 0x01, 0x70, 0x67, 0x74, 'x', 'y'},
                true));
    bundle.resize(bundle.size() + 20, 0xFF);  // a tail too short for a header
    write("hand.img", bundle);

    const auto info = run("info hand.img --json");
    EXPECT_EQ(info.status, 1);  // one sub-image is damaged
    EXPECT_EQ(
        info.output,
        "{\"file\":\"hand.img\",\"subimages\":["
        "{\"index\":0,\"offset\":0,\"type\":57698164,\"type_name\":\"kernel\","
        "\"header_version\":1,\"version\":\"1.2.3.4\",\"header_length\":16,"
        "\"payload_length\":10,\"crc\":" +
            std::to_string(image::load_be32(&bundle[0])) +
            ",\"crc_good\":true,\"signature\":false,\"records\":[],\"records_complete\":true},"
            "{\"index\":1,\"offset\":26,\"type\":24143732,\"type_name\":\"application\","
            "\"header_version\":2,\"version\":\"10.11.12.13\",\"header_length\":32,"
            "\"payload_length\":4,\"crc\":" +
            std::to_string(image::load_be32(&bundle[26])) +
            ",\"crc_good\":false,\"signature\":false,\"records\":[],\"records_complete\":true},"
            "{\"index\":2,\"offset\":62,\"type\":141584244,\"type_name\":\"kxos\","
            "\"header_version\":3,\"version\":\"255.255.255.255\",\"header_length\":40,"
            "\"payload_length\":2,\"crc\":" +
            std::to_string(image::load_be32(&bundle[62])) +
            ",\"crc_good\":true,\"signature\":true,\"records\":[{\"type\":3,\"length\":8},"
            "{\"type\":6,\"length\":8}],\"records_complete\":true}],\"trailing_bytes\":20}\n");
}

TEST_F(Imgtool, AnImpossibleHeaderEndsTheListing) {
    write("p", text("payload"));
    ASSERT_EQ(run("build b.img --add application:1.0.0.0:p").status, 0);
    auto bundle = read("b.img");
    const std::size_t first = bundle.size();
    bundle.resize(first + 64);
    image::store_be32(&bundle[first + 4], 0xFFFFFFF0);  // version 1, total 0 in 32 bits
    write("b.img", bundle);

    const auto info = run("info b.img");
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.output.find("\n1   0x0000001f invalid header: its size passes 32 bits\n"),
              std::string::npos)
        << info.output;
    EXPECT_EQ(run("extract b.img 1 out", true).output,
              "imgtool: sub-image 1 has an invalid header\n");
}

TEST_F(Imgtool, RefusesMalformedRequests) {
    write("p", text("payload"));
    const std::pair<const char*, const char*> cases[] = {
        {"build b.img --add rootfs:1.0.0.0:p", "imgtool: unknown image type 'rootfs'\n"},
        {"build b.img --add rfs:1.0.0:p",
         "imgtool: version must be a.b.c.d with each part 0-255\n"},
        {"build b.img --add rfs:1.0.0.256:p",
         "imgtool: version must be a.b.c.d with each part 0-255\n"},
        {"build b.img --add rfs:1.0.0.0:p:hdr=4", "imgtool: hdr= takes 1, 2 or 3\n"},
        {"build b.img --add rfs:1.0.0.0:p:alt=kxos:hdr=1",
         "imgtool: only a version-3 header carries records (alt=)\n"},
        {"build b.img", "imgtool: build wants at least one --add\n"},
        {"info", "imgtool: info wants BUNDLE\n"},
        {"extract b.img x out", "imgtool: INDEX must be a number\n"},
        {"frobnicate", "imgtool: unknown command 'frobnicate' (see imgtool --help)\n"},
    };
    for (const auto& [args, message] : cases) {
        const auto r = run(args, true);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.output, message) << args;
    }
    EXPECT_FALSE(fs::exists(path("b.img")));
    EXPECT_EQ(run("build b.img --add rfs:1.0.0.0:missing").status, 1);
}

}  // namespace
