#!/usr/bin/env bash
# A long fuzzing run, e.g. nightly: scripts/fuzz-long.sh [SECONDS]   (default 3600 per target)
# Builds the libFuzzer targets (clang) into build-fuzz/ and runs each for SECONDS, one after the
# other, on one core each (FUZZ_JOBS=N runs N at a time). Each target's corpus grows in
# fuzz-corpus/<target>/ (ignored by git) from one run to the next; the seeds in fuzz/seeds/ are read
# as well. A finding is written to fuzz-corpus/<target>/findings/ and ends the script with failure
# once every target has run; the runs per second and corpus sizes are printed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-3600}
jobs=${FUZZ_JOBS:-1}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }
command -v clang++ >/dev/null || { echo "fuzzing skipped: no clang++" >&2; exit 1; }

bash scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DKELVO_FUZZ=ON \
  -DKELVO_GUI=OFF -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF

run_one() {
  local target=$1 name; name=$(basename "$1")
  local corpus=fuzz-corpus/$name
  mkdir -p "$corpus/findings"
  local seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  # New inputs go to the first folder (the kept corpus); the seeds are only read.
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$corpus/findings/" "$corpus" "${seeds[@]}" >"$corpus/last-run.log" 2>&1
}

failed=()
pids=() names=()
for target in build-fuzz/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  echo "fuzzing $(basename "$target") for ${seconds}s"
  run_one "$target" & pids+=($!) names+=("$(basename "$target")")
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed+=("${names[0]}")
    pids=("${pids[@]:1}") names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || failed+=("${names[$i]}")
done

printf '\n%-26s %12s %10s %8s\n' target runs runs/s corpus
for log in fuzz-corpus/*/last-run.log; do
  name=$(basename "$(dirname "$log")")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  printf '%-26s %12s %10s %8s\n' "$name" "${runs:-?}" "${rate:-?}" "$(find "fuzz-corpus/$name" -maxdepth 1 -type f ! -name last-run.log | wc -l)"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (see fuzz-corpus/<target>/findings/ and last-run.log)"
  exit 1
fi
