#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs every test: once
# in the normal build, once more built with AddressSanitizer and
# UndefinedBehaviorSanitizer (VARNOK_SKIP_SANITIZERS=1 skips that second run).
# Where clang is installed, every fuzz target then runs for a few seconds
# (VARNOK_FUZZ_SECONDS, default 5; VARNOK_SKIP_FUZZ=1 skips them), so that a
# reader that breaks on its seeds or on a short fuzz fails the run. A target
# whose program, options and seeds are byte for byte those of its last run
# that found nothing is not run again (VARNOK_FUZZ_ALWAYS=1 runs it anyway).
set -euo pipefail
cd "$(dirname "$0")/.."

# Each step's time goes to standard error, so that a slow step shows.
start=$SECONDS
step_start=$SECONDS
step() {
  echo "test.sh: $1 took $((SECONDS - step_start)) s ($((SECONDS - start)) s in all)" >&2
  step_start=$SECONDS
}
# A step that fails ends the run (set -e) and says so, with its exit status.
trap 'status=$?; echo "test.sh: failed after $((SECONDS - start)) s: \"$BASH_COMMAND\" exited with $status" >&2' ERR
bash scripts/setup.sh
step "setup"
. scripts/build-env.sh
jobs="$(nproc)"
# Many tests wait for a while (real windows, sound played in real time,
# display servers starting): twice as many tests as cores keep the cores busy.
test_jobs=$((jobs * 2))

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
step "normal build"

# The sanitizer build is made while the normal tests run, which leave the
# cores idle whenever all of them wait; its output goes to
# build-asan/build.log and is shown when it fails.
sanitizers=0
[ "${VARNOK_SKIP_SANITIZERS:-0}" != "1" ] && sanitizers=1
sanitizer_build=""
# A run that ends early stops the build, compilers and all (it runs in a
# process group of its own).
stop_sanitizer_build() {
  if [ -n "$sanitizer_build" ]; then kill -- "-$sanitizer_build" 2>/dev/null || kill "$sanitizer_build" 2>/dev/null || true; fi
}
trap stop_sanitizer_build EXIT
if [ "$sanitizers" = 1 ]; then
  sanitizer_compilers build-asan
  # The data are made by the normal build's content programs (the same files,
  # several times as fast); the tests run this build's own.
  cmake -S . -B build-asan "${SANITIZER_COMPILERS[@]}" -DCMAKE_BUILD_TYPE=Debug -DVARNOK_SANITIZE=ON -DVARNOK_BENCH=OFF \
    -DVARNOK_CONTENT_TOOLS="$PWD/build/tools" >/dev/null
  setsid -w cmake --build build-asan -j"$jobs" >build-asan/build.log 2>&1 &
  sanitizer_build=$!
fi

(cd build && ctest --output-on-failure -j"$test_jobs")
step "normal tests"

if [ "$sanitizers" = 1 ]; then
  status=0
  wait "$sanitizer_build" || status=$?
  sanitizer_build=""
  if [ "$status" -ne 0 ]; then
    cat build-asan/build.log >&2
    echo "test.sh: the sanitizer build failed (exit $status; its output above)" >&2
    exit 1
  fi
  step "sanitizer build (what the normal tests left of it)"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/../tests/lsan.supp" ctest --output-on-failure -j"$test_jobs")
  step "sanitizer tests"
fi

if [ "${VARNOK_SKIP_FUZZ:-0}" != "1" ]; then
  if command -v clang++ >/dev/null && command -v clang >/dev/null; then
    changed=(--changed)
    [ "${VARNOK_FUZZ_ALWAYS:-0}" = "1" ] && changed=()
    bash scripts/fuzz.sh --seconds "${VARNOK_FUZZ_SECONDS:-5}" "${changed[@]}"
    step "fuzz build and runs"
  else
    echo "test.sh: clang is not installed; the fuzz targets are skipped" >&2
  fi
fi
