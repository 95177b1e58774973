#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one
# with its seeds, as many side by side as there are cores (VARNOK_FUZZ_JOBS
# to choose), then prints one summary line per target. Exit status 1 when any
# target found something.
#
#   scripts/fuzz.sh [--runs N | --seconds S] [--no-build] [--changed] [TARGET...]
#
# --runs N      executions per target (default 100000)
# --seconds S   time per target instead of a number of executions
# --no-build    use the targets and seeds already in build-fuzz/
# --changed     only the targets whose program, options or seeds differ from
#               those of their last run that found nothing (scripts/test.sh
#               uses it: a change that cannot reach a target's code leaves
#               its program byte for byte as it was)
# TARGET        only these targets (default: every target the build made)
#
# Every target the build makes has build-fuzz/fuzz/TARGET.options (its
# libFuzzer options, written by tests/fuzz/CMakeLists.txt) and seeds in
# build-fuzz/fuzz/seeds/TARGET. The grown corpus is kept in
# build-fuzz/corpus/TARGET, findings in build-fuzz/findings/TARGET, the
# fuzzer's output in build-fuzz/logs/TARGET.log and the fingerprint of each
# target's last run that found nothing in build-fuzz/passed/TARGET, all
# outside the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build-env.sh

runs=100000
seconds=""
build=1
changed_only=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; seconds=""; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    --changed) changed_only=1; shift ;;
    -h|--help) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
  # The build's output is kept and shown only when it fails (Ninja prints
  # its errors on standard output).
  mkdir -p "$out/logs"
  if ! { cmake -S . -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DVARNOK_FUZZ=ON \
    -DVARNOK_TESTS=OFF -DVARNOK_BENCH=OFF -DVARNOK_FUZZ_GAME="$game" &&
    cmake --build "$out" -j"${VARNOK_FUZZ_BUILD_JOBS:-2}" --target fuzzers fuzz_seeds; } >"$out/logs/build.log" 2>&1; then
    cat "$out/logs/build.log" >&2
    echo "fuzz.sh: the fuzz build failed (its output above, and in $out/logs/build.log)" >&2
    exit 1
  fi
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

# What a target's run depends on: its program, its options and its seeds.
fingerprint() {
  local t="$1"
  {
    sha256sum "$out/fuzz/$t" "$out/fuzz/$t.options"
    (cd "$out/fuzz/seeds/$t" 2>/dev/null && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
  } | sha256sum | cut -d' ' -f1
}

# One target's run; its summary line goes to $out/logs/TARGET.summary and its
# exit status tells whether it found something.
run_target() {
  local t="$1" bin="$out/fuzz/$1" corpus="$out/corpus/$1" findings="$out/findings/$1" log="$out/logs/$1.log"
  local options limit before after found status=0 execs rate rss cov units line
  read -r -a options < "$out/fuzz/$t.options"
  if [ -n "$seconds" ]; then limit=(-max_total_time="$seconds"); else limit=(-runs="$runs"); fi
  rm -f "$out/passed/$t"
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
  [ "$found" -eq 0 ] || return 1
  fingerprint "$t" >"$out/passed/$t"
}

for t in "${targets[@]}"; do
  if [ ! -x "$out/fuzz/$t" ] || [ ! -f "$out/fuzz/$t.options" ]; then
    echo "fuzz.sh: no target $t in $out/fuzz" >&2
    exit 2
  fi
  mkdir -p "$out/corpus/$t" "$out/findings/$t" "$out/logs" "$out/passed"
  rm -f "$out/logs/$t.summary"
done

# With --changed, a target whose program, options and seeds are those of its
# last run that found nothing is left out: the run would test the same code.
targets_all=("${targets[@]}")
if [ "$changed_only" = 1 ]; then
  kept=()
  for t in "${targets[@]}"; do
    if [ -f "$out/passed/$t" ] && [ "$(cat "$out/passed/$t")" = "$(fingerprint "$t")" ]; then
      printf '%-21s unchanged since its last run that found nothing (%s)\n' "$t" \
        "$(date -r "$out/passed/$t" '+%Y-%m-%d %H:%M')" >"$out/logs/$t.summary"
    else
      kept+=("$t")
    fi
  done
  targets=("${kept[@]}")
fi

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
for t in "${targets_all[@]}"; do cat "$out/logs/$t.summary" 2>/dev/null || echo "$t: no summary (see $out/logs/$t.log)"; done
exit "$failed"
