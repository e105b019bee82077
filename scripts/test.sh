#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: the normal build, an AddressSanitizer +
# UndefinedBehaviorSanitizer build (leaks checked, windows on the offscreen platform), a
# ThreadSanitizer build, and the fuzz targets for a bounded time. Every build treats compiler
# warnings as errors.
#   bash scripts/test.sh           everything (what CI runs)
#   bash scripts/test.sh --quick   the normal build's quick tests only (ctest label "quick": no soak,
#                                  no sound server, no browser, no namespaces), a few minutes at most
# A stage whose tests fail does not stop the later ones: the command fails at the end, naming them.
# Each build has its folder of its own (build, build-asan, build-tsan, build-fuzz) with every option
# stated, so a folder configured by another command (run.sh builds in build-run, package.sh in
# build-package) or by hand cannot turn the tests off; a build without tests is an error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: bash scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
FUZZ_SECONDS=${FUZZ_SECONDS:-20}
export CTEST_OUTPUT_ON_FAILURE=1
bash scripts/install-deps.sh
skipped=()   # stages that could not run here, with the reason: repeated in the summary
failed=()    # stages whose tests failed: the later stages still run, and the command fails at the end
# The options every test build states, whatever its folder's cache holds.
TEST_BUILD=(-DCMAKE_BUILD_TYPE=Debug -DKELVO_WERROR=ON -DKELVO_TESTS=ON -DKELVO_GUI=ON -DKELVO_FUZZ=OFF)
CTEST=(ctest -j2 --timeout 300 --no-tests=error)
# The tests that hear real sound (label sound) measure what a sound server delivers in real time:
# on a machine whose cores are taken by other work, the server itself now and then misses its
# turn and a cue or a talk breaks, whatever the program did. Each such test gets a second try; a
# fault of the program fails both, and ctest prints every failed try.
ctest_all() {
  local ok=0
  "${CTEST[@]}" -LE sound "$@" || ok=1
  "${CTEST[@]}" -L sound --repeat until-pass:2 "$@" || ok=1
  return $ok
}

echo "== build and tests"
bash scripts/build.sh build "${TEST_BUILD[@]}" -DKELVO_BENCH=ON -DKELVO_SANITIZE=
if $quick; then
  start=$(date +%s)
  (cd build && "${CTEST[@]}" -L quick)
  echo
  echo "quick tests passed in $(( $(date +%s) - start )) s (the full command: bash scripts/test.sh)"
  exit 0
fi
(cd build && ctest_all) || failed+=("normal build's tests")

# Tests that run whole programs (the classroom in namespaces, the soak, the console in a browser,
# the station on a desktop with a window manager) are left out of the sanitizer builds: they drive
# the same code the test programs run in-process, and under a sanitizer the programs are too slow
# for a desktop's and a browser's timings (focus, key repeat, page loads).
WHOLE_PROGRAMS='^(E2E\.|Console\.(Browser|Remote)$|Desktop\.)'

echo "== address and undefined-behaviour sanitizers, leaks included"
bash scripts/build.sh build-asan "${TEST_BUILD[@]}" -DKELVO_SANITIZE=address,undefined -DKELVO_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest_all -E "$WHOLE_PROGRAMS") || failed+=("address sanitizer's tests")

# Every test program under the thread sanitizer, not a list of names that goes stale as threaded
# tests are added; the window tests on the offscreen platform included. Left out: the whole
# programs (above). The tests that hear the cues on a sound server they start themselves
# (tests/support/sink_ear.h) skip themselves in this build and say why; so are the tests below,
# which start a sound server and its recorder from inside the test program once Qt's threads
# run: after that fork the sanitizer no longer sees those threads' locks and the test hangs.
NO_FORK_UNDER_TSAN='^(PartnerSound\.|PushToTalkWindow\.|VoicePulse\.Loudspeakers)'
echo "== thread sanitizer"
bash scripts/build.sh build-tsan "${TEST_BUILD[@]}" -DKELVO_SANITIZE=thread -DKELVO_BENCH=OFF
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" \
  ctest_all -E "$WHOLE_PROGRAMS|$NO_FORK_UNDER_TSAN") || failed+=("thread sanitizer's tests")

# The fuzz targets need clang and its libFuzzer runtime; without them the stage says so.
fuzz_missing=
command -v clang++ >/dev/null || fuzz_missing="no clang++"
if [ -z "$fuzz_missing" ]; then
  fuzzer_lib=$(clang++ -print-file-name="libclang_rt.fuzzer-$(uname -m).a" 2>/dev/null || true)
  [ -f "$fuzzer_lib" ] || fuzzer_lib=$(clang++ -print-runtime-dir 2>/dev/null || true)/libclang_rt.fuzzer-$(uname -m).a
  [ -f "$fuzzer_lib" ] || fuzz_missing="no libFuzzer runtime for $(clang++ -dumpversion) (libclang-rt-dev)"
fi
if [ -n "$fuzz_missing" ]; then
  echo "== fuzzing skipped: $fuzz_missing"
  skipped+=("fuzzing skipped: $fuzz_missing")
else
  echo "== fuzz targets, ${FUZZ_SECONDS}s each"
  bash scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=Debug -DKELVO_WERROR=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DKELVO_FUZZ=ON -DKELVO_GUI=OFF -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF -DKELVO_SANITIZE=
  for f in build-fuzz/fuzz/fuzz_*; do
    [ -f "$f" ] && [ -x "$f" ] || continue
    mkdir -p "build-fuzz/corpus/$(basename "$f")"
    seeds=()   # inputs kept in the sources: each kind of valid input, and the hostile cases a target must survive
    [ -d "fuzz/seeds/$(basename "$f")" ] && seeds=("fuzz/seeds/$(basename "$f")")
    dict=()    # the tokens of a target's structured text
    [ -f "fuzz/dicts/$(basename "$f").dict" ] && dict=(-dict="fuzz/dicts/$(basename "$f").dict")
    # Undefined behaviour stops a target as a crash does (libFuzzer alone would only print it).
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 "$f" -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 "${dict[@]}" \
      "build-fuzz/corpus/$(basename "$f")" "${seeds[@]}" 2>&1 | tail -2 \
      || failed+=("fuzz target $(basename "$f")")
  done
fi

echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "test stages failed:"
  printf '  %s\n' "${failed[@]}"
  exit 1
fi
if [ ${#skipped[@]} -eq 0 ]; then
  echo "all test stages passed"
else
  echo "the test stages that ran passed; not run:"
  printf '  %s\n' "${skipped[@]}"
fi
