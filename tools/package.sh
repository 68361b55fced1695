#!/usr/bin/env bash
# Builds the Debian package moonwisp_<version>_<arch>.deb from a clean build
# (no tests, no benchmarks) and leaves it in the repository's root:
#   bash tools/package.sh && sudo apt install ./moonwisp_*.deb
# The package is made by CPack from the same install rules as `cmake --install`,
# with Debian's hardening flags; lintian checks it when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/package
JOBS=${JOBS:-$(nproc)}
for tool in dpkg-buildflags dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing; run tools/setup.sh" >&2; exit 1; }
done

# Debian's flags for packages (stack protector, fortified functions, full
# RELRO), without -g: the programs are stripped in the package anyway.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1" | sed -e 's/\(^\| \)-g\( \|$\)/\1/'; }
rm -rf "$BUILD"
echo "== configuring $BUILD"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DMOONWISP_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)"
echo "== building"
cmake --build "$BUILD" -j"$JOBS"
echo "== packaging"
(cd "$BUILD" && cpack -G DEB)
deb=$(cd "$BUILD" && ls moonwisp_*.deb)
rm -f "$ROOT"/moonwisp_*.deb
cp "$BUILD/$deb" "$ROOT/$deb"
if command -v lintian >/dev/null; then
  echo "== lintian"
  lintian --info "$ROOT/$deb" || { echo "package.sh: lintian found errors in $deb" >&2; exit 1; }
fi
echo "Built $ROOT/$deb; install it with: sudo apt install ./$deb"
