// imgtool keyfile: system key files as the boot manager's key store writes and reads them.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "files.hpp"
#include "keys.hpp"
#include "security/imgsign.hpp"
#include "security/key_store.hpp"
#include "verb_support.hpp"
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

struct KeyfileArgs {
    std::string action;
    std::string serial;
    std::string in;
    std::string out;
};

int run(const KeyfileArgs& args) {
    // The unit key: the serial's twelve bytes, zero-padded, then four zero bytes.
    std::array<std::uint8_t, 16> unit_key{};
    std::copy(args.serial.begin(), args.serial.end(), unit_key.begin());
    const std::string& out_path = args.out;
    if (is_an_input(out_path, {args.in})) {
        return exit_failure;
    }
    const auto in = read_whole_file(args.in);
    if (!in) {
        return exit_failure;
    }
    std::uint32_t length = 0;
    std::optional<std::vector<std::uint8_t>> out;
    if (args.action == "encrypt") {
        // The key store writes the text with its terminating zero.
        std::vector<std::uint8_t> text(*in);
        text.push_back(0);
        out = imgsign_encrypt(unit_key, text, &length);
    } else if (in->size() % 16 != 0) {
        std::fprintf(stderr, "imgtool: %s is not a whole number of 16-byte blocks\n",
                     args.in.c_str());
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
    if (args.action == "decrypt" && !is_public_key_pem(*out)) {
        std::fprintf(stderr,
                     "imgtool: %s does not decrypt to a PEM public key under serial %s: "
                     "wrong serial number?\n",
                     args.in.c_str(), args.serial.c_str());
        return exit_failure;
    }
    return write_whole_file(out_path, *out) ? exit_ok : exit_failure;
}

}  // namespace

Verb add_keyfile(CLI::App& app) {
    auto k = std::make_shared<KeyfileArgs>();
    CLI::App* const sub = verb(
        app, "keyfile", "Encrypts or decrypts a system key file for one unit.",
        "A system key file is the key's PEM text with a terminating zero, zero-padded to whole\n"
        "16-byte blocks and encrypted with AES-128-CBC (zero vector) under the unit key: the\n"
        "serial number TEXT (at most 12 characters, zero-padded) followed by four zero bytes.\n"
        "encrypt writes such a file from the text IN; decrypt writes the text up to its first\n"
        "zero byte, and only when that is a PEM public key (else the serial number is wrong).\n"
        "Exit status: 0 written, 1 failed (nothing written), 2 usage error.");
    sub->add_option("ACTION", k->action, "encrypt or decrypt")
        ->type_name("encrypt|decrypt")
        ->required()
        ->check(CLI::IsMember({"encrypt", "decrypt"}));
    sub->add_option("--serial", k->serial, "the unit's serial number, at most 12 characters")
        ->type_name("TEXT")
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return text.size() > SERIAL_SIZE ? "'" + text + "' has more than " +
                                                       std::to_string(SERIAL_SIZE) + " characters"
                                                 : std::string();
            },
            ""));
    sub->add_option("IN", k->in, "the PEM text (encrypt) or the key file (decrypt)")
        ->required()
        ->type_name("");
    sub->add_option("OUT", k->out, "the file to write")->required()->type_name("");
    return {sub, [k] { return run(*k); }};
}

}  // namespace imgtool
