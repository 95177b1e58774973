#!/usr/bin/env bash
# Plays the sanitizer build of the game headless with random keys for a given
# time: runs in turn over the title, every shipped level (started from the
# title with --level N) and the credits, each a fresh process with
# AddressSanitizer, UndefinedBehaviorSanitizer and leak checking. Reports
# runs, ticks, crashes, leaks and memory (peak RSS per run, and whether the
# RSS stays flat over the second half of each run). Exit status 1 when a run
# crashed or leaked or memory grew.
#
#   scripts/soak.sh [--minutes M] [--ticks T] [--seed S] [--no-build]
#
# --minutes M   how long to play (default 30)
# --ticks T     ticks per run (default 12000, about 3 minutes of game time)
# --seed S      first random seed (default 1); run i uses seed S + i
# --no-build    use build-asan/ as it is
#
# Failed runs keep their key script and output in build-asan/soak/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build-env.sh

minutes=30
ticks=12000
seed=1
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes="$2"; shift 2 ;;
    --ticks) ticks="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "soak.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

out=build-asan
if [ "$build" = 1 ]; then
  sanitizer_compilers "$out"
  cmake -S . -B "$out" "${SANITIZER_COMPILERS[@]}" -DCMAKE_BUILD_TYPE=Debug -DVARNOK_SANITIZE=ON -DVARNOK_BENCH=OFF >/dev/null
  cmake --build "$out" -j"${VARNOK_SOAK_BUILD_JOBS:-2}" --target varnok varnok_data >/dev/null
fi
game="$out/varnok"
[ -x "$game" ] || { echo "soak.sh: no game at $game" >&2; exit 2; }
levels=$(sed -n 's/^TileCount=//p' "$out/DAT/LEVEL.INI" | tr -d '\r' | head -1)
levels=${levels:-5}

work="$out/soak"
rm -rf "$work"
mkdir -p "$work"
# A small quarantine keeps the sanitizer's own memory from looking like
# growth: freed memory is held back until the quarantine is full, and with 32
# MB a run's resident memory still rose by 8 to 15 MB in its second half
# (none with no quarantine at all).
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:quarantine_size_mb=4"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The libraries' own known leaks, as the test run skips them.
[ -f tests/lsan.supp ] && export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
export SDL_AUDIODRIVER=dummy

# Random keys: presses of the game's keys with random holds, Escape now and
# then. The first lines walk to the scenario: the credits are the title's
# second entry, a level its first.
make_script() { # scenario seed file
  awk -v scenario="$1" -v seed="$2" -v ticks="$ticks" 'BEGIN {
    srand(seed);
    # Mostly onward through the level; pauses are short (P or F1 twice).
    split("Right Right Right Right Left Left Ctrl Ctrl Ctrl Shift Shift Alt Down Up Enter P F1 F7 F8 Escape",
          keys, " ");
    n = length(keys);
    # The title takes keys after its half-second lock-out.
    t = 60;
    if (scenario == "credits") { print "50 down Down"; print "52 up Down" }
    if (scenario != "title") { printf "%d down Enter\n%d up Enter\n", t, t + 2; t += 40 }
    while (t < ticks) {
      k = keys[int(rand() * n) + 1];
      # Up and Down come three at a time: the title menu (Start, Credits,
      # Exit) keeps its entry, so Enter never ends the program, while in a
      # level they are presses like any other.
      if (k == "Up" || k == "Down") {
        for (j = 0; j < 3; j++) { printf "%d down %s\n%d up %s\n", t, k, t + 2, k; t += 4 }
        continue
      }
      # The title scenario stays on the title (the others start from it).
      if (scenario == "title" && k == "Enter") k = "Left";
      # Escape ends the program on the title: rare, and in a level followed
      # by Enter once the title is back (after the fade and its lock-out),
      # which starts the level again.
      if (k == "Escape" && (scenario == "title" || rand() < 0.7)) k = "Right";
      hold = 1 + int(rand() * 90);
      printf "%d down %s\n%d up %s\n", t, k, t + hold, k;
      if (k == "P" || k == "F1") { t += hold + 20 + int(rand() * 100); printf "%d down %s\n%d up %s\n", t, k, t + 2, k }
      if (k == "Escape") {
        t += hold + 150; printf "%d down Enter\n%d up Enter\n", t, t + 2
        t += 70; printf "%d down Enter\n%d up Enter\n", t, t + 2
      }
      t += 1 + int(rand() * 40);
    }
  }' > "$3"
}

# Resident memory of a process, sampled every second into a file (kB).
sample_rss() { # pid file
  while kill -0 "$1" 2>/dev/null; do
    awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null >> "$2" || true
    sleep 1
  done
}

scenarios=(title)
for ((n = 1; n <= levels; n++)); do scenarios+=("level$n"); done
scenarios+=(credits)

deadline=$(($(date +%s) + minutes * 60))
runs=0 total_ticks=0 crashes=0 leaks=0 grown=0 peak=0
declare -A scenario_peak=()
i=0
while [ "$(date +%s)" -lt "$deadline" ]; do
  scenario=${scenarios[$((i % ${#scenarios[@]}))]}
  s=$((seed + i))
  i=$((i + 1))
  keys="$work/run.keys" log="$work/run.log" rss="$work/run.rss"
  make_script "$scenario" "$s" "$keys"
  rm -f "$rss" "$work"/state-*.json
  # A snapshot every 500 ticks counts the ticks a run played.
  args=(--headless --ticks "$ticks" --input "$keys")
  for ((t = 499; t < ticks; t += 500)); do args+=(--state "$work/state-$t.json@$t"); done
  case "$scenario" in level*) args+=(--level "${scenario#level}") ;; esac
  /usr/bin/time -f '%M' -o "$work/run.maxrss" "$game" "${args[@]}" >"$log" 2>&1 &
  pid=$!
  # The game is the child of time: sample it, not time.
  sleep 0.2
  child=$(pgrep -P "$pid" | head -1 || true)
  [ -n "$child" ] && sample_rss "$child" "$rss" &
  sampler=$!
  status=0
  wait "$pid" || status=$?
  wait "$sampler" 2>/dev/null || true
  runs=$((runs + 1))

  # Ticks played, in steps of 500: a run may end early (Escape on the title).
  played=$(($(find "$work" -name 'state-*.json' | wc -l) * 500))
  [ "$status" -eq 0 ] && [ "$played" -ge $((ticks - ticks % 500)) ] && played=$ticks
  total_ticks=$((total_ticks + played))
  maxrss=$(tail -1 "$work/run.maxrss" 2>/dev/null | tr -dc '0-9')
  maxrss=${maxrss:-0}
  [ "$maxrss" -gt "$peak" ] && peak=$maxrss
  [ "$maxrss" -gt "${scenario_peak[$scenario]:-0}" ] && scenario_peak[$scenario]=$maxrss

  problem=""
  if grep -q "LeakSanitizer" "$log"; then leaks=$((leaks + 1)); problem="leak"; fi
  if grep -qE "ERROR: AddressSanitizer|runtime error:|Segmentation fault|Aborted" "$log" ||
     { [ "$status" -ne 0 ] && [ -z "$problem" ]; }; then
    crashes=$((crashes + 1)); problem="${problem:+$problem+}crash(status $status)"
  fi
  # Flat memory: the largest sample of the last quarter of the run may exceed
  # the largest of its second quarter by at most 8 MB.
  growth=0
  if [ -s "$rss" ]; then
    growth=$(awk '{v[NR] = $1} END {
      if (NR < 8) { print 0; exit }
      a = 0; b = 0
      for (i = int(NR / 4) + 1; i <= int(NR / 2); i++) if (v[i] > a) a = v[i]
      for (i = int(3 * NR / 4) + 1; i <= NR; i++) if (v[i] > b) b = v[i]
      print (b > a ? b - a : 0) }' "$rss")
  fi
  if [ "$growth" -gt 8192 ]; then grown=$((grown + 1)); problem="${problem:+$problem+}memory grew ${growth} kB"; fi

  printf 'run %3d %-8s seed %-5d ticks %-6d exit %-3d maxrss %6d MB%s\n' "$runs" "$scenario" "$s" "$played" \
    "$status" $((maxrss / 1024)) "${problem:+  $problem}"
  if [ -n "$problem" ]; then
    cp "$keys" "$work/failed-$runs-$scenario.keys"
    cp "$log" "$work/failed-$runs-$scenario.log"
  fi
done

echo "---- soak summary ----"
echo "minutes $minutes  runs $runs  ticks $total_ticks  crashes $crashes  leaks $leaks  peak-rss $((peak / 1024)) MB"
for sc in "${scenarios[@]}"; do
  [ -n "${scenario_peak[$sc]:-}" ] && printf '  %-8s peak-rss %d MB\n' "$sc" $((scenario_peak[$sc] / 1024))
done
if [ "$grown" -eq 0 ]; then echo "memory flat: yes"; else echo "memory flat: no ($grown runs grew)"; fi
[ "$crashes" -eq 0 ] && [ "$leaks" -eq 0 ] && [ "$grown" -eq 0 ]
