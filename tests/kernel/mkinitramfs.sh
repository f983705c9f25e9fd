#!/usr/bin/env bash
# Packs the test VM's root: static busybox, the fetched modules in loading order, the init
# script and the statically linked test program.
#
# usage: mkinitramfs.sh OUT.cpio.gz FETCH_DIR INIT_SCRIPT PROGRAM
set -euo pipefail

out=$1 fetched=$2 init=$3 program=$4
stage=$(mktemp -d "$(dirname "$out")/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT

mkdir -p "$stage"/{bin,dev,proc,sys,tmp,lib/modules}
cp "$fetched/busybox" "$stage/bin/busybox"
cp "$fetched"/modules/*.ko "$fetched/modules/modules.load" "$stage/lib/modules/"
cp "$init" "$stage/init"
cp "$program" "$stage/bin/vmtest"
chmod 755 "$stage/init" "$stage/bin/busybox" "$stage/bin/vmtest"

(cd "$stage" && find . -mindepth 1 | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) | gzip -1 >"$out.new"
mv "$out.new" "$out"
