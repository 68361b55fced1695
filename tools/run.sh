#!/usr/bin/env bash
# Builds only what it runs (moonwisp and moonwisp-render: no tests, no
# benchmarks) in build/run and starts Moonwisp in a window (on the Wayland
# compositor when there is one, else on the X display). On a machine with
# neither it draws a picture headless instead and says where the picture is.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=build/run
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DMOONWISP_BENCH=OFF
cmake --build "$BUILD" -j"$(nproc)" --target moonwisp moonwisp-render
wayland_socket=${WAYLAND_DISPLAY:-}
[ -z "$wayland_socket" ] || [ "${wayland_socket#/}" != "$wayland_socket" ] || wayland_socket=${XDG_RUNTIME_DIR:-/nonexistent}/$wayland_socket
if [ -n "$wayland_socket" ] && [ -S "$wayland_socket" ] || { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
  echo "Moonwisp runs in a window; press q or Escape in it (or close it) to end it."
  exec "$BUILD/src/app/moonwisp/moonwisp"
fi
picture=$PWD/$BUILD/moonwisp.png
"$BUILD/tools/render/moonwisp-render" --seed 1 --quantity 150 --color 1 --glow 1 \
  --width 1280 --height 800 --frames 600 --out "$picture"
echo "There is no display here, so Moonwisp drew a picture headless instead: $picture"
