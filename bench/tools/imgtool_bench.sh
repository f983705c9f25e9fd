#!/usr/bin/env bash
# Times imgtool on a 100 MB application bundle, one run each: build against `mkimage -d` of the
# same payload, verify against the CRC and SHA-256 alone over the same bytes in memory (the
# release build's imgtool_memory_check). Prints seconds, peak memory and the ratios.
# Usage: bench/tools/imgtool_bench.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/release}
imgtool=$build/tools/imgtool/imgtool
check=$build/bench/tools/imgtool_memory_check
for tool in "$imgtool" "$check" /usr/bin/time; do
  [[ -x $tool ]] || { echo "imgtool_bench: $tool is missing (cmake --build --preset release)" >&2; exit 1; }
done
command -v mkimage > /dev/null || { echo "imgtool_bench: mkimage is missing (u-boot-tools)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 100000000 /dev/urandom > "$work/payload"

# Runs a command once; sets `seconds` and `peak_mib`.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" > /dev/null
  read -r seconds peak_kib < "$work/time"
  peak_mib=$(awk -v k="$peak_kib" 'BEGIN { printf "%.1f", k / 1024 }')
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
row() { printf '%-34s %7.2f s %8s MiB\n' "$1" "$seconds" "$peak_mib"; }

cat "$work/payload" > /dev/null  # both sides read from the page cache
measure mkimage -A ppc -O linux -T standalone -C none -a 0 -e 0 -n bench -d "$work/payload" "$work/u.img"
mkimage_s=$seconds; row "mkimage -d" 
measure "$imgtool" build "$work/b.img" --add "application:1.0.0.0:$work/payload"
build_s=$seconds; row "imgtool build"
measure "$imgtool" build "$work/s.img" --add "application:1.0.0.0:$work/payload" \
  --sign "$root/keys/sample_production_key.pem"
row "imgtool build --sign"
measure "$imgtool" sign "$work/b.img" --key "$root/keys/sample_production_key.pem"
row "imgtool sign"
measure "$imgtool" info "$work/b.img"
row "imgtool info"
measure "$imgtool" extract "$work/b.img" 0 "$work/out"
row "imgtool extract"
measure "$imgtool" verify "$work/b.img" --key "$root/keys/sample_production_key.pub.pem"
verify_s=$seconds; row "imgtool verify"
memory_s=$("$check" "$work/b.img")
printf '%-34s %7.2f s\n' "CRC + SHA-256 in memory" "$memory_s"
echo "build / mkimage -d:          $(ratio "$build_s" "$mkimage_s")"
echo "verify / checks in memory:   $(ratio "$verify_s" "$memory_s")"
