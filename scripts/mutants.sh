#!/usr/bin/env bash
# Seeded faults in src/ against the tests that can see them: how many the suite catches.
#
#   scripts/mutants.sh list                      the sample: 120 mutants, seed 2026
#   scripts/mutants.sh run [--background] [OPTIONS]
#                                                builds and tests each mutant in a work tree of its
#                                                own; a stopped run resumes where it stopped
#   scripts/mutants.sh report [--results DIR]    killed / survived / not built, and the survivors
#
# A run's folder (--results, default build/mutants) keeps a detached work tree of --rev with its
# own build, the sample (mutants.json), one line per mutant (results.tsv) and the log. To try the
# same mutants on other tests: run --rev REV --results DIR2 --sample DIR/mutants.json, and add
# --hints DIR to try first, for each mutant, the test that killed it there.
# A mutant runs the tests labelled for its library (scripts/mutants.py), stopping at the first
# failure; one that does not compile counts as not built. Too slow for CI: minutes per mutant.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [[ ${1:-} == run && " $* " == *" --background "* ]]; then
  args=()
  results="$here/../build/mutants"
  prev=""
  for a in "$@"; do
    [[ $a == --background ]] && continue
    [[ $prev == --results ]] && results=$a
    args+=("$a")
    prev=$a
  done
  mkdir -p "$results"
  nohup nice python3 "$here/mutants.py" "${args[@]}" >>"$results/run.out" 2>&1 </dev/null &
  echo "mutants.sh: running in the background (pid $!); progress in $results/run.out"
  exit 0
fi
exec python3 "$here/mutants.py" "$@"
