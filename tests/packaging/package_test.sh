#!/usr/bin/env bash
# Builds the Debian package from a build tree, checks its contents and version
# strings, unpacks it into a scratch root and runs the programs from there
# (they find their resources and translations from their own path); lintian,
# appstreamcli and desktop-file-validate must find no errors and no warnings.
set -euo pipefail
build=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$scratch/out/moonwisp_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package named $(basename "$deb"): $(ls "$scratch/out")"
dpkg-deb -f "$deb" Version Depends Suggests | tr '\n' ' ' |
  grep -q "^Version: $version Depends: .*libgtk-3-0.* Suggests: xscreensaver $" ||
  fail "package fields: $(dpkg-deb -f "$deb" Version Depends Suggests)"

# Exactly these files, and the hack a relative link to the saver.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6, $7, $8 }' | sed 's/ *$//' | sort >"$scratch/files"
diff -u - "$scratch/files" <<'LIST' || fail "file list"
./usr/bin/moonwisp
./usr/bin/moonwisp-config
./usr/bin/moonwisp-prefs
./usr/bin/moonwisp-render
./usr/libexec/xscreensaver/moonwisp -> ../../bin/moonwisp
./usr/share/applications/org.moonwisp.Moonwisp.desktop
./usr/share/doc/moonwisp/changelog.gz
./usr/share/doc/moonwisp/copyright
./usr/share/locale/de/LC_MESSAGES/moonwisp.mo
./usr/share/man/man1/moonwisp-config.1.gz
./usr/share/man/man1/moonwisp-prefs.1.gz
./usr/share/man/man1/moonwisp-render.1.gz
./usr/share/man/man1/moonwisp.1.gz
./usr/share/metainfo/org.moonwisp.Moonwisp.metainfo.xml
./usr/share/moonwisp/Info.ini
./usr/share/moonwisp/configSheetNib.ui
./usr/share/moonwisp/configStrings.ini
./usr/share/moonwisp/wing1.png
./usr/share/xscreensaver/config/moonwisp.xml
LIST

dpkg-deb -x "$deb" "$scratch/root"
usr=$scratch/root/usr
# One version everywhere: the programs, the info file, the man pages, the changelog.
for program in libexec/xscreensaver/moonwisp bin/moonwisp-prefs bin/moonwisp-render bin/moonwisp-config; do
  [ "$("$usr/$program" --version)" = "$(basename "$program") $version" ] || fail "$program --version"
done
grep -qx "CFBundleShortVersionString=$version" "$usr/share/moonwisp/Info.ini" || fail "Info.ini version"
for page in "$usr"/share/man/man1/*.1.gz; do
  zcat "$page" | head -1 | grep -q "\"Moonwisp $version\"" || fail "version in $(basename "$page")"
done
zcat "$usr/share/doc/moonwisp/changelog.gz" | head -1 | grep -q "^moonwisp ($version)" || fail "changelog version"

python3 - "$usr/share/xscreensaver/config/moonwisp.xml" <<'PY' || fail "XScreenSaver description"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "screensaver" and root.get("name") == "moonwisp" and root.get("gl") == "yes", root.attrib
assert root.find("command").get("arg") == "--root"
assert "moonwisp-config" in root.find("_description").text
PY

# The unpacked programs run and find their resources (the wing image) there.
"$usr/bin/moonwisp-render" --seed 1 --quantity 20 --glow 1 --width 64 --height 40 --frames 3 \
  --out "$scratch/picture.png" || fail "moonwisp-render"
[ "$(head -c 4 "$scratch/picture.png" | od -An -tx1 | tr -d ' ')" = 89504e47 ] || fail "no PNG written"
export XDG_CONFIG_HOME=$scratch/config
[ "$("$usr/bin/moonwisp-prefs" path)" = "$XDG_CONFIG_HOME/org.moonwisp.Moonwisp/preferences.ini" ] \
  || fail "moonwisp-prefs path"
"$usr/bin/moonwisp-prefs" read | grep -qx 'quantity 77' || fail "moonwisp-prefs read"
# The translations are found from the programs' own path too.
LANGUAGE= LC_ALL=de_DE.UTF-8 "$usr/bin/moonwisp-prefs" --help | grep -q '^Befehle:' || fail "moonwisp-prefs in German"

# The desktop file and the software centres' listing: valid, translated, one
# id (the panel's), and the release from the one version.
applications=$usr/share/applications metainfo=$usr/share/metainfo/org.moonwisp.Moonwisp.metainfo.xml
grep -qx 'Name\[de\]=.*' "$applications/org.moonwisp.Moonwisp.desktop" || fail "desktop file not translated"
grep -qx 'StartupWMClass=org.moonwisp.Moonwisp' "$applications/org.moonwisp.Moonwisp.desktop" || fail "desktop file's class"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release"
grep -q '<summary xml:lang="de">' "$metainfo" || fail "metainfo not translated"
for check in "desktop-file-validate $applications/org.moonwisp.Moonwisp.desktop" \
             "appstreamcli validate --pedantic --no-net $metainfo"; do
  if command -v "${check%% *}" >/dev/null; then
    # desktop-file-validate says nothing when all is well; appstreamcli
    # reports pedantic hints, which are neither errors nor warnings.
    $check >"$scratch/check" 2>&1 || { cat "$scratch/check"; fail "${check%% *}"; }
    grep -E '^(E|W): |error|warning' "$scratch/check" && fail "${check%% *} warns"
  elif [ -n "${CI:-}" ]; then
    fail "${check%% *} is not installed (tools/setup.sh installs it)"
  fi
done

if [ -n "${DISPLAY:-}" ]; then
  "$usr/libexec/xscreensaver/moonwisp" --geometry 32x32 --frames 3 || fail "moonwisp in a window"
fi

if command -v lintian >/dev/null; then
  lintian -I --pedantic --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 ||
    { grep -v 'running with root privileges' "$scratch/lintian"; fail "lintian reports errors or warnings"; }
elif [ -n "${CI:-}" ]; then
  fail "lintian is not installed (tools/setup.sh installs it)"
else
  echo "lintian is not installed: the package was not checked by it"
fi
echo "package $(basename "$deb") installs and runs"
