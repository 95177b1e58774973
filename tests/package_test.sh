#!/usr/bin/env bash
# The Debian package: built with CPack, checked with lintian, installed (with
# apt-get when run as root, else unpacked with dpkg-deb), played from
# /usr/games/varnok as an unprivileged user with a fresh home to the summary
# of level 1, and purged again without leaving a file behind.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
  echo "package_test: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  fail "cpack failed"
}
deb="$(ls "$work"/out/varnok_*_amd64.deb 2>/dev/null || ls "$work"/out/varnok_*.deb)"
[ -f "$deb" ] || fail "no package was made"
case "$(basename "$deb")" in
  varnok_1.0.0.142_*.deb) ;;
  *) fail "unexpected package name $(basename "$deb")" ;;
esac

# lintian: no errors.
if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || true
  if grep -q '^E: ' "$work/lintian.log"; then
    cat "$work/lintian.log" >&2
    fail "lintian reports errors"
  fi
else
  fail "lintian is not installed (scripts/setup.sh installs it)"
fi

# What the package holds.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/games/varnok /usr/share/games/varnok/DAT/LEVEL.INI /usr/share/man/man6/varnok.6.gz \
  /usr/share/applications/org.varnok.Varnok.desktop /usr/share/metainfo/org.varnok.Varnok.metainfo.xml \
  /usr/share/icons/hicolor/256x256/apps/org.varnok.Varnok.png /usr/share/doc/varnok/copyright; do
  grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q 'libsdl2-2.0-0' || fail "dependencies were not found by dpkg-shlibdeps"

# Install: into the machine when root (a throwaway CI machine), else into a folder.
root=""
installed=0
if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null && [ "${VARNOK_PACKAGE_TEST_UNPACK:-0}" != "1" ]; then
  if dpkg-query -W -f='${Status}' varnok 2>/dev/null | grep -q "install ok installed"; then
    fail "a varnok package is installed already; remove it first"
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log" >&2
    fail "apt-get install failed"
  }
  installed=1
else
  dpkg-deb -x "$deb" "$work/root"
  root="$work/root"
fi
cleanup_install() {
  if [ "$installed" = 1 ]; then DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq varnok >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup_install EXIT

# Play level 1 to its summary as an unprivileged user with a fresh home.
home="$work/home"
mkdir -p "$home"
cp "$source/tests/levels/level1.keys" "$work/keys"
ticks="$(sed -n 's/^#ticks //p' "$work/keys")"
run=(env -i HOME="$home" PATH=/usr/bin:/bin SDL_VIDEODRIVER=dummy
  "$root/usr/games/varnok" --headless --level 1 --ticks "$ticks" --input "$work/keys"
  --state "$home/state.json@$((ticks - 1))")
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$work"
  chown -R nobody "$home"
  chmod 644 "$work/keys"
  runuser -u nobody -- "${run[@]}" >"$work/run.log" 2>&1 || {
    cat "$work/run.log" >&2
    fail "the installed game did not run"
  }
else
  "${run[@]}" >"$work/run.log" 2>&1 || {
    cat "$work/run.log" >&2
    fail "the installed game did not run"
  }
fi
grep -q '"GameState": "5"' "$home/state.json" || fail "level 1 did not reach its summary"
# The player's own files went to the user's data folder, none into the package's.
[ -f "$home/.local/share/varnok/DAT/LEVEL.DAT" ] || fail "the game did not write its converted data to the user's folder"

if [ "$installed" = 1 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq varnok >"$work/purge.log" 2>&1 || fail "apt-get purge failed"
  installed=0
  left=0
  while read -r f; do
    [ -z "$f" ] && continue
    if [ -f "$f" ] || [ -L "$f" ]; then
      echo "left behind: $f" >&2
      left=1
    fi
  done <"$work/files"
  [ -d /usr/share/games/varnok ] && { echo "left behind: /usr/share/games/varnok" >&2; left=1; }
  [ "$left" = 0 ] || fail "apt-get purge left files of the package behind"
fi
echo "package_test: $(basename "$deb") built, lintian clean, installed, played, removed"
