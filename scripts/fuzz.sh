#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one over its seed corpus.
#
#   scripts/fuzz.sh                         smoke: 10 s per target (what CI runs)
#   scripts/fuzz.sh --seconds 1200 --runs 10000000 [target...]   a campaign
#
# New corpus entries go to build/fuzz/work/<target>, never into the checked-in seeds; logs to
# build/fuzz/logs/<target>.log. One summary line per target; the exit status is non-zero when a
# target found a crash, a leak or an input that ran a minute (the input is kept in
# build/fuzz/work; a minute, because campaigns run at low priority beside builds).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=10
runs=-1
targets=()
while (($#)); do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

build=build/fuzz
CC=clang CXX=clang++ cmake -S fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
if ((${#targets[@]} == 0)); then
  for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi

dictionary_of() {
  case "$1" in
    fuzz_crypto_asn1|fuzz_crypto_asn1_model|fuzz_crypto_keys|fuzz_crypto_keys_openssl)
      echo crypto_der.dict ;;
    fuzz_crypto_base64|fuzz_crypto_base64_openssl) echo crypto_pem.dict ;;
    fuzz_env_flags) echo env_flags.dict ;;
    fuzz_read_line) echo console_keys.dict ;;
  esac
}

# Paths stay relative to the work directory: the installer target runs its inputs inside a root
# of its own, where only the directory it started in is still reachable.
mkdir -p "$build/work" "$build/logs"
cd "$build/work"
failed=0
printf '%-28s %12s %8s %8s %8s %8s\n' target executions seconds cov features corpus
for target in "${targets[@]}"; do
  mkdir -p "$target"
  options=(-max_total_time="$seconds" -runs="$runs" -print_final_stats=1 -close_fd_mask=1
           -timeout=60 -rss_limit_mb=2048 -artifact_prefix="$target/crash-")
  dictionary=$(dictionary_of "$target")
  if [[ -n $dictionary ]]; then options+=(-dict="../../../fuzz/$dictionary"); fi
  log=../logs/$target.log
  status=0
  "../$target" "${options[@]}" "$target" "../../../fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  elapsed=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  last=$(grep -aE '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(find "$target" -maxdepth 1 -type f ! -name 'crash-*' | wc -l)
  printf '%-28s %12s %8s %8s %8s %8s\n' "$target" "${executions:-?}" "${elapsed:-?}" \
    "${cov:-?}" "${features:-?}" "$corpus"
  if ((status != 0)); then
    echo "  FAILED (exit status $status), see $build/logs/$target.log:"
    grep -aE 'ERROR|SUMMARY|Test unit written' "$log" | head -5 | sed 's/^/    /'
    failed=1
  fi
done
exit "$failed"
