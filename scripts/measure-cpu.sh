#!/usr/bin/env bash
# Runs the game's real window on a virtual X display for a fixed time, first on
# the title, then playing level 5 (the heaviest), and prints the CPU share of
# each of its threads and its resident memory.
#
#   scripts/measure-cpu.sh [BUILD_DIR] [SECONDS] [SCREEN]
#
# BUILD_DIR defaults to build, SECONDS (measured, after a settling time) to 20,
# SCREEN (the virtual display's size) to 1920x1080. The CPU share is in percent
# of one core, from the threads' user and system times in /proc.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${2:-20}"
screen="${3:-1920x1080}"
settle=4

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
Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

ticks_per_second="$(getconf CLK_TCK)"

# Sum of user and system ticks of one thread (fields 14 and 15 of its stat;
# the name in field 2 may hold spaces, so count from the closing parenthesis).
thread_ticks() { sed 's/.*) //' "$1" | awk '{ print $12 + $13 }'; }

measure() { # label, then the game's arguments
  local label="$1"; shift
  DISPLAY="$display" "$build/varnok" "$@" >"$work/game.log" 2>&1 &
  game_pid=$!
  sleep "$settle"
  if ! kill -0 "$game_pid" 2>/dev/null; then
    echo "measure-cpu: the game ended early:" >&2; cat "$work/game.log" >&2; exit 1
  fi
  declare -A before names
  local t
  for t in /proc/"$game_pid"/task/*; do
    before[${t##*/}]="$(thread_ticks "$t/stat")"
    names[${t##*/}]="$(cat "$t/comm")"
  done
  sleep "$seconds"
  echo "== $label ($seconds s on a $screen virtual screen)"
  local total=0 id now used
  for t in /proc/"$game_pid"/task/*; do
    id="${t##*/}"
    now="$(thread_ticks "$t/stat" 2>/dev/null || echo 0)"
    used=$(( now - ${before[$id]:-0} ))
    total=$(( total + used ))
    printf '   thread %-8s %-16s %6.2f %%\n' "$id" "${names[$id]:-$(cat "$t/comm" 2>/dev/null)}" \
      "$(echo "$used * 100 / ($ticks_per_second * $seconds)" | bc -l)"
  done
  printf '   total                     %6.2f %% of one core\n' \
    "$(echo "$total * 100 / ($ticks_per_second * $seconds)" | bc -l)"
  awk '/VmRSS|VmHWM/ { printf "   %-25s %6.1f MB\n", $1, $2 / 1024 }' /proc/"$game_pid"/status
  kill "$game_pid"; wait "$game_pid" 2>/dev/null || true
  game_pid=""
}

measure "title"
# Enter on "Start" after the input lock-out, then any key ends get-ready.
printf '40 down Return\n41 up Return\n400 down Space\n401 up Space\n' >"$work/level5.keys"
measure "level 5" --level 5 --input "$work/level5.keys"
