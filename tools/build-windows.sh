#!/usr/bin/env bash
# Configures and builds both Windows presets (32-bit and 64-bit), everything or the named targets.
#   build-windows.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
for preset in mingw-i686 mingw-x86_64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" "${targets[@]}"
done
