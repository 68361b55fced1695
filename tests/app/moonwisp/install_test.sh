#!/usr/bin/env bash
# cmake --install gives a tree that still works after it has been moved: the
# three programs, the resources, XScreenSaver's description and link, the
# desktop file and the man pages; the moved saver runs a few frames.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/first" >/dev/null
mv "$scratch/first" "$scratch/moved"
tree=$scratch/moved
for file in bin/moonwisp bin/moonwisp-config bin/moonwisp-prefs share/moonwisp/wing1.png \
            share/moonwisp/Info.ini share/xscreensaver/config/moonwisp.xml \
            share/applications/org.moonwisp.Moonwisp.desktop \
            share/man/man1/moonwisp.1 share/man/man1/moonwisp-config.1 share/man/man1/moonwisp-prefs.1; do
  [ -e "$tree/$file" ] || { echo "missing: $file"; exit 1; }
done
[ "$(readlink "$tree/libexec/xscreensaver/moonwisp")" = ../../bin/moonwisp ] || { echo "bad link"; exit 1; }
python3 - "$tree/share/xscreensaver/config/moonwisp.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "screensaver" and root.get("name") == "moonwisp" and root.get("gl") == "yes", root.attrib
assert root.find("command").get("arg") == "--root"
assert "moonwisp-config" in root.find("_description").text
PY
"$tree/libexec/xscreensaver/moonwisp" --version | grep -q '^moonwisp '
if [ -n "${DISPLAY:-}" ]; then
  XDG_CONFIG_HOME=$scratch/config "$tree/libexec/xscreensaver/moonwisp" --geometry 32x32 --frames 3
fi
echo "installed tree works after a move"
