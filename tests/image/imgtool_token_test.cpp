// imgtool signing with keys held in a software PKCS#11 token, as a signing server's would be.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "hex.hpp"
#include "imgtool_run.hpp"

namespace {

const std::string kKeys = BM_KEYS_DIR;
const std::string kModule = "/usr/lib/softhsm/libsofthsm2.so";

class ImgtoolToken : public imgtooltest::Scratch {
protected:
    // Token T holds the sample production key as "prod" and a 1024-bit key as "short".
    void SetUp() override {
        Scratch::SetUp();
        write("softhsm2.conf", bytesOf("directories.tokendir = " + path("tokens") +
                                       "\nobjectstore.backend = file\nlog.level = ERROR\n"));
        ::setenv("SOFTHSM2_CONF", path("softhsm2.conf").c_str(), 1);
        ::unsetenv("PKCS11_MODULE_PATH");
        shell(
            "mkdir tokens && softhsm2-util --init-token --free --label T --pin 1234 "
            "--so-pin 5678");
        for (const auto& [file, label, id] :
             {std::tuple{kKeys + "/sample_production_key.pem", "prod", "01"},
              std::tuple{std::string(BM_SECURITY_DATA) + "/rsa1024.pem", "short", "02"}}) {
            shell("openssl pkcs8 -topk8 -nocrypt -in " + file + " -out " + label +
                  ".p8 && softhsm2-util --import " + label + ".p8 --token T --label " + label +
                  " --id " + id + " --pin 1234");
        }
        write("kernel.bin", std::vector<std::uint8_t>(3000, 0x41));
    }
    void TearDown() override {
        ::unsetenv("SOFTHSM2_CONF");
        Scratch::TearDown();
    }

    void shell(const std::string& command) const {
        ASSERT_EQ(std::system(("cd '" + path("") + "' && (" + command + ") >/dev/null").c_str()), 0)
            << command;
    }
};

TEST_F(ImgtoolToken, SignsWithTheTokensKeyAndVerifyAcceptsIt) {
    ASSERT_EQ(run("build b.img --add kernel:1.0.0.0:kernel.bin").status, 0);
    const std::string verify = "verify b.img --key " + kKeys + "/sample_production_key.pub.pem";
    const std::string accepted = "0 kernel 1.0.0.0: crc good, signature verified with " + kKeys +
                                 "/sample_production_key.pub.pem (sample key)\n";
    ASSERT_EQ(
        run("sign b.img --key 'pkcs11:object=prod;pin-value=1234' --pkcs11-module " + kModule, true)
            .output,
        "");
    EXPECT_EQ(run(verify).output, accepted);

    // The module from the environment, the key by id, the PIN from --passin.
    ::setenv("PKCS11_MODULE_PATH", kModule.c_str(), 1);
    ASSERT_EQ(run("build b.img --add kernel:1.0.0.0:kernel.bin --sign 'pkcs11:id=%01;token=T' "
                  "--passin pass:1234")
                  .status,
              0);
    EXPECT_EQ(run(verify).output, accepted);
}

TEST_F(ImgtoolToken, RefusesWhatItCannotSignWith) {
    ASSERT_EQ(run("build b.img --add kernel:1.0.0.0:kernel.bin").status, 0);
    const auto unsigned_bundle = read("b.img");
    const std::string module = " --pkcs11-module " + kModule;
    const std::pair<std::string, std::string> refused[] = {
        {"'pkcs11:object=nope;pin-value=1234'" + module,
         "imgtool: token T holds no private key that pkcs11:object=nope names\n"},
        {"'pkcs11:object=prod;pin-value=4321'" + module,
         "imgtool: cannot log in to token T: wrong PIN?\n"},
        {"'pkcs11:object=prod;token=U;pin-value=1234'" + module,
         "imgtool: pkcs11:object=prod;token=U: the PKCS#11 module " + kModule +
             " has no token labelled U\n"},
        {"'pkcs11:object=prod' < /dev/null" + module,
         "imgtool: token T wants a PIN: give pin-value= in pkcs11:object=prod or --passin\n"},
        {"'pkcs11:object=prod;pin-value=1234' --pkcs11-module /nowhere/p11.so",
         "imgtool: pkcs11:object=prod: no PKCS#11 module at /nowhere/p11.so\n"},
        {"'pkcs11:object=short;pin-value=1234'" + module,
         "imgtool: pkcs11:object=short is a 1024-bit RSA key: the switch verifies signatures "
         "with 2048-bit RSA keys only\n"},
    };
    for (const auto& [key, message] : refused) {
        const auto r = run("sign b.img --key " + key, true);
        EXPECT_EQ(r.status, 1) << key;
        EXPECT_EQ(r.output, message) << key;
        EXPECT_EQ(read("b.img"), unsigned_bundle) << key;
    }
}

}  // namespace
