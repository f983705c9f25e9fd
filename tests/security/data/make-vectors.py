#!/usr/bin/env python3
"""Writes signatures.txt: signatures made with the sample production key over a fixed
payload, the first two well-formed, the rest encodings a lenient verifier would accept.

Run once from this directory; the output is kept in the repository so that every build,
the cross build included, checks the same bytes without OpenSSL."""
import hashlib
import subprocess

KEY = "../../../keys/sample_production_key.pem"
PAYLOAD = bytes(range(256)) * 3 + b"payload of a signed sub-image\n"
SHA256_OID = bytes.fromhex("0609608648016503040201")
SHA1_OID = bytes.fromhex("06052b0e03021a")


def der(tag, content, long_form=False):
    if long_form:
        return bytes([tag, 0x81, len(content)]) + content
    return bytes([tag, len(content)]) + content


def modulus():
    out = subprocess.run(["openssl", "rsa", "-in", KEY, "-noout", "-modulus"],
                         capture_output=True, check=True, text=True).stdout
    return int(out.strip().split("=")[1], 16)


N = modulus()
K = (N.bit_length() + 7) // 8


def raw_sign(block):
    return subprocess.run(["openssl", "pkeyutl", "-decrypt", "-inkey", KEY, "-pkeyopt",
                           "rsa_padding_mode:none"], input=block, capture_output=True,
                          check=True).stdout


def block(payload, lead=b"\x00\x01"):
    return lead + b"\xff" * (K - len(lead) - 1 - len(payload)) + b"\x00" + payload


def digest_info(algorithm, digest, digest_tag=0x04, long_form=False):
    return der(0x30, der(0x30, algorithm) + der(digest_tag, digest), long_form)


H = hashlib.sha256(PAYLOAD).digest()
good = subprocess.run(["openssl", "dgst", "-sha256", "-sign", KEY], input=PAYLOAD,
                      capture_output=True, check=True).stdout
s = int.from_bytes(good, "big")
assert s + N < 1 << (8 * K), "choose another payload: s + n needs another byte"

cases = [
    ("good", good),
    ("without_null", raw_sign(block(digest_info(SHA256_OID, H)))),
    ("garbage_parameters", raw_sign(block(digest_info(SHA256_OID + der(0x04, b"\xde\xad\xbe\xef"), H)))),
    ("digest_not_octet_string", raw_sign(block(digest_info(SHA256_OID + b"\x05\x00", H, 0x05)))),
    ("long_form_length", raw_sign(block(digest_info(SHA256_OID + b"\x05\x00", H, long_form=True)))),
    ("block_starts_with_01", raw_sign(block(digest_info(SHA256_OID + b"\x05\x00", H), b"\x01"))),
    ("sha1_algorithm", raw_sign(block(digest_info(SHA1_OID + b"\x05\x00", H)))),
    ("plus_modulus", (s + N).to_bytes(K, "big")),
    ("one_byte_short", good[:-1]),
]
with open("signatures.txt", "w") as out:
    out.write("payload " + PAYLOAD.hex() + "\n")
    for name, sig in cases:
        out.write(f"{name} {sig.hex()}\n")
