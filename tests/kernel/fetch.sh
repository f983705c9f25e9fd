#!/usr/bin/env bash
# Fetches the distribution's kernel and static busybox as packages (never installed) and keeps
# from them only what the test VM boots: the kernel image, the wanted modules with everything
# they depend on, and busybox.
#
# usage: fetch.sh OUT_DIR MODULE...
#   OUT_DIR/debs/      downloaded packages, kept between runs
#   OUT_DIR/vmlinuz    kernel image
#   OUT_DIR/busybox    static busybox
#   OUT_DIR/modules/   the modules, and modules.load: their names in loading order
set -euo pipefail

out=$1
shift
wanted=("$@")
debs=$out/debs
mkdir -p "$debs"

# Runs in the package cache directory; the lists may be missing on a machine that never updated.
download() {
  (cd "$debs" && apt-get download -q "$@" 2>&1) || {
    apt-get update -qq
    (cd "$debs" && apt-get download -q "$@" 2>&1)
  }
}

kernel_pkg() {
  apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n1
}

kpkg=$(kernel_pkg)
if [[ -z $kpkg ]]; then
  apt-get update -qq
  kpkg=$(kernel_pkg)
fi
[[ -n $kpkg ]] || { echo "fetch.sh: cannot resolve the package behind linux-image-amd64" >&2; exit 1; }

for pkg in "$kpkg" busybox-static; do
  compgen -G "$debs/${pkg}_*.deb" >/dev/null || download "$pkg"
done

tree=$(mktemp -d "$out/unpack.XXXXXX")
trap 'rm -rf "$tree"' EXIT
dpkg -x "$(compgen -G "$debs/${kpkg}_*.deb" | head -n1)" "$tree/kernel"
dpkg -x "$(compgen -G "$debs/busybox-static_*.deb" | head -n1)" "$tree/busybox"

vmlinuz=$(compgen -G "$tree/kernel/boot/vmlinuz-*" | head -n1)
moddir=$(compgen -G "$tree/kernel/lib/modules/*" | head -n1)

# The package ships no modules.dep (depmod makes it on install), so each module's own
# "depends=" record is read instead.
module_path() {
  local file
  file=$(find "$moddir/kernel" \( -name "$1.ko" -o -name "${1//_/-}.ko" -o -name "${1//-/_}.ko" \) | head -n1)
  [[ -n $file ]] || { echo "fetch.sh: module $1 not in $kpkg" >&2; exit 1; }
  echo "$file"
}

module_deps() {
  tr '\0' '\n' <"$1" | sed -n 's/^depends=//p' | tr ',' ' '
}

declare -A placed=()
order=()
place() {
  local name=${1//_/-} file dep
  [[ -n ${placed[$name]:-} ]] && return
  placed[$name]=1
  file=$(module_path "$name")
  for dep in $(module_deps "$file"); do
    place "$dep"
  done
  order+=("$name")
  cp "$file" "$out/modules.new/$name.ko"
}

rm -rf "$out/modules.new"
mkdir -p "$out/modules.new"
for m in "${wanted[@]}"; do
  place "$m"
done
printf '%s\n' "${order[@]}" >"$out/modules.new/modules.load"

rm -rf "$out/modules"
mv "$out/modules.new" "$out/modules"
cp "$vmlinuz" "$out/vmlinuz"
cp "$tree/busybox/bin/busybox" "$out/busybox"
echo "fetch.sh: $kpkg, modules in loading order: ${order[*]}"
