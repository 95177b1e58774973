#!/usr/bin/env bash
# Installs what the game needs, builds it with its data and starts it.
# Arguments are passed to the game (for example -KV3916 for the debug menus).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# New build folders use Ninja where it is installed: it keeps both cores busy
# through the whole build; a folder made earlier keeps its generator.
command -v ninja >/dev/null && export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec ./build/varnok "$@"
