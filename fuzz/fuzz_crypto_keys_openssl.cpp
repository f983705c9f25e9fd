// Public-key decoding against OpenSSL on the same bytes: whether the key is accepted and, when
// both accept, its modulus and exponent. The first byte chooses the form: 0 DER (d2i_PUBKEY, then
// d2i_RSAPublicKey), 1 the DER wrapped by this target in well-formed armour, 2 the bytes as a PEM
// text. Inputs in a class where our reader differs from OpenSSL on purpose are skipped by the
// rules below, each recognised from the bytes.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "crypto/ca_mgmt.hpp"
#include "crypto/vlong.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Key {
    Bytes n;
    Bytes e;
    bool operator==(const Key&) const = default;
};

Bytes trimmed(Bytes b) {
    std::size_t i = 0;
    while (i < b.size() && b[i] == 0) {
        ++i;
    }
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(i), b.end());
}

void dump(const char* what, const std::uint8_t* data, std::size_t size) {
    std::fprintf(stderr, "%s (%zu):", what, size);
    for (std::size_t i = 0; i < size; ++i) {
        std::fprintf(stderr, " %02x", data[i]);
    }
    std::fprintf(stderr, "\n");
}

// ---- OpenSSL's side ----

std::optional<Key> fromRsa(const RSA* rsa) {
    if (rsa == nullptr) {
        return std::nullopt;
    }
    const BIGNUM* n = nullptr;
    const BIGNUM* e = nullptr;
    RSA_get0_key(rsa, &n, &e, nullptr);
    // Our reader has no sign: a negative value is a class of its own (see negativeInteger).
    Key key{Bytes(static_cast<std::size_t>(BN_num_bytes(n))),
            Bytes(static_cast<std::size_t>(BN_num_bytes(e)))};
    BN_bn2bin(n, key.n.data());
    BN_bn2bin(e, key.e.data());
    return key;
}

// Only rsaEncryption keys count: other algorithms (RSA-PSS, EC, DSA...) are no RSA key to us.
std::optional<Key> fromPkey(EVP_PKEY* pkey) {
    std::optional<Key> key;
    if (pkey != nullptr && EVP_PKEY_get_base_id(pkey) == EVP_PKEY_RSA) {
        key = fromRsa(EVP_PKEY_get0_RSA(pkey));
    }
    EVP_PKEY_free(pkey);
    return key;
}

std::optional<Key> opensslSpki(const Bytes& der) {
    const unsigned char* p = der.data();
    return fromPkey(d2i_PUBKEY(nullptr, &p, static_cast<long>(der.size())));
}

std::optional<Key> opensslRsaPublicKey(const Bytes& der) {
    const unsigned char* p = der.data();
    RSA* rsa = d2i_RSAPublicKey(nullptr, &p, static_cast<long>(der.size()));
    std::optional<Key> key = fromRsa(rsa);
    RSA_free(rsa);
    return key;
}

std::optional<Key> opensslDer(const Bytes& der) {
    std::optional<Key> key = opensslSpki(der);
    return key ? key : opensslRsaPublicKey(der);
}

std::optional<Key> opensslPem(const std::string& text, bool rsaLabel) {
    BIO* bio = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
    std::optional<Key> key;
    if (rsaLabel) {
        RSA* rsa = PEM_read_bio_RSAPublicKey(bio, nullptr, nullptr, nullptr);
        key = fromRsa(rsa);
        RSA_free(rsa);
    } else {
        key = fromPkey(PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr));
    }
    BIO_free(bio);
    return key;
}

// ---- ours ----

std::optional<Key> fromKey(const AsymmetricKey& key) {
    if (key.type != KEY_TYPE_RSA || key.key == nullptr) {
        std::abort();
    }
    Key out;
    for (auto [value, bytes] : {std::pair{key.key->n, &out.n}, std::pair{key.key->e, &out.e}}) {
        std::int32_t length = 0;
        if (VLONG_byteStringFromVlong(value, nullptr, &length) != OK) {
            std::abort();
        }
        bytes->resize(static_cast<std::size_t>(length));
        if (VLONG_byteStringFromVlong(value, bytes->data(), &length) != OK) {
            std::abort();
        }
        *bytes = trimmed(*bytes);
    }
    return out;
}

std::optional<Key> fromBlob(CryptoStatus status, std::uint8_t* blob, std::uint32_t length) {
    std::optional<Key> out;
    if (status == OK) {
        AsymmetricKey key;
        CRYPTO_initAsymmetricKey(&key);
        if (CA_MGMT_extractKeyBlob(blob, length, &key) != OK) {
            std::abort();
        }
        out = fromKey(key);
        CRYPTO_uninitAsymmetricKey(&key);
        CA_MGMT_freeKeyBlob(&blob);
    }
    return out;
}

std::optional<Key> oursDer(const Bytes& der) {
    AsymmetricKey key;
    CRYPTO_initAsymmetricKey(&key);
    std::optional<Key> parsed;
    if (CA_MGMT_parseRsaKeyDer(der.data(), static_cast<std::uint32_t>(der.size()), &key) == OK) {
        parsed = fromKey(key);
    }
    CRYPTO_uninitAsymmetricKey(&key);
    std::uint8_t* blob = nullptr;
    std::uint32_t length = 0;
    std::optional<Key> viaBlob =
        fromBlob(CA_MGMT_publicKeyDerToKeyBlob(der.data(), static_cast<std::uint32_t>(der.size()),
                                               &blob, &length),
                 blob, length);
    if (parsed != viaBlob) {
        std::abort();  // the blob path must agree with the parse it is built on
    }
    return parsed;
}

std::optional<Key> oursPem(const std::string& text) {
    std::uint8_t* blob = nullptr;
    std::uint32_t length = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return fromBlob(CA_MGMT_pemPublicKeyToKeyBlob(bytes, static_cast<std::uint32_t>(text.size()),
                                                  &blob, &length),
                    blob, length);
}

// ---- a tolerant reader for the rules: BER as written, nothing refused that can be walked ----

struct Node {
    std::uint8_t first = 0;  // identifier octet
    std::uint32_t tag = 0;
    bool highForm = false;  // tag number in following octets
    bool indefinite = false;
    bool longLength = false;  // long form where the short form would do, or leading zeros
    std::size_t start = 0;    // of the identifier
    std::size_t content = 0;
    std::size_t length = 0;      // content, without end-of-contents octets
    std::size_t end = 0;         // after the item (and its end-of-contents octets)
    std::vector<Node> children;  // constructed items, and the SEQUENCE inside a BIT STRING

    bool universal(std::uint32_t t) const { return (first & 0xC0) == 0 && tag == t; }
    bool constructed() const { return (first & 0x20) != 0; }
};

std::optional<Node> readNode(const Bytes& b, std::size_t at, std::size_t limit, int depth);

bool readChildren(const Bytes& b, Node& node, std::size_t limit, int depth) {
    std::size_t at = node.content;
    for (;;) {
        if (node.indefinite) {
            if (at + 2 <= limit && b[at] == 0 && b[at + 1] == 0) {
                node.length = at - node.content;
                node.end = at + 2;
                return true;
            }
        } else if (at == node.content + node.length) {
            return true;
        }
        auto child = readNode(b, at, node.indefinite ? limit : node.content + node.length, depth);
        if (!child) {
            return false;
        }
        at = child->end;
        node.children.push_back(std::move(*child));
    }
}

std::optional<Node> readNode(const Bytes& b, std::size_t at, std::size_t limit, int depth) {
    if (depth > 50 || at >= limit) {
        return std::nullopt;
    }
    Node n;
    n.start = at;
    n.first = b[at++];
    n.tag = n.first & 0x1F;
    if (n.tag == 0x1F) {
        n.highForm = true;
        n.tag = 0;
        for (int i = 0;; ++i) {
            if (at >= limit || i == 4) {
                return std::nullopt;
            }
            n.tag = (n.tag << 7) | (b[at] & 0x7F);
            if ((b[at++] & 0x80) == 0) {
                break;
            }
        }
    }
    if (at >= limit) {
        return std::nullopt;
    }
    const std::uint8_t l = b[at++];
    if (l == 0x80) {
        n.indefinite = true;
    } else if (l > 0x80) {
        const std::size_t count = l & 0x7F;
        if (count > 4 || at + count > limit) {
            return std::nullopt;
        }
        n.longLength = count == 0 || b[at] == 0;
        for (std::size_t i = 0; i < count; ++i) {
            n.length = (n.length << 8) | b[at++];
        }
        n.longLength = n.longLength || n.length < 0x80;
    } else {
        n.length = l;
    }
    n.content = at;
    if (n.indefinite) {
        if (!n.constructed() || !readChildren(b, n, limit, depth + 1)) {
            return std::nullopt;
        }
        return n;
    }
    if (n.length > limit - at) {
        return std::nullopt;
    }
    n.end = at + n.length;
    if (n.constructed()) {
        if (!readChildren(b, n, n.end, depth + 1)) {
            return std::nullopt;
        }
    } else if (n.universal(3) && n.length > 1) {
        auto inner = readNode(b, at + 1, n.end, depth + 1);
        if (inner) {
            n.children.push_back(std::move(*inner));
        }
    }
    return n;
}

bool anyNode(const Node& n, bool (*test)(const Bytes&, const Node&), const Bytes& b) {
    if (test(b, n)) {
        return true;
    }
    for (const Node& c : n.children) {
        if (anyNode(c, test, b)) {
            return true;
        }
    }
    return false;
}

// The RSA numbers where a SubjectPublicKeyInfo or an RSAPublicKey keeps them, if the shape fits.
struct Shape {
    const Node* algorithm = nullptr;  // SubjectPublicKeyInfo only
    const Node* bits = nullptr;
    const Node* numbers = nullptr;  // the SEQUENCE holding n and e
};

std::optional<Shape> shapeOf(const Node& top) {
    if (top.children.size() != 2) {
        return std::nullopt;
    }
    Shape s;
    const Node& first = top.children[0];
    const Node& second = top.children[1];
    if (first.tag == 16 && second.tag == 3 && second.children.size() == 1) {
        s.algorithm = &first;
        s.bits = &second;
        s.numbers = &second.children[0];
    } else {
        s.numbers = &top;
    }
    return s;
}

// ---- the deliberate differences ----

// The DER reader is BER-lenient about lengths and tag numbers: it takes the indefinite form,
// long or zero-padded length octets and tag numbers in the high form where DER has one way.
bool berEncoding(const Bytes&, const Node& n) {
    return n.indefinite || n.longLength || n.highForm;
}

// Tags are told by class and number: the constructed bit is not examined, so a constructed
// INTEGER or a primitive item where OpenSSL wants the other form is taken by its number.
bool formNotExamined(const Bytes&, const Node& n) {
    const bool shouldBeConstructed = (n.first & 0xC0) == 0 && (n.tag == 16 || n.tag == 17);
    const bool shouldBePrimitive =
        (n.first & 0xC0) == 0 && n.tag != 16 && n.tag != 17 && n.tag != 0;
    return (shouldBeConstructed && !n.constructed()) || (shouldBePrimitive && n.constructed());
}

// INTEGER content is read as an unsigned magnitude: non-minimal leading octets are accepted and
// a set top bit is no sign (OpenSSL refuses the padding and reads two's complement).
bool integerAsMagnitude(const Bytes& b, const Node& n) {
    if (!n.universal(2) || n.constructed() || n.length == 0) {
        return false;
    }
    const std::uint8_t c0 = b[n.content];
    const bool padded = n.length > 1 && ((c0 == 0 && (b[n.content + 1] & 0x80) == 0) ||
                                         (c0 == 0xFF && (b[n.content + 1] & 0x80) != 0));
    return padded || (c0 & 0x80) != 0;
}

// The AlgorithmIdentifier's parameters are not examined (OpenSSL parses them as a value of any
// type and refuses malformed ones; our parser refuses some tags and empty items anywhere).
bool parametersOtherThanNull(const Shape& s, const Bytes& b) {
    if (s.algorithm == nullptr) {
        return false;
    }
    const auto& c = s.algorithm->children;
    if (c.size() == 1) {
        return false;
    }
    return c.size() != 2 || c[1].first != 0x05 || c[1].length != 0 || b[c[1].start + 1] != 0;
}

// Limits of the key records: an exponent of at most 4 content octets and at least 2, and in a
// SubjectPublicKeyInfo a modulus of at most 512 octets.
bool outsideKeyLimits(const Shape& s, const Key& key) {
    if (s.numbers->children.size() < 2) {
        return false;
    }
    const Node& e = s.numbers->children[1];
    const Bytes exponent = trimmed(key.e);
    const bool smallExponent = exponent.empty() || (exponent.size() == 1 && exponent[0] < 2);
    return e.length > 4 || smallExponent || (s.bits != nullptr && key.n.size() > 512);
}

// The BIT STRING's unused-bits count is kept but not checked.
bool unusedBitsNotChecked(const Shape& s, const Bytes& b) {
    return s.bits != nullptr && s.bits->length > 0 && b[s.bits->content] != 0;
}

// The RSAPublicKey inside a SubjectPublicKeyInfo is read up to its exponent: elements after it
// are not looked at.
bool elementsAfterExponent(const Shape& s) {
    return s.bits != nullptr && s.numbers->children.size() > 2;
}

// Why a DER input is outside the comparison, or nullptr. `key` is whichever side decoded it.
const char* derRule(const Bytes& der, const std::optional<Key>& key) {
    auto top = readNode(der, 0, der.size(), 0);
    if (!top) {
        return nullptr;
    }
    if (anyNode(*top, berEncoding, der)) {
        return "ber";
    }
    if (anyNode(*top, formNotExamined, der)) {
        return "form";
    }
    if (anyNode(*top, integerAsMagnitude, der)) {
        return "magnitude";
    }
    auto shape = shapeOf(*top);
    if (!shape) {
        return nullptr;
    }
    if (parametersOtherThanNull(*shape, der)) {
        return "parameters";
    }
    if (unusedBitsNotChecked(*shape, der)) {
        return "unused bits";
    }
    if (elementsAfterExponent(*shape)) {
        return "after exponent";
    }
    if (key && outsideKeyLimits(*shape, *key)) {
        return "limits";
    }
    return nullptr;
}

std::string armour(const Bytes& der, bool rsaLabel, bool crlf, std::size_t lineLength) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string body;
    for (std::size_t i = 0; i < der.size(); i += 3) {
        std::uint32_t v = der[i] << 16;
        if (i + 1 < der.size()) {
            v |= der[i + 1] << 8;
        }
        if (i + 2 < der.size()) {
            v |= der[i + 2];
        }
        body += alphabet[(v >> 18) & 63];
        body += alphabet[(v >> 12) & 63];
        body += i + 1 < der.size() ? alphabet[(v >> 6) & 63] : '=';
        body += i + 2 < der.size() ? alphabet[v & 63] : '=';
    }
    const std::string eol = crlf ? "\r\n" : "\n";
    const std::string label = rsaLabel ? "RSA PUBLIC KEY" : "PUBLIC KEY";
    std::string text = "-----BEGIN " + label + "-----" + eol;
    for (std::size_t i = 0; i < body.size(); i += lineLength) {
        text += body.substr(i, lineLength) + eol;
    }
    return text + "-----END " + label + "-----" + eol;
}

// The armour is read loosely: any line that starts with "-" is dropped whatever it says, and
// everything else is Base64 (no armour at all, text around it, any label, header lines). Only
// texts of one label pair around lines of Base64 characters are compared.
struct Armour {
    bool plain = false;
    bool rsaLabel = false;
};

Armour armourOf(const std::string& text) {
    Armour a;
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t eol = text.find('\n', at);
        if (eol == std::string::npos) {
            eol = text.size();
        }
        std::string line = text.substr(at, eol - at);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        at = eol + 1;
    }
    if (lines.size() < 2) {
        return a;
    }
    for (const char* label : {"PUBLIC KEY", "RSA PUBLIC KEY"}) {
        if (lines.front() == std::string("-----BEGIN ") + label + "-----" &&
            lines.back() == std::string("-----END ") + label + "-----") {
            a.plain = true;
            a.rsaLabel = label[0] == 'R';
        }
    }
    for (std::size_t i = 1; a.plain && i + 1 < lines.size(); ++i) {
        for (char c : lines[i]) {
            a.plain = a.plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '+' ||
                                  c == '/' || c == '=');
        }
    }
    return a;
}

const char* pemRule(const std::string& text, const std::optional<Key>& key) {
    const Armour a = armourOf(text);
    if (!a.plain) {
        return "not plain armour";
    }
    std::uint8_t* der = nullptr;
    std::uint32_t length = 0;
    const char* rule = nullptr;
    if (CA_MGMT_decodePem(reinterpret_cast<const std::uint8_t*>(text.data()),
                          static_cast<std::uint32_t>(text.size()), &der, &length) == OK) {
        const Bytes bytes(der, der + length);
        const bool otherForm =
            a.rsaLabel ? opensslSpki(bytes).has_value() : opensslRsaPublicKey(bytes).has_value();
        rule = otherForm ? "label" : derRule(bytes, key);
    }
    if (der != nullptr) {
        BASE64_freeMessage(&der);
    }
    return rule;
}

// FUZZ_SHOW_RULES=1 names the rule behind each skipped difference, for reviewing the rules.
bool skipped(const char* rule) {
    static const bool show = std::getenv("FUZZ_SHOW_RULES") != nullptr;
    if (rule != nullptr && show) {
        std::fprintf(stderr, "skipped by rule: %s\n", rule);
    }
    return rule != nullptr;
}

void compare(const std::optional<Key>& ours, const std::optional<Key>& theirs,
             const std::uint8_t* data, std::size_t size) {
    if (ours != theirs) {
        std::fprintf(stderr, "keys differ: ours %s, OpenSSL %s\n", ours ? "accepts" : "refuses",
                     theirs ? "accepts" : "refuses");
        dump("input", data, size);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (BASE64_initializeContext() != OK) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const Bytes rest(data + 1, data + size);
    switch (mode & 3) {
        case 0: {
            const std::optional<Key> ours = oursDer(rest);
            const std::optional<Key> theirs = opensslDer(rest);
            if (ours != theirs && skipped(derRule(rest, ours ? ours : theirs))) {
                break;
            }
            compare(ours, theirs, data, size);
            break;
        }
        case 1: {
            // Armour this target writes, so only the DER inside can make the two differ.
            const bool rsaLabel = (mode & 0x08) != 0;
            const std::string text =
                armour(rest, rsaLabel, (mode & 0x10) != 0, (mode & 0x20) != 0 ? 76 : 64);
            const std::optional<Key> ours = oursPem(text);
            const std::optional<Key> theirs = opensslPem(text, rsaLabel);
            if (ours != theirs) {
                // The armour label is not examined: the DER decides the form.
                const bool otherForm = rsaLabel ? opensslSpki(rest).has_value()
                                                : opensslRsaPublicKey(rest).has_value();
                if (skipped(otherForm ? "label" : derRule(rest, ours ? ours : theirs))) {
                    break;
                }
            }
            compare(ours, theirs, data, size);
            break;
        }
        default: {
            const std::string text(rest.begin(), rest.end());
            const std::optional<Key> ours = oursPem(text);
            const std::optional<Key> theirs = opensslPem(text, armourOf(text).rsaLabel);
            if (ours != theirs && skipped(pemRule(text, ours ? ours : theirs))) {
                break;
            }
            compare(ours, theirs, data, size);
            break;
        }
    }
    ERR_clear_error();
    return 0;
}
