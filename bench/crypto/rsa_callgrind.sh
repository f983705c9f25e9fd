#!/bin/sh
# Instructions per RSA-2048 verification under callgrind (deterministic), this library next to
# mbedTLS: usage rsa_callgrind.sh BUILD_DIR [N]
set -eu
tool="$1/bench/crypto/rsa_verify_count"
n="${2:-20}"
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$tool" "$1" "$2" 2>&1 |
        sed -n 's/.*Collected : *//p'
}
for which in ours mbedtls; do
    one=$(count "$which" 1)
    many=$(count "$which" $((n + 1)))
    eval "$which=$(((many - one) / n))"
done
echo "RSA-2048 verify, instructions: ours $ours, mbedTLS $mbedtls"
awk -v a="$ours" -v b="$mbedtls" 'BEGIN { printf "RSA-2048 verify instructions, ours / mbedTLS %.2f\n", a / b }'
