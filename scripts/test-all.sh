#!/usr/bin/env bash
# Installs what the project needs, builds and tests the PowerPC, host (with line coverage) and
# sanitizer presets (as a 32-bit big-endian build under qemu-user, natively, under the
# sanitizers), runs the front panel test alone, then prints the line coverage of src/, runs the
# static checkers and gives every fuzz target a short run over its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
# The coverage preset is the host build with gcov counters: the host tests run there. The ppc
# preset comes first: the host's end-to-end tests boot its bootmgr-sim on a board too.
for preset in ppc coverage sanitize; do
  echo "=== ${preset}: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: test"
  if [[ $preset == coverage ]]; then
    find build/coverage -name '*.gcda' -delete
  fi
  # The front panel test samples a board in real time: it runs alone, after the heavy suites.
  ctest --preset "$preset" -j "$jobs" -LE panel
done

echo "=== front panel"
ctest --preset coverage -L panel

echo "=== line coverage of src/"
gcovr -r . --filter 'src/' build/coverage --print-summary --fail-under-line 90 -s \
  --txt build/coverage/coverage.txt

echo "=== layers"
bash scripts/check-layers.sh

# A ratchet: the tests may not grow against the code; the goal is a third.
echo "=== test code against product code"
bash scripts/test-ratio.sh --max 0.46

echo "=== static checks"
bash scripts/static-checks.sh build/coverage

echo "=== fuzz smoke runs"
bash scripts/fuzz.sh
