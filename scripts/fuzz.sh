#!/usr/bin/env bash
# Runs the libFuzzer harnesses (build preset "fuzz", clang) over the seeds
# from the gallery (Fuzz/Corpus) and the saved findings (Fuzz/Regressions).
#
#   scripts/fuzz.sh                          # CI: a fixed number of runs per harness, fixed seed
#   scripts/fuzz.sh --time SECONDS [NAME...] # by hand: each harness for SECONDS, one after another
#
# Any broken promise, sanitizer report, crash or hang (10 s) fails the run;
# the input is saved as build/fuzz/findings/NAME-*. Each run ends with one
# line per harness: runs, seconds, libFuzzer's final cov: and ft: figures.
# By hand, a working corpus grows in build/fuzz/corpus/NAME (delete it to
# start over); CI starts from the seeds alone.
set -euo pipefail
cd "$(dirname "$0")/.."

# Runs per harness in CI: about half a minute each on a 2-core machine.
declare -A ci_runs=([WarningLog]=20000 [Variables]=10000 [BmcAnswers]=8000 [HobList]=15000)
harnesses=(WarningLog Variables BmcAnswers HobList)

seconds=""
if [ "${1:-}" = "--time" ]; then
  seconds="$2"
  shift 2
  [ $# -gt 0 ] && harnesses=("$@")
fi

scripts/install-packages.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
mkdir -p "$build/findings" "$build/runs"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
summary=()
for name in "${harnesses[@]}"; do
  program="$build/Fuzz/${name}Fuzz"
  [ -x "$program" ] || { echo "no harness named $name" >&2; exit 1; }
  # CI starts each time from the seeds alone; by hand the corpus keeps growing.
  if [ -n "$seconds" ]; then
    corpus="$build/corpus/$name"
  else
    corpus="$scratch/$name"
  fi
  mkdir -p "$corpus" "Fuzz/Regressions/$name"
  log="$build/runs/$name${seconds:+-timed}.log"
  options=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "-artifact_prefix=$build/findings/$name-")
  if [ -n "$seconds" ]; then
    options+=("-max_total_time=$seconds")
  else
    options+=("-runs=${ci_runs[$name]}" -seed=1)
  fi
  echo "=== $name: ${options[*]}"
  status=0
  "$program" "${options[@]}" "$corpus" "Fuzz/Corpus/$name" "Fuzz/Regressions/$name" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  time=$(sed -n 's/^stat::.*//; s/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  cov=$(grep -a -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -a -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  summary+=("$name: ${runs:-?} runs in ${time:-?} s, cov: ${cov:-?}, ft: ${ft:-?}")
  if [ "$status" -ne 0 ]; then
    grep -a -E 'broken promise|ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -20 >&2
    echo "$name: a finding (log: $log)" >&2
    exit 1
  fi
done
printf '%s\n' "${summary[@]}"
