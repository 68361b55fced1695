#!/usr/bin/env bash
# moonwisp-config end to end under X: --help and --version need no display;
# it opens the settings panel, whose class is the desktop file's name, with the
# live preview, Options… opens the sheet, keys move the slider and press OK,
# the sheet stores the settings, Add to XScreenSaver lists Moonwisp in the
# user's XScreenSaver file, closing the panel ends the program, and
# moonwisp-prefs reads what was stored. A recorded update check keeps it off the network.
set -euo pipefail
config=$1
prefs=$2
suppressions=$3
scratch=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid"; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$scratch
unset DBUS_SESSION_BUS_ADDRESS
export NO_AT_BRIDGE=1
export GDK_CORE_DEVICE_EVENTS=1
# Any GLib or GTK critical ends the program, and so fails the test.
export G_DEBUG=fatal-criticals

# --help and --version need no display.
env -u DISPLAY -u WAYLAND_DISPLAY "$config" --help >"$scratch/help" 2>&1 &&
  grep -q -- '--version' "$scratch/help" || { echo "--help without a display:"; cat "$scratch/help"; exit 1; }
env -u DISPLAY -u WAYLAND_DISPLAY "$config" --version | grep -qx 'moonwisp-config [0-9][0-9.]*' ||
  { echo "--version: $("$config" --version 2>&1)"; exit 1; }
# Without a display the program says so in one line of its own and fails.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$config" >"$scratch/nodisplay" 2>&1 || status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$scratch/nodisplay")" -eq 1 ] &&
  grep -q '^moonwisp-config: cannot open display ' "$scratch/nodisplay" ||
  { echo "without a display: status $status,"; cat "$scratch/nodisplay"; exit 1; }
# In a sanitizer build: GTK's font caches live as long as the process, and
# only the slow unwinder would see the libraries that the suppressions name;
# that unwinder deadlocks the GL driver's compiler of the in-process preview,
# so the program runs without leak checks here.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$suppressions"

"$prefs" write lastUpdateCheck "$(date -u +%Y-%m-%dT%H:%M:%SZ)"
"$prefs" write quantity 150
"$prefs" write glow 1

# XScreenSaver is installed (its program is on the PATH), so the panel offers
# to list Moonwisp in the user's file.
mkdir -p "$scratch/bin" "$scratch/home"
printf '#!/bin/sh\n' >"$scratch/bin/xscreensaver"
chmod +x "$scratch/bin/xscreensaver"
printf 'mode: random\nprograms: \\\n  qix -root \\n\\\n\n' >"$scratch/home/.xscreensaver"
cp "$scratch/home/.xscreensaver" "$scratch/xscreensaver.before"

PATH="$scratch/bin:$PATH" HOME="$scratch/home" "$config" >"$scratch/out" 2>&1 &
pid=$!
find_window() {  # NAME: the first visible window of ours with that title
  xdotool search --all --onlyvisible --pid "$pid" --name "$1" 2>/dev/null | head -1 || true
}
panel=
for _ in $(seq 1 150); do
  panel=$(find_window '^Moonwisp$')
  [ -n "$panel" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "moonwisp-config ended early:"; cat "$scratch/out"; exit 1; }
  sleep 0.1
done
[ -n "$panel" ] || { echo "no settings panel appeared"; cat "$scratch/out"; exit 1; }
# Docks match the panel to its desktop file by its class: both parts are that file's name.
xprop -id "$panel" WM_CLASS | grep -qx 'WM_CLASS(STRING) = "org.moonwisp.Moonwisp", "org.moonwisp.Moonwisp"' ||
  { echo "the panel's class: $(xprop -id "$panel" WM_CLASS)"; exit 1; }

# Keys are sent to our windows themselves (not through the focus, which other
# tests on the display may hold); GTK takes such keys with core events.
window=
for _ in $(seq 1 20); do
  xdotool key --window "$panel" alt+o 2>/dev/null || true
  for _ in $(seq 1 20); do
    window=$(find_window '^Moonwisp Options$')
    [ -n "$window" ] && break 2
    sleep 0.1
  done
done
[ -n "$window" ] || { echo "Options… opened no sheet"; cat "$scratch/out"; exit 1; }

# They move the slider to its end and press OK, so sending them again is
# harmless should the first ones come before the sheet is ready.
for _ in $(seq 1 10); do
  xdotool key --window "$window" alt+b End alt+o 2>/dev/null || true
  for _ in $(seq 1 30); do
    [ -n "$(find_window '^Moonwisp Options$')" ] || break 2
    sleep 0.1
  done
done
[ -z "$(find_window '^Moonwisp Options$')" ] || { echo "the sheet did not end"; cat "$scratch/out"; exit 1; }
kill -0 "$pid" 2>/dev/null || { echo "moonwisp-config ended with the sheet"; cat "$scratch/out"; exit 1; }

# Add to XScreenSaver lists Moonwisp and says so in an alert, which Return ends.
alert=
for _ in $(seq 1 20); do
  xdotool key --window "$panel" alt+x 2>/dev/null || true
  for _ in $(seq 1 20); do
    alert=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Moonwisp$' 2>/dev/null | grep -vx "$panel" | head -1 || true)
    [ -n "$alert" ] && break 2
    sleep 0.1
  done
done
[ -n "$alert" ] || { echo "Add to XScreenSaver showed no alert"; cat "$scratch/out"; exit 1; }
grep -q '^  GL: .*moonwisp --root' "$scratch/home/.xscreensaver" &&
  cmp -s "$scratch/home/.xscreensaver.backup" "$scratch/xscreensaver.before" ||
  { echo "~/.xscreensaver:"; cat "$scratch/home/.xscreensaver"; exit 1; }
for _ in $(seq 1 10); do
  xdotool key --window "$alert" Return 2>/dev/null || true
  for _ in $(seq 1 30); do
    xdotool search --all --onlyvisible --pid "$pid" --name '^Moonwisp$' 2>/dev/null | grep -qvx "$panel" || break 2
    sleep 0.1
  done
done

# Closing the panel (Ctrl+W, as the window manager's close) ends the program.
for tick in $(seq 0 599); do
  kill -0 "$pid" 2>/dev/null || break
  if [ $((tick % 20)) -eq 0 ]; then xdotool key --window "$panel" ctrl+w 2>/dev/null || true; fi
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "moonwisp-config did not end when its panel closed; stored:"
  "$prefs" read || true
  cat "$scratch/out"
  exit 1
fi
status=0
wait "$pid" || status=$?
pid=
# Closing the panel ends it with 0 and leaves nothing on its output: no
# warning, no critical about a widget that was already gone.
[ "$status" -eq 0 ] && [ ! -s "$scratch/out" ] || { echo "exit status $status:"; cat "$scratch/out"; exit 1; }

"$prefs" read | tee "$scratch/read" | grep -cx 'quantity 220\|glow 1\|checkForUpdates true' | grep -qx 3 ||
  { echo "stored:"; cat "$scratch/read"; exit 1; }
# OK stored all five settings, not only the one changed.
grep -c '^\(quantity\|particleColor\|glow\|mainscreenonly\|checkForUpdates\)=' \
  "$scratch/org.moonwisp.Moonwisp/preferences.ini" | grep -qx 5
