#!/usr/bin/env bash
# Installs every Debian package the build, the game and the tests need.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libsdl2-dev libsdl2-mixer-dev libsdl2-ttf-dev libfreetype-dev
  libx11-dev libxext-dev libxrender-dev
  libopenmpt-dev libopenmpt0
  fonts-liberation
  libimgui-dev libstb-dev
  libpng-dev zlib1g-dev libpugixml-dev libzstd-dev
  tiled
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-apps
  weston xwayland
  desktop-file-utils appstream
  dpkg-dev lintian groff-base
  clang libclang-rt-dev lld
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
