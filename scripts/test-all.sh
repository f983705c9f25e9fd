#!/usr/bin/env bash
# Installs what the project needs, builds the host, sanitizer and PowerPC presets and runs every
# test: natively, under the sanitizers, and as a 32-bit big-endian build under qemu-user.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
for preset in host sanitize ppc; do
  echo "=== ${preset}: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: test"
  ctest --preset "$preset" -j "$jobs"
done
