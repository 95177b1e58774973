#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one
# with its seeds, as many side by side as there are cores (VARNOK_FUZZ_JOBS
# to choose), then prints one summary line per target. Exit status 1 when any
# target found something.
#
#   scripts/fuzz.sh [--runs N | --seconds S] [--no-build] [TARGET...]
#
# --runs N      executions per target (default 100000)
# --seconds S   time per target instead of a number of executions
# --no-build    use the targets and seeds already in build-fuzz/
# TARGET        only these targets (default: every target the build made)
#
# Every target the build makes has build-fuzz/fuzz/TARGET.options (its
# libFuzzer options, written by tests/fuzz/CMakeLists.txt) and seeds in
# build-fuzz/fuzz/seeds/TARGET. The grown corpus is kept in
# build-fuzz/corpus/TARGET, findings in build-fuzz/findings/TARGET and the
# fuzzer's output in build-fuzz/logs/TARGET.log, all outside the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build-env.sh

runs=100000
seconds=""
build=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; seconds=""; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "fuzz.sh: clang is not installed" >&2
  exit 2
fi

out=build-fuzz
if [ "$build" = 1 ]; then
  # The seed maps are exported by the normal build's game when there is one.
  game=""
  [ -x build/varnok ] && game="$PWD/build/varnok"
  cmake -S . -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DVARNOK_FUZZ=ON \
    -DVARNOK_TESTS=OFF -DVARNOK_BENCH=OFF -DVARNOK_FUZZ_GAME="$game" >/dev/null
  cmake --build "$out" -j"${VARNOK_FUZZ_BUILD_JOBS:-2}" --target fuzzers fuzz_seeds >/dev/null
fi

if [ ${#targets[@]} -eq 0 ]; then
  for options in "$out"/fuzz/*.options; do
    targets+=("$(basename "$options" .options)")
  done
fi

# Fuzzer limits common to every target; the quarantine of freed memory is
# kept small so that it does not count against the memory bound.
common=(-rss_limit_mb=256 -malloc_limit_mb=256 -timeout=10 -print_final_stats=1)
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# One target's run; its summary line goes to $out/logs/TARGET.summary and its
# exit status tells whether it found something.
run_target() {
  local t="$1" bin="$out/fuzz/$1" corpus="$out/corpus/$1" findings="$out/findings/$1" log="$out/logs/$1.log"
  local options limit before after found status=0 execs rate rss cov units line
  read -r -a options < "$out/fuzz/$t.options"
  if [ -n "$seconds" ]; then limit=(-max_total_time="$seconds"); else limit=(-runs="$runs"); fi
  before=$(find "$findings" -type f | wc -l)
  "$bin" "${options[@]}" "${common[@]}" "${limit[@]}" -artifact_prefix="$findings/" \
    "$corpus" "$out/fuzz/seeds/$t" >"$log" 2>&1 || status=$?
  after=$(find "$findings" -type f | wc -l)
  found=$((after - before))
  if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 | awk '{print $2 "/" $4}')
  units=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | awk '{print $2}')
  line=$(printf '%-21s execs %-9s exec/s %-6s cov/ft %-11s corpus %-5s findings %-2s peak-rss %sMB' \
    "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${units:-?}" "$found" "${rss:-?}")
  if [ "$found" -ne 0 ]; then line="$line  (see $log)"; fi
  echo "$line" | tee "$out/logs/$t.summary"
  [ "$found" -eq 0 ]
}

for t in "${targets[@]}"; do
  if [ ! -x "$out/fuzz/$t" ] || [ ! -f "$out/fuzz/$t.options" ]; then
    echo "fuzz.sh: no target $t in $out/fuzz" >&2
    exit 2
  fi
  mkdir -p "$out/corpus/$t" "$out/findings/$t" "$out/logs"
  rm -f "$out/logs/$t.summary"
done

# The targets run side by side, one a core (VARNOK_FUZZ_JOBS to choose).
jobs="${VARNOK_FUZZ_JOBS:-$(nproc)}"
failed=0
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done

echo "---- fuzz summary ----"
for t in "${targets[@]}"; do cat "$out/logs/$t.summary" 2>/dev/null || echo "$t: no summary (see $out/logs/$t.log)"; done
exit "$failed"
