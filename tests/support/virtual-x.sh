#!/usr/bin/env bash
# Runs a command on a virtual X display of its own:
#
#   virtual-x.sh [-s "SERVER OPTIONS"] COMMAND [ARG...]
#
# The X server picks a free display number itself (-displayfd), so that any
# number of these can start at once (picking a number first and starting the
# server after, two runs may take the same one). The command's exit status is
# the script's; the server is stopped when the command ends.
set -u
server_options="-screen 0 1024x768x24 -nolisten tcp -noreset"
if [ "${1:-}" = "-s" ]; then
  server_options="$2"
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: virtual-x.sh [-s \"SERVER OPTIONS\"] COMMAND [ARG...]" >&2
  exit 2
fi

dir="$(mktemp -d "${TMPDIR:-/tmp}/virtual-x.XXXXXX")"
server=""
finish() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$dir"
}
trap finish EXIT
trap 'exit 143' TERM INT

# shellcheck disable=SC2086 # the options are words
Xvfb -displayfd 3 $server_options 3>"$dir/display" 2>"$dir/server.log" &
server=$!
for _ in $(seq 300); do
  if grep -q . "$dir/display" 2>/dev/null; then break; fi
  if ! kill -0 "$server" 2>/dev/null; then break; fi
  sleep 0.1
done
number="$(head -n1 "$dir/display" 2>/dev/null)"
if [ -z "$number" ]; then
  echo "virtual-x.sh: the X server did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
fi
DISPLAY=":$number" "$@"
