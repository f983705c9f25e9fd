#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) and cppcheck over src/ and tools/, with the compile commands
# of a configured build tree (default build/coverage). Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/coverage}

# Only our own translation units: the build also compiles GoogleTest and the tests.
mkdir -p "$build/static-checks"
python3 - "$build" <<'PY'
import json, os, sys
build = sys.argv[1]
root = os.getcwd()
ours = [e for e in json.load(open(os.path.join(build, "compile_commands.json")))
        if os.path.relpath(e["file"], root).split(os.sep)[0] in ("src", "tools")]
json.dump(ours, open(os.path.join(build, "static-checks", "compile_commands.json"), "w"))
PY

echo "=== clang-tidy"
status=0
python3 -c 'import json,sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))))' \
  "$build/static-checks/compile_commands.json" |
  xargs -n 4 -P "$(nproc)" clang-tidy -p "$build/static-checks" --quiet \
    --extra-arg=-Wno-unknown-warning-option \
    >"$build/static-checks/clang-tidy.log" 2>&1 || status=$?
# clang reports how many warnings the headers it skipped produced; only findings matter.
grep -v 'warnings\? generated\.$' "$build/static-checks/clang-tidy.log" || true
if ((status != 0)); then exit 1; fi

echo "=== cppcheck"
cppcheck --project="$build/static-checks/compile_commands.json" --std=c++20 \
  --enable=warning,performance,portability --suppress=missingIncludeSystem \
  --inline-suppr --error-exitcode=1 --quiet -j "$(nproc)"
echo "static checks clean"
