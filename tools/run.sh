#!/usr/bin/env bash
# Builds Moonwisp and starts it in a window. On a machine without an X display
# it draws a picture headless instead and says where the picture is.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Moonwisp runs in a window; press q or Escape in it (or close it) to end it."
  exec build/release/src/app/moonwisp/moonwisp
fi
picture=$PWD/build/release/moonwisp.png
build/release/tools/render/moonwisp-render --seed 1 --quantity 150 --color 1 --glow 1 \
  --width 1280 --height 800 --frames 600 --out "$picture"
echo "There is no X display here, so Moonwisp drew a picture headless instead: $picture"
