#!/usr/bin/env bash
# Builds the boot manager and the host tools and boots a simulated board.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc)"
