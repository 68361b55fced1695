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
fail() { echo "$1"; cat "$scratch/out"; exit 1; }
find_window() {  # NAME: the first visible window of ours with that title
  xdotool search --all --onlyvisible --pid "$pid" --name "$1" 2>/dev/null | head -1 || true
}
# Keys are sent to our windows themselves (not through the focus, which other
# tests on the display may hold); GTK takes such keys with core events. They
# are sent again while CONDITION does not hold, should the first ones come
# before the window is ready: each use below is harmless when repeated.
press_until() {  # WINDOW KEYS CONDITION: false when it still does not hold after a minute
  for _ in $(seq 1 30); do
    xdotool key --window "$1" $2 2>/dev/null || true
    for _ in $(seq 1 20); do eval "$3" && return 0; sleep 0.1; done
  done
  return 1
}
panel=
for _ in $(seq 1 150); do
  panel=$(find_window '^Moonwisp$')
  [ -n "$panel" ] && break
  kill -0 "$pid" 2>/dev/null || fail "moonwisp-config ended early:"
  sleep 0.1
done
[ -n "$panel" ] || fail "no settings panel appeared"
# Docks match the panel to its desktop file by its class: both parts are that file's name.
xprop -id "$panel" WM_CLASS | grep -qx 'WM_CLASS(STRING) = "org.moonwisp.Moonwisp", "org.moonwisp.Moonwisp"' ||
  fail "the panel's class: $(xprop -id "$panel" WM_CLASS)"

press_until "$panel" alt+o 'window=$(find_window "^Moonwisp Options\$"); [ -n "$window" ]' ||
  fail "Options… opened no sheet"
# The keys move the slider to its end and press OK.
press_until "$window" "alt+b End alt+o" '[ -z "$(find_window "^Moonwisp Options\$")" ]' || fail "the sheet did not end"
kill -0 "$pid" 2>/dev/null || fail "moonwisp-config ended with the sheet"

# Add to XScreenSaver lists Moonwisp and says so in an alert, which Return ends.
alerts() {  # our visible windows titled Moonwisp but the panel
  xdotool search --all --onlyvisible --pid "$pid" --name '^Moonwisp$' 2>/dev/null | grep -vx "$panel" || true
}
press_until "$panel" alt+x 'alert=$(alerts | head -1); [ -n "$alert" ]' || fail "Add to XScreenSaver showed no alert"
grep -q '^  GL: .*moonwisp --root' "$scratch/home/.xscreensaver" &&
  cmp -s "$scratch/home/.xscreensaver.backup" "$scratch/xscreensaver.before" ||
  fail "~/.xscreensaver: $(cat "$scratch/home/.xscreensaver")"
press_until "$alert" Return '[ -z "$(alerts)" ]' || true

# Closing the panel (Ctrl+W, as the window manager's close) ends the program.
press_until "$panel" ctrl+w '! kill -0 "$pid" 2>/dev/null' ||
  fail "moonwisp-config did not end when its panel closed; stored: $("$prefs" read || true)"
status=0
wait "$pid" || status=$?
pid=
# Closing the panel ends it with 0 and leaves nothing on its output: no
# warning, no critical about a widget that was already gone.
[ "$status" -eq 0 ] && [ ! -s "$scratch/out" ] || fail "exit status $status:"

"$prefs" read | tee "$scratch/read" | grep -cx 'quantity 220\|glow 1\|checkForUpdates true' | grep -qx 3 ||
  { echo "stored:"; cat "$scratch/read"; exit 1; }
# OK stored all five settings, not only the one changed.
grep -c '^\(quantity\|particleColor\|glow\|mainscreenonly\|checkForUpdates\)=' \
  "$scratch/org.moonwisp.Moonwisp/preferences.ini" | grep -qx 5
