#!/usr/bin/env bash
# Makes the fixed crypto test data with the openssl command-line tool. Run once; the outputs are
# committed so that builds without OpenSSL (the PowerPC cross build) check the same vectors.
# Usage: tests/data/crypto/make-vectors.sh   (writes next to this script)
set -euo pipefail
cd "$(dirname "$0")"
out=vectors
rm -rf "$out"
mkdir -p "$out"

head -c 1000 /dev/urandom > "$out/message.bin"

for bits in 2048 3072 4096; do
  k="$out/rsa$bits"
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:$bits -pkeyopt rsa_keygen_pubexp:65537 \
    -out "$k.key.pem" 2>/dev/null
  openssl pkey -in "$k.key.pem" -pubout -out "$k.spki.pem"
  openssl pkey -in "$k.key.pem" -pubout -outform DER -out "$k.spki.der"
  openssl rsa -in "$k.key.pem" -RSAPublicKey_out -out "$k.rsapub.pem" 2>/dev/null
  openssl rsa -in "$k.key.pem" -RSAPublicKey_out -outform DER -out "$k.rsapub.der" 2>/dev/null
  # The same SubjectPublicKeyInfo text with CR LF line ends, and with blanks at line ends and
  # blank lines between them.
  sed 's/$/\r/' "$k.spki.pem" > "$k.spki.crlf.pem"
  sed 's/$/  \t/' "$k.spki.pem" | sed '2i\\' > "$k.spki.blanks.pem"
  # A signature and its digest for the benchmarks.
  if [ "$bits" = 2048 ]; then
    openssl dgst -sha256 -sign "$k.key.pem" -out "$k.sha256.sig" "$out/message.bin"
    openssl dgst -sha256 -binary -out "$k.sha256.digest" "$out/message.bin"
  fi
  # Modulus and private exponent in hex, for tests that build their own padded blocks.
  openssl rsa -in "$k.key.pem" -noout -modulus 2>/dev/null | sed 's/^Modulus=//' > "$k.n.hex"
  openssl rsa -in "$k.key.pem" -noout -text 2>/dev/null |
    awk '/^privateExponent:/ {f = 1; next} /^prime1:/ {f = 0} f' | tr -d ' :\n' > "$k.d.hex"
done

# AES: random key, IV and 1 KiB buffer per key size; ECB and CBC without padding.
head -c 1024 /dev/urandom > "$out/aes.plain"
head -c 16 /dev/urandom | od -An -tx1 | tr -d ' \n' > "$out/aes.iv.hex"
for bits in 128 192 256; do
  head -c $((bits / 8)) /dev/urandom | od -An -tx1 | tr -d ' \n' > "$out/aes$bits.key.hex"
  for mode in ecb cbc; do
    iv=()
    [ "$mode" = cbc ] && iv=(-iv "$(cat "$out/aes.iv.hex")")
    openssl enc -aes-$bits-$mode -nopad -K "$(cat "$out/aes$bits.key.hex")" "${iv[@]}" \
      -in "$out/aes.plain" -out "$out/aes$bits.$mode.cipher"
  done
done

# SHA-256 of the first n bytes of one random buffer, for lengths around the block edges.
head -c 70000 /dev/urandom > "$out/sha.bin"
: > "$out/sha256.txt"
for n in 0 1 55 56 57 63 64 65 119 120 127 128 129 1000 4096 65535 70000; do
  printf '%s %s\n' "$n" "$(head -c $n "$out/sha.bin" | openssl dgst -sha256 -r | cut -d' ' -f1)" \
    >> "$out/sha256.txt"
done

echo "vectors written to $(pwd)/$out"
