#!/usr/bin/env bash
# Builds the boot manager and the host tools and boots a simulated board.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc)"

# A fresh board whose clock reads 5 December 2026, 09:15:30, booted once: the start-up sequence
# runs its commands through the board's stub tools and ends in the fallback and the reboot.
board=$(mktemp -d)/board
trap 'rm -rf "$(dirname "$board")"' EXIT
tools=build/host/tools/boardsim
"$tools/boardsim" create "$board" --rtc "2026-12-05 09:15:30" --time-scale 0.01
"$tools/boardsim" env "$board" bootdelay=3 gdbserver=on gdbport=2345
status=0
"$tools/boardsim" run "$board" --boots 1 --timeout 60 </dev/null || status=$?
echo "--- boardsim run exit status: $status (3 = the boot ended in a reboot)"
"$tools/boardsim" show "$board"
