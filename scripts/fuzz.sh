#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for the given number of
# seconds. Each starts from its seed directories (tests/data, resources/,
# fuzz/corpus/TARGET and, where present, the Debian test-data packages) and
# keeps what it finds new in BUILD/corpus/TARGET; crashes land in
# BUILD/crashes/. Exits 1 when any target found a problem. The mutations
# follow a fixed seed (FUZZ_SEED, 1 unless set), so a short run finds the
# same inputs on every machine; set FUZZ_SEED=0 for a random one.
set -uo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
export UBSAN_OPTIONS="suppressions=$PWD/fuzz/ubsan.supp:print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1"
status=0
mkdir -p "$build/crashes"
for exe in "$build"/bin/fuzz-*; do
  name=${exe##*/fuzz-}
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  # Seed directories are read as they are; single seed files are copied in
  seeds=()
  if [ -f "$build/fuzz/$name.seeds" ]; then
    IFS=';' read -r -a listed < "$build/fuzz/$name.seeds"
    for seed in "${listed[@]}"; do
      if [ -d "$seed" ]; then seeds+=("$seed"); elif [ -f "$seed" ]; then cp "$seed" "$corpus/"; fi
    done
  fi
  log="$build/fuzz-$name.log"
  "$exe" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -max_len=1048576 \
    -artifact_prefix="$build/crashes/$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1
  result=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  [ -z "$runs" ] && runs=$(grep -Eo '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  if [ $result -eq 0 ]; then
    echo "fuzz $name: ${runs:-?} runs in ${seconds}s, nothing found"
  else
    echo "fuzz $name: FAILED (exit $result), see $log and $build/crashes/"
    grep -m3 -E 'ERROR|runtime error|SUMMARY' "$log" || true
    status=1
  fi
done
exit $status
