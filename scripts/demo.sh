#!/usr/bin/env bash
# Builds the boot manager and the host tools, packs the demo application into both image slots
# of a simulated board and boots it.
set -euo pipefail
cd "$(dirname "$0")/.."

# BUILD_DIR picks another build tree of the host preset (default build/host).
build=${BUILD_DIR:-build/host}
bash scripts/setup.sh
cmake --preset host -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target bootmgr-sim boardsim imgtool

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
board=$work/board
boardsim=$build/tools/boardsim/boardsim
imgtool=$build/tools/imgtool/imgtool

# The application tarball: home/bin/mp.elf.strip with its install script and environment list.
tar -czf "$work/app.tar.gz" --owner=0 --group=0 -C sim/demo-app home
"$imgtool" build "$work/image" --add "application:1.0.0.1:$work/app.tar.gz"
"$imgtool" info "$work/image"

# A board whose clock reads 5 December 2026, 09:15:30, with the image in both slots.
"$boardsim" create "$board" --rtc "2026-12-05 09:15:30" --time-scale 0.01
mkdir -p "$board/user/images"
cp "$work/image" "$board/user/images/image1"
cp "$work/image" "$board/user/images/image2"
status=0
"$boardsim" run "$board" --boots 1 --timeout 60 </dev/null || status=$?
echo "--- boardsim run exit status: $status (0 = the application started)"
"$boardsim" show "$board"
