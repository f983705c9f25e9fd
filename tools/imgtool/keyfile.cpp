// imgtool keyfile: system key files as the boot manager's key store writes and reads them.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "files.hpp"
#include "keys.hpp"
#include "security/imgsign.hpp"
#include "security/key_store.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

bool is_public_key_pem(const std::vector<std::uint8_t>& text) {
    const std::string_view armour = "-----BEGIN PUBLIC KEY-----";
    return text.size() > armour.size() && std::equal(armour.begin(), armour.end(), text.begin()) &&
           start_crypto() &&
           CA_MGMT_convertPublicKey(text.data(), static_cast<std::uint32_t>(text.size()),
                                    nullptr) >= 0;
}

int run(arguments args) {
    if (args.size() != 5 || (args[0] != "encrypt" && args[0] != "decrypt") ||
        args[1] != "--serial") {
        std::fprintf(stderr,
                     "imgtool: keyfile wants encrypt|decrypt --serial TEXT IN OUT "
                     "(see imgtool keyfile --help)\n");
        return exit_usage;
    }
    if (args[2].size() > SERIAL_SIZE) {
        std::fprintf(stderr, "imgtool: a serial number has at most %zu characters\n", SERIAL_SIZE);
        return exit_usage;
    }
    // The unit key: the serial's twelve bytes, zero-padded, then four zero bytes.
    std::array<std::uint8_t, 16> unit_key{};
    std::copy(args[2].begin(), args[2].end(), unit_key.begin());
    const std::string out_path(args[4]);
    if (is_an_input(out_path, {std::string(args[3])})) {
        return exit_failure;
    }
    const auto in = read_whole_file(std::string(args[3]));
    if (!in) {
        return exit_failure;
    }
    std::uint32_t length = 0;
    std::optional<std::vector<std::uint8_t>> out;
    if (args[0] == "encrypt") {
        // The key store writes the text with its terminating zero.
        std::vector<std::uint8_t> text(*in);
        text.push_back(0);
        out = imgsign_encrypt(unit_key, text, &length);
    } else if (in->size() % 16 != 0) {
        std::fprintf(stderr, "imgtool: %.*s is not a whole number of 16-byte blocks\n",
                     static_cast<int>(args[3].size()), args[3].data());
        return exit_failure;
    } else {
        out = decrypt_key_text(unit_key, *in, &length);
    }
    if (!out) {
        std::fprintf(stderr, "imgtool: the cipher failed\n");
        return exit_failure;
    }
    out->resize(length);
    // Under another serial number the cipher still succeeds and yields noise.
    if (args[0] == "decrypt" && !is_public_key_pem(*out)) {
        std::fprintf(stderr,
                     "imgtool: %.*s does not decrypt to a PEM public key under serial %.*s: "
                     "wrong serial number?\n",
                     static_cast<int>(args[3].size()), args[3].data(),
                     static_cast<int>(args[2].size()), args[2].data());
        return exit_failure;
    }
    return write_whole_file(out_path, *out) ? exit_ok : exit_failure;
}

}  // namespace

const verb keyfile_verb = {
    "keyfile",
    "encrypt|decrypt --serial TEXT IN OUT",
    "encrypt or decrypt a system key file for one unit",
    "A system key file is the key's PEM text with a terminating zero, zero-padded to whole\n"
    "16-byte blocks and encrypted with AES-128-CBC (zero vector) under the unit key: the\n"
    "serial number TEXT (at most 12 characters, zero-padded) followed by four zero bytes.\n"
    "encrypt writes such a file from the text IN; decrypt writes the text up to its first\n"
    "zero byte, and only when that is a PEM public key (else the serial number is wrong).\n",
    run,
};

}  // namespace imgtool
