#!/bin/sh
# What one saver process costs the machine: shared libraries loaded, resident
# size while it draws a 1280x800 window, and the time from start to the first
# frame drawn; beside a stock GL saver of XScreenSaver for comparison.
#
#   bench/saver_footprint.sh [MOONWISP [OTHER_SAVER]]
#
# Defaults: build/release/src/app/moonwisp/moonwisp and
# /usr/libexec/xscreensaver/gears. Runs on a private Xvfb with Mesa's software
# renderer, as the tests do. Prints figures; judges nothing.
set -eu
MOONWISP=${1:-build/release/src/app/moonwisp/moonwisp}
OTHER=${2:-/usr/libexec/xscreensaver/gears}
SECONDS_DRAWN=${SECONDS_DRAWN:-4}
STARTS=${STARTS:-15}

WORK=$(mktemp -d)
XVFB_PID=
cleanup() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

exec 3>"$WORK/display"
Xvfb -displayfd 3 -noreset -screen 0 1920x1200x24 +extension GLX +extension RANDR -nolisten tcp \
  >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
exec 3>&-
tries=0
while [ ! -s "$WORK/display" ]; do
  tries=$((tries + 1))
  [ "$tries" -gt 100 ] && { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
export DISPLAY=:$(cat "$WORK/display") LIBGL_ALWAYS_SOFTWARE=1 XDG_CONFIG_HOME="$WORK/config"

libraries() { ldd "$1" | wc -l; }

# Peak and current resident size (MiB) after SECONDS_DRAWN seconds of drawing.
resident() {
  "$@" >/dev/null 2>&1 &
  pid=$!
  sleep "$SECONDS_DRAWN"
  peak=$(awk '/^VmHWM/ {printf "%.1f", $2 / 1024}' "/proc/$pid/status")
  now=$(awk '/^VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$peak $now"
}

# Median wall time (ms) of STARTS runs of a command that ends by itself.
first_frame_ms() {
  i=0
  while [ "$i" -lt "$STARTS" ]; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
    i=$((i + 1))
  done | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}

# Columns: --version is loading the program alone; the first frame is
# counted in a window of its own and as a preview drawn into a given window
# (here the root window).
ROOT=$(xwininfo -root | awk '/Window id:/ {print $4}')
row='%-10s %9s %13s %8s %11s %15s %17s\n'
printf "$row" program libraries "peak RSS MiB" "RSS MiB" "--version ms" "first frame ms" "preview frame ms"
set -- $(resident "$MOONWISP" --geometry 1280x800)
printf "$row" moonwisp "$(libraries "$MOONWISP")" "$1" "$2" "$(first_frame_ms "$MOONWISP" --version)" \
  "$(first_frame_ms "$MOONWISP" --geometry 1280x800 --frames 1)" \
  "$(first_frame_ms "$MOONWISP" --preview --window-id "$ROOT" --frames 1)"
set -- $(resident "$OTHER" -window -geometry 1280x800)
printf "$row" "$(basename "$OTHER")" "$(libraries "$OTHER")" "$1" "$2" - - -
