// imgtool's sign, verify and keyfile commands, run as a program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "hex.hpp"
#include "image/writer.hpp"
#include "imgtool_run.hpp"
#include "security/builtin_keys.hpp"
#include "signer.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kKeys = BM_SECURITY_KEYS;
const std::string kProdPrivate = kKeys + "/sample_production_key.pem";
const std::string kDevPrivate = kKeys + "/sample_development_key.pem";
const std::string kProdPublic = kKeys + "/sample_production_key.pub.pem";
const std::string kDevPublic = kKeys + "/sample_development_key.pub.pem";
const std::string kData = BM_SECURITY_DATA;

class Imgtool : public imgtooltest::Scratch {};

TEST_F(Imgtool, SignReplacesSignaturesAndVerifyAndInfoNameTheKeyThatHolds) {
    write("kernel.bin", Bytes(3000, 0x31));
    write("app.bin", Bytes(200, 0x32));
    ASSERT_EQ(run("build b.img --add kernel:1.0.0.1:kernel.bin:alt=application "
                  "--add rfs:1.0.0.0:app.bin --add application:2.0.0.0:app.bin:hdr=1")
                  .status,
              0);
    ASSERT_EQ(run("sign b.img --key " + kDevPrivate).status, 0);
    const Bytes dev_signed = read("b.img");
    ASSERT_EQ(run("sign b.img --key " + kProdPrivate + " --index 0").status, 0);
    // One signature record replaced by another of the same size; the alternative type stays.
    EXPECT_EQ(read("b.img").size(), dev_signed.size());
    const auto result = run("verify b.img --key " + kProdPublic + " --key " + kDevPublic);
    EXPECT_EQ(result.status, 1);  // the version-1 application cannot carry a signature
    EXPECT_EQ(result.output,
              "0 kernel 1.0.0.1: crc good, signature verified with " + kProdPublic +
                  " (sample key)\n1 rfs 1.0.0.0: crc good, signature verified with " + kDevPublic +
                  " (sample key)\n2 application 2.0.0.0: crc good, unsigned\n");
    const auto info = run("info b.img --key " + kProdPublic);
    EXPECT_EQ(info.status, 0);
    std::size_t at = 0;
    const std::string lines[] = {"alt=application",
                                 "    signature verified with " + kProdPublic + " (sample key)\n",
                                 "    signature rejected by every key\n", "    unsigned\n"};
    for (const auto& line : lines) {
        at = info.output.find(line, at);
        EXPECT_NE(at, std::string::npos) << line << info.output;
    }
    EXPECT_EQ(run("sign b.img --key " + kProdPrivate + " --index 2").status, 1);
    EXPECT_EQ(run("sign b.img --key " + kProdPublic).status, 1);  // not a private key
}

// Anyone can sign with a sample key, whatever its file is called.
TEST_F(Imgtool, VerifyTellsADamagedPayloadFromAForgedOne) {
    write("kernel.bin", Bytes(3000, 0x41));
    ASSERT_EQ(run("build b.img --add kernel:1.0.0.0:kernel.bin --sign " + kProdPrivate).status, 0);
    fs::copy_file(kProdPublic, path("product.pub.pem"));
    const auto good = run("verify b.img --key " + kDevPublic + " --key product.pub.pem");
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.output,
              "0 kernel 1.0.0.0: crc good, signature verified with product.pub.pem (sample key)\n");
    // Exit status and output of verify with the production key.
    const auto verify = [this](const Bytes& bundle) {
        write("v.img", bundle);
        const auto result = run("verify v.img --key " + kProdPublic);
        return std::to_string(result.status) + " " + result.output;
    };
    Bytes image = read("b.img");
    image.back() ^= 1;
    EXPECT_EQ(verify(image), "1 0 kernel 1.0.0.0: crc bad, signature rejected\n");
    image::seal_subimage(image);
    EXPECT_EQ(verify(image), "1 0 kernel 1.0.0.0: crc good, signature rejected\n");
    image[26] = 0;  // the signature record claims a length below 4
    image[27] = 3;
    image::seal_subimage(image);
    EXPECT_EQ(verify(image), "1 0 kernel 1.0.0.0: crc good, signature records malformed\n");
}

TEST_F(Imgtool, KeyfileWritesWhatTheKeyStoreWritesAndReadsItBack) {
    ASSERT_EQ(run("keyfile encrypt --serial SN1234567890 " + kProdPublic + " key.enc").status, 0);
    EXPECT_EQ(read("key.enc").size(), 464U);
    ASSERT_EQ(run("keyfile decrypt --serial SN1234567890 key.enc key.pem").status, 0);
    const Bytes text = read("key.pem");
    EXPECT_EQ(std::string(text.begin(), text.end()), builtin_production_key);
    // Another unit's serial number decrypts to noise, which is refused.
    EXPECT_EQ(run("keyfile decrypt --serial OTHER0000000 key.enc other.pem", true).output,
              "imgtool: key.enc does not decrypt to a PEM public key under serial OTHER0000000: "
              "wrong serial number?\n");
    EXPECT_FALSE(fs::exists(path("other.pem")));
    write("odd.enc", Bytes(470, 0x41));
    EXPECT_EQ(run("keyfile decrypt --serial SN1234567890 odd.enc x.pem").status, 1);
}

// The switch verifies RSA-2048 signatures only (a shorter key is refused by the token tests); an
// encrypted key is opened once, from --passin in a script. A key of the product's own is not marked
// as a sample key.
TEST_F(Imgtool, SignsOnlyWithKeysTheSwitchCanCheck) {
    write("kernel.bin", Bytes(3000, 0x71));
    write("app.bin", Bytes(200, 0x72));
    ASSERT_EQ(run("build b.img --add kernel:1.0.0.0:kernel.bin").status, 0);
    const Bytes unsigned_bundle = read("b.img");
    const std::string encrypted = kData + "/rsa2048_encrypted.pem";
    ::setenv("IMGTOOL_TEST_PHRASE", "marmot", 1);
    write("phrase", {'m', 'a', 'r', 'm', 'o', 't', '\n'});
    const std::pair<std::string, std::string> refused[] = {
        {"sign b.img --key " + kData + "/rsa4096.pem",
         "imgtool: " + kData +
             "/rsa4096.pem is a 4096-bit RSA key: the switch verifies signatures with 2048-bit "
             "RSA keys only\n"},
        {"sign b.img --key " + encrypted + " < /dev/null",
         "imgtool: " + encrypted + " is encrypted: give its pass phrase with --passin\n"},
        {"sign b.img --key " + encrypted + " --passin pass:otter",
         "imgtool: cannot decrypt " + encrypted + ": wrong pass phrase?\n"},
        {"build c.img --add application:1.0.0.0:app.bin:hdr=1 --sign " + kProdPrivate,
         "imgtool: --sign: no version-3 sub-image to sign (only a version-3 header carries a "
         "signature)\n"},
    };
    for (const auto& [args, message] : refused) {
        const auto r = run(args, true);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.output, message) << args;
        EXPECT_EQ(read("b.img"), unsigned_bundle) << args;
    }
    const std::string pem = testsupport::read_file(encrypted);
    write("own.pub", sectest::openssl("pkey -passin pass:marmot -pubout", bytesOf(pem)));
    for (const std::string passin : {"pass:marmot", "env:IMGTOOL_TEST_PHRASE", "file:phrase"}) {
        write("b.img", unsigned_bundle);
        ASSERT_EQ(run("sign b.img --key " + encrypted + " --passin " + passin).status, 0) << passin;
        EXPECT_EQ(run("verify b.img --key " + kProdPublic + " --key own.pub").output,
                  "0 kernel 1.0.0.0: crc good, signature verified with own.pub\n");
    }
}

}  // namespace
