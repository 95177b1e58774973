#!/usr/bin/env bash
# Installs what the game needs, builds it with its data and starts it.
# Arguments are passed to the game (for example -KV3916 for the debug menus).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/build-env.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec ./build/varnok "$@"
