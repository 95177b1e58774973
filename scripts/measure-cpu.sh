#!/usr/bin/env bash
# Runs the game's real window on a virtual X display for a fixed time, first on
# the title, then playing level 5 (the heaviest) at scale 2, and prints the
# CPU share of each of its threads, of the display server (whose work on a
# screen without a GPU is CPU too: putting and enlarging the picture) and of
# both together, and the game's resident memory. Each present path the game
# can choose is measured in turn (VARNOK_PRESENT).
#
#   scripts/measure-cpu.sh [BUILD_DIR] [SECONDS] [SCREEN] [RUNS] [PATHS]
#
# BUILD_DIR defaults to build, SECONDS (measured, after a settling time) to 20,
# SCREEN (the virtual display's size) to 1920x1080, RUNS to 1, PATHS to
# "default framebuffer software" (a list of VARNOK_PRESENT values; "default"
# leaves the choice to the game). The CPU share is in percent of one core,
# from the threads' user and system times in /proc.
# The game's work is mostly memory traffic, so on a shared machine the share
# varies from run to run by a fifth or more: with several runs the median of
# each screen's totals is printed last.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${2:-20}"
screen="${3:-1920x1080}"
runs="${4:-1}"
paths="${5:-default framebuffer software}"

for tool in Xvfb; do
  command -v "$tool" >/dev/null || { echo "measure-cpu: $tool is missing" >&2; exit 1; }
done
[ -x "$build/varnok" ] || { echo "measure-cpu: $build/varnok is missing (build it first)" >&2; exit 1; }

work="$(mktemp -d)"
xvfb_pid=""
game_pid=""
cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "measure-cpu: no free display number" >&2; exit 1; }
# -noreset: the runs follow each other, and a server resetting after one
# would drop the next one's connection.
Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

ticks_per_second="$(getconf CLK_TCK)"

# Sum of user and system ticks of one thread (fields 14 and 15 of its stat;
# the name in field 2 may hold spaces, so count from the closing parenthesis).
thread_ticks() { sed 's/.*) //' "$1" | awk '{ print $12 + $13 }'; }

# Ticks of all threads of a process.
process_ticks() {
  local sum=0 t
  for t in /proc/"$1"/task/*; do sum=$(( sum + $(thread_ticks "$t/stat" 2>/dev/null || echo 0) )); done
  echo "$sum"
}

measure() { # label, present path, settling seconds, then the game's arguments
  local label="$1" path="$2" settle="$3"; shift 3
  local env=(DISPLAY="$display")
  [ "$path" != "default" ] && env+=(VARNOK_PRESENT="$path")
  env "${env[@]}" "$build/varnok" "$@" >"$work/game.log" 2>&1 &
  game_pid=$!
  sleep "$settle"
  if ! kill -0 "$game_pid" 2>/dev/null; then
    echo "measure-cpu: the game ended early:" >&2; cat "$work/game.log" >&2; exit 1
  fi
  declare -A before names
  local t server_before server_used
  for t in /proc/"$game_pid"/task/*; do
    before[${t##*/}]="$(thread_ticks "$t/stat")"
    names[${t##*/}]="$(cat "$t/comm")"
  done
  server_before="$(process_ticks "$xvfb_pid")"
  sleep "$seconds"
  server_used=$(( $(process_ticks "$xvfb_pid") - server_before ))
  echo "== $label, present path $path ($seconds s on a $screen virtual screen)"
  local total=0 id now used
  for t in /proc/"$game_pid"/task/*; do
    id="${t##*/}"
    now="$(thread_ticks "$t/stat" 2>/dev/null || echo 0)"
    used=$(( now - ${before[$id]:-0} ))
    total=$(( total + used ))
    printf '   thread %-8s %-16s %6.2f %%\n' "$id" "${names[$id]:-$(cat "$t/comm" 2>/dev/null)}" \
      "$(echo "$used * 100 / ($ticks_per_second * $seconds)" | bc -l)"
  done
  local share server sum
  share="$(echo "$total * 100 / ($ticks_per_second * $seconds)" | bc -l)"
  server="$(echo "$server_used * 100 / ($ticks_per_second * $seconds)" | bc -l)"
  sum="$(echo "$share + $server" | bc -l)"
  printf '   game                      %6.2f %% of one core\n' "$share"
  printf '   display server            %6.2f %%\n' "$server"
  printf '   game + display server     %6.2f %%\n' "$sum"
  echo "$share" >>"$work/$label-$path.game"
  echo "$server" >>"$work/$label-$path.server"
  echo "$sum" >>"$work/$label-$path.sum"
  awk '/VmRSS|VmHWM/ { printf "   %-25s %6.1f MB\n", $1, $2 / 1024 }' /proc/"$game_pid"/status
  kill "$game_pid"; wait "$game_pid" 2>/dev/null || true
  game_pid=""
}

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Enter on "Start" after the input lock-out, then any key ends get-ready
# (about 7 s in); the level is measured from 9 s on.
printf '40 down Return\n41 up Return\n400 down Space\n401 up Space\n' >"$work/level5.keys"
# The paths alternate within each run, so that a busy moment of the machine
# does not fall on one path only.
for _ in $(seq "$runs"); do
  for path in $paths; do
    measure "title" "$path" 4
    measure "level5" "$path" 9 --level 5 --input "$work/level5.keys"
  done
done
echo "== medians of $runs run(s), percent of one core: game + display server = sum"
for path in $paths; do
  for label in title level5; do
    printf '   %-12s %-7s %6.2f + %6.2f = %6.2f\n' "$path" "$label" "$(median "$work/$label-$path.game")" \
      "$(median "$work/$label-$path.server")" "$(median "$work/$label-$path.sum")"
  done
done
