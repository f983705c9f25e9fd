#!/usr/bin/env bash
# Builds the boot manager and the host tools, packs the demo application into both image slots
# of a simulated board and boots it.
set -euo pipefail
cd "$(dirname "$0")/.."

# BUILD_DIR picks another build tree of the host preset (default build/host); ARCH=ppc boots the
# switch's build of the boot manager (the ppc preset's, under qemu-user) instead of the host's.
build=${BUILD_DIR:-build/host}
arch=${ARCH:-host}
bash scripts/setup.sh
cmake --preset host -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target bootmgr-sim boardsim imgtool
if [[ $arch != host ]]; then
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" -j "$(nproc)" --target bootmgr-sim
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
board=$work/board
boardsim=$build/tools/boardsim/boardsim
imgtool=$build/tools/imgtool/imgtool

# The application tarball: home/bin/mp.elf.strip with its install script and environment list.
tar -czf "$work/app.tar.gz" --owner=0 --group=0 -C sim/demo-app home
# A release for slot 1, signed with the sample production key the simulated boot manager trusts:
# stand-ins for the kernel, device tree and root file system, and the application.
mkdir -p "$work/drive"
yes "kernel stand-in" | head -c 1500000 >"$work/kernel" || true
yes "device tree stand-in" | head -c 40000 >"$work/devicetree" || true
yes "root file system stand-in" | head -c 6000000 >"$work/rfs" || true
"$imgtool" build "$work/drive/ZKM7730_replace1_OS.img" --sign keys/sample_production_key.pem \
  --add "kernel:4.19.0.2:$work/kernel" --add "devicetree:1.0.0.3:$work/devicetree" \
  --add "rfs:2.1.0.7:$work/rfs" --add "application:1.0.0.1:$work/app.tar.gz"
"$imgtool" info "$work/drive/ZKM7730_replace1_OS.img"
# Slot 2 keeps an unsigned build of the same application.
"$imgtool" build "$work/image" --add "application:1.0.0.1:$work/app.tar.gz"

# A board whose clock reads 5 December 2026, 09:15:30, with USB on and the release on its drive:
# the boot installs it into slot 1 (the kernel, device tree and root file system into flash)
# and boots it.
"$boardsim" create "$board" --arch "$arch" --rtc "2026-12-05 09:15:30" --time-scale 0.01 \
  --usb on --serial SW2612000417
mkdir -p "$board/user/images"
cp "$work/image" "$board/user/images/image2"
"$boardsim" usb "$board" attach "$work/drive"
status=0
"$boardsim" run "$board" --boots 1 --timeout 60 </dev/null || status=$?
echo "--- boardsim run exit status: $status (0 = the application started)"
# FLASH_MAP=docs/board-flash-map.png keeps the picture of the flash.
"$boardsim" show "$board" --svg "$work/flash-map.svg"
if [[ -n ${FLASH_MAP:-} ]]; then
  rsvg-convert "$work/flash-map.svg" -o "$FLASH_MAP"
  echo "--- flash map: $FLASH_MAP"
fi
