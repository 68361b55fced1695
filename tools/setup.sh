#!/usr/bin/env bash
# Installs every package that building, running, testing and packaging Moonwisp
# needs, on Debian 12 (bookworm) or 13 (trixie). Every name resolves on both:
# unversioned toolchain names follow each release's default compiler.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
PACKAGES=(
  build-essential cmake pkg-config git
  googletest libgtest-dev libgmock-dev libbenchmark-dev   # tests and benchmarks
  libcli11-dev                                            # command-line parsing
  clang libclang-rt-dev                                   # libFuzzer targets
  libx11-dev libxrandr-dev                                # windows and monitors
  libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0  # OpenGL (Mesa)
  libglib2.0-dev libgtk-3-dev                             # preferences key file, settings dialog
  librsvg2-common                                         # SVG icons of GTK's theme (only recommended by GTK)
  libcurl4-openssl-dev ca-certificates libxml2-dev        # update feed
  libpng-dev                                              # wing image, pictures
  xvfb xauth x11-xserver-utils x11-utils xdotool          # headless X server for the window tests
  libwayland-dev wayland-protocols libxkbcommon-dev       # Wayland back end (xdg-shell generated at build time)
  sway swaybg grim wtype                                  # headless compositor, its background, screenshots, keys for the Wayland tests
  python3                                                 # loopback HTTP server in the feed tests
  dpkg-dev lintian                                        # the Debian package (tools/package.sh) and its check
  gettext                                                 # translations (msgfmt, xgettext, msgmerge)
  appstream desktop-file-utils                            # checks of the AppStream listing and the desktop file
)
# Done already when every package above is installed; a name that is unknown
# or not installed sends the script on to apt, which names what it cannot find.
missing=0
for package in "${PACKAGES[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" = "install ok installed" ] || { missing=1; break; }
done
[ "$missing" -eq 0 ] && exit 0
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}"
