#!/usr/bin/env bash
# Lines of test code against lines of product code, as cloc counts them: tests/ (without its data)
# against src/ and tools/; fuzz/ and bench/ count on neither side.
#
#   scripts/test-ratio.sh [--max RATIO]    fails when the ratio is above RATIO
set -euo pipefail
cd "$(dirname "$0")/.."

max=""
while (($#)); do
  case "$1" in
    --max) max=$2; shift 2 ;;
    -h|--help) sed -n '2,5p' "$0"; exit 0 ;;
    *) echo "test-ratio.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done

code_lines() {
  cloc "$@" --quiet --csv | awk -F, '$2 == "SUM" { print $5 }'
}
tests=$(code_lines tests --exclude-dir=data --exclude-lang=JSON,Text,CMake)
code=$(code_lines src tools --exclude-lang=CMake)
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.2f", t / c }')
echo "test code ${tests} lines, product code ${code} lines: ratio ${ratio}${max:+ (at most $max)}"
if [[ -n $max ]] && awk -v r="$ratio" -v m="$max" 'BEGIN { exit !(r > m) }'; then
  echo "test-ratio.sh: the tests have grown past ${max} of the code" >&2
  exit 1
fi
