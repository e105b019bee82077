#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A long fuzzing run, e.g. nightly: scripts/fuzz-long.sh [SECONDS]   (default 3600 per target)
# Builds the libFuzzer targets (clang) into build-fuzz/ and runs each for SECONDS, one after the
# other, on one core each (FUZZ_JOBS=N runs N at a time; FUZZ_TARGETS="fuzz_a fuzz_b" runs only
# those). Each target starts from its seeds (fuzz/seeds/<target>/, only read) and its kept corpus
# (fuzz-corpus/<target>/, ignored by git, grown from one run to the next), with its dictionary
# (fuzz/dicts/<target>.dict) where it has one. A finding (undefined behaviour included) is written to
# fuzz-corpus/findings/<target>/ and ends the script with failure once every target has run; each
# run's output is fuzz-corpus/logs/<target>.log. The corpus folders hold inputs only.
#
# It ends with what the corpus reaches: a coverage build of the targets (build-fuzz-cov/) runs each
# over its seeds and corpus, and llvm-cov measures the share of functions and lines hit in the
# target's reader files (the table below), beside the runs per second of the run. Every reader
# function never hit is listed, with its reason from fuzz/coverage-exceptions.txt or as
# UNEXPLAINED. SECONDS 0 skips the fuzzing and only measures the corpus kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Each target and the files of the readers it drives. A new target: fuzz/fuzz_<name>.cpp, its seeds
# in fuzz/seeds/fuzz_<name>/, a dictionary for structured text, and one line here.
READERS=(
  "fuzz_record              src/wire/record.cpp"
  "fuzz_station_datagram    src/dsc/reception.cpp src/station/ricezione.cpp src/station/risposte.cpp"
  "fuzz_exchange_datagram   src/exchange/record_check.cpp src/exchange/log_format.cpp src/exchange/debrief.cpp
                            src/exchange/virtual_station.cpp src/exchange/virtual_host.cpp"
  "fuzz_console_request     src/exchange/relay.cpp src/exchange/console/request_reader.cpp src/exchange/compose_fields.cpp
                            src/exchange/console/console_actions.cpp src/exchange/console/console_json.cpp
                            src/exchange/console/evaluation.cpp src/exchange/console/report_html.cpp
                            src/exchange/console/record_book.cpp src/exchange/console/access_rules.cpp"
  "fuzz_exercise            src/exchange/exercise.cpp"
  "fuzz_partner_phrases     src/exchange/spoken_answer.cpp"
  "fuzz_profile             src/station/profile.cpp src/station/FileIni.cpp"
  "fuzz_voice_rx            src/audio/voice_packet.cpp src/audio/broadcast_rx.cpp src/audio/gsm_codec.cpp
                            src/audio/resampler.cpp src/audio/jitter_buffer.cpp"
  "fuzz_watch_recorder      src/exchange/watch_recorder.cpp src/exchange/gsm_wav.cpp"
  "fuzz_wave_read           src/audio/wave_read.cpp"
  "fuzz_cue_decode          src/audio/cue_engine.cpp"
  "fuzz_station_page        src/exchange/web/page_message.cpp src/exchange/console/access_rules.cpp"
)

seconds=${1:-3600}
jobs=${FUZZ_JOBS:-1}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }
command -v clang++ >/dev/null || { echo "fuzzing skipped: no clang++" >&2; exit 1; }
# The LLVM tools of the clang that builds: their profile format is the one it writes.
llvm_version=$(clang++ -dumpversion | cut -d. -f1)
profdata=$(command -v "llvm-profdata-$llvm_version" || command -v llvm-profdata || true)
cov=$(command -v "llvm-cov-$llvm_version" || command -v llvm-cov || true)

declare -A files=()
targets=()
for line in "${READERS[@]}"; do
  set -- $line
  name=$1; shift
  files[$name]="$*"
  if [ -n "${FUZZ_TARGETS:-}" ] && [[ " $FUZZ_TARGETS " != *" $name "* ]]; then continue; fi
  targets+=("$name")
done

common=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DKELVO_FUZZ=ON -DKELVO_GUI=OFF -DKELVO_TESTS=OFF
  -DKELVO_BENCH=OFF)
bash scripts/build.sh build-fuzz "${common[@]}"
for f in build-fuzz/fuzz/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] && [ -z "${files[$(basename "$f")]+set}" ] &&
    echo "warning: $(basename "$f") has no line in READERS of $0: its coverage is not measured" >&2
done

# The folders a target reads: its kept corpus first (new inputs go there), then its seeds.
corpus_of() {
  local name=$1
  echo "fuzz-corpus/$name"
  [ -d "fuzz/seeds/$name" ] && echo "fuzz/seeds/$name"
  return 0
}

# Undefined behaviour stops a target like a crash does, so that it is kept as a finding.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_one() {
  local name=$1
  local dict=()
  mkdir -p "fuzz-corpus/$name" "fuzz-corpus/findings/$name" fuzz-corpus/logs
  [ -f "fuzz/dicts/$name.dict" ] && dict=(-dict="fuzz/dicts/$name.dict")
  mapfile -t dirs < <(corpus_of "$name")
  "build-fuzz/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="fuzz-corpus/findings/$name/" "${dirs[@]}" >"fuzz-corpus/logs/$name.log" 2>&1
}

failed=()
if [ "$seconds" -gt 0 ]; then
  pids=() names=()
  for name in "${targets[@]}"; do
    [ -x "build-fuzz/fuzz/$name" ] || { echo "no target $name in build-fuzz/fuzz" >&2; failed+=("$name"); continue; }
    echo "fuzzing $name for ${seconds}s"
    run_one "$name" & pids+=($!) names+=("$name")
    if [ ${#pids[@]} -ge "$jobs" ]; then
      wait "${pids[0]}" || failed+=("${names[0]}")
      pids=("${pids[@]:1}") names=("${names[@]:1}")
    fi
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || failed+=("${names[$i]}")
  done
fi

# Coverage: the same targets built with clang's source-based coverage, each run once over every
# input it has (-runs=0 runs the corpus and stops).
coverage=1
if [ -z "$profdata" ] || [ -z "$cov" ]; then
  echo "coverage not measured: no llvm-profdata or llvm-cov for clang $llvm_version" >&2
  coverage=0
else
  echo "coverage build (build-fuzz-cov)"
  bash scripts/build.sh build-fuzz-cov "${common[@]}" -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
    -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate"
  rm -rf build-fuzz-cov/profiles && mkdir -p build-fuzz-cov/profiles
fi

printf '\n%-24s %10s %7s %7s  %-18s %-18s %s\n' target runs runs/s corpus "functions hit" "lines hit" \
  "functions not hit: explained, unexplained"
unexplained_total=0
for name in "${targets[@]}"; do
  log=fuzz-corpus/logs/$name.log   # the target's last run, this one's unless SECONDS is 0
  runs=? rate=?
  if [ -f "$log" ]; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  fi
  mkdir -p "fuzz-corpus/$name"
  size=$(find "fuzz-corpus/$name" -maxdepth 1 -type f | wc -l)
  functions=- lines=- explained=- unexplained=-
  if [ "$coverage" = 1 ] && [ -x "build-fuzz-cov/fuzz/$name" ]; then
    profile=build-fuzz-cov/profiles/$name
    mapfile -t dirs < <(corpus_of "$name")
    LLVM_PROFILE_FILE="$profile.%p.profraw" "build-fuzz-cov/fuzz/$name" -runs=0 -rss_limit_mb=4096 "${dirs[@]}" \
      >"$profile.log" 2>&1 || echo "warning: the coverage run of $name failed (see $profile.log)" >&2
    if ! compgen -G "$profile.*.profraw" >/dev/null; then
      printf '%-24s no coverage: its run over the corpus wrote no profile (see %s)\n' "$name" "$profile.log"
      continue
    fi
    "$profdata" merge -sparse "$profile".*.profraw -o "$profile.profdata"
    read -ra sources <<<"${files[$name]}"
    "$cov" export -format=text "build-fuzz-cov/fuzz/$name" -instr-profile="$profile.profdata" >"$profile.json"
    totals=$(python3 scripts/fuzz-coverage.py "$profile.json" fuzz/coverage-exceptions.txt "$profile.missed" \
      "${sources[@]}")
    read -r fn_hit fn ln_hit ln <<<"$totals"
    functions=$(printf '%d/%d %d%%' "$fn_hit" "$fn" $(( fn ? 100 * fn_hit / fn : 0 )))
    lines=$(printf '%d/%d %d%%' "$ln_hit" "$ln" $(( ln ? 100 * ln_hit / ln : 0 )))
    explained=$(grep -c '^explained' "$profile.missed" || true)
    unexplained=$(grep -c '^UNEXPLAINED' "$profile.missed" || true)
    unexplained_total=$((unexplained_total + unexplained))
  fi
  printf '%-24s %10s %7s %7s  %-18s %-18s %s, %s\n' "$name" "${runs:-?}" "${rate:-?}" "$size" "$functions" "$lines" \
    "$explained" "$unexplained"
done
if [ "$coverage" = 1 ]; then
  echo
  echo "reader functions the corpus never reached:"
  for name in "${targets[@]}"; do
    [ -s "build-fuzz-cov/profiles/$name.missed" ] || continue
    sed "s/^/  $name: /" "build-fuzz-cov/profiles/$name.missed"
  done
  [ "$unexplained_total" -eq 0 ] || echo "$unexplained_total reader functions never reached without a reason in fuzz/coverage-exceptions.txt"
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (see fuzz-corpus/findings/<target>/ and fuzz-corpus/logs/<target>.log)"
  exit 1
fi
