#!/usr/bin/env bash
# Builds Moonwisp twice (optimised, and with AddressSanitizer + UBSan), starts a
# headless X server for the window tests, runs the whole suite in both builds,
# then runs every libFuzzer target for a fixed time. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
# Each stage says how long it took.
STAGE_START=$SECONDS
stage() { echo "== $1 (previous stage: $((SECONDS - STAGE_START)) s, total: $SECONDS s)"; STAGE_START=$SECONDS; }

stage "optimised build"

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$JOBS"
stage "AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Release -DMOONWISP_SANITIZE=ON >/dev/null
cmake --build build/asan -j"$JOBS"

# A private X server: GLX and RANDR for the window and monitor tests; -noreset
# keeps monitors set with xrandr --setmonitor between clients.
XVFB_PID=
TEST_TMP=
cleanup() {
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  if [ -n "$TEST_TMP" ]; then rm -rf "$TEST_TMP"; fi
}
trap cleanup EXIT
# Temporary files of the tests, the fuzzers and the tools they run (lintian)
# go to one folder of the run's own, removed at the end. Under /tmp and open
# to all: some tests run a compositor or a check as an unprivileged user,
# who must reach it whatever folder the repository is in.
TEST_TMP=$(mktemp -d /tmp/moonwisp-tests-XXXXXX)
chmod 0755 "$TEST_TMP"
export TMPDIR=$TEST_TMP TEST_TMPDIR=$TEST_TMP
# Xvfb picks a free display itself and writes its number once it is ready.
mkdir -p build
exec {displayfd}>build/xvfb.display
Xvfb -displayfd "$displayfd" -noreset -screen 0 1920x1200x24 +extension GLX +extension RANDR -nolisten tcp \
  >build/xvfb.log 2>&1 &
XVFB_PID=$!
exec {displayfd}>&-
for _ in $(seq 1 300); do [ -s build/xvfb.display ] && break; kill -0 "$XVFB_PID" 2>/dev/null || break; sleep 0.1; done
DISPLAY_NUM=$(head -n1 build/xvfb.display 2>/dev/null || true)
if [ -z "$DISPLAY_NUM" ]; then echo "Xvfb did not start:"; cat build/xvfb.log; exit 1; fi
export DISPLAY=:$DISPLAY_NUM
export LIBGL_ALWAYS_SOFTWARE=1
# The servers the tests need are started here or by the tests themselves: a
# test that finds one missing fails instead of skipping.
export CI=${CI:-1}
# Any GTK or GLib critical fails the test that caused it.
export G_DEBUG=fatal-criticals
# intercept_tls_get_addr=0: up to GCC 13 (Debian 12) the sanitizers take a
# dynamic TLS block that happens to start 16 bytes into a page for one with
# a glibc 2.19 header, and LeakSanitizer's tracer then crashes on the bogus
# range it reads ("Tracer caught signal 11"), failing a clean run at random.
# Only dlopen()ed libraries (the GL driver, GTK's modules) have dynamic TLS,
# and nothing of ours is kept there.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:intercept_tls_get_addr=0
# Leaks inside third-party libraries (Mesa, GTK, fontconfig) are suppressed by name.
[ -f "$ROOT/tests/lsan.supp" ] && export LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# A failed run ends with what each failed test printed, last: with two
# tests at a time their output lies somewhere in the middle of the log.
failed() {
  echo "== what the failed tests printed (last 80 lines each)"
  awk '/^[0-9]+\/[0-9]+ Testing: /{n=0; name=$0} {text[n++]=$0}
       /^Test Failed\.$/ || /^Test Passed\.$/ { if ($0 != "Test Passed.") {
         print "-- " name; for (i = (n > 80 ? n - 80 : 0); i < n; i++) print text[i] } n=0 }' \
    "$1/Testing/Temporary/LastTest.log" || true
  exit 1
}
stage "tests, optimised build"
ctest --test-dir build/release --output-on-failure -j"$JOBS" --timeout 600 || failed build/release
stage "tests, AddressSanitizer + UndefinedBehaviorSanitizer build"
# Mesa's software rasterizer draws on the calling thread here: its own
# threads have crashed LeakSanitizer's stop-the-world at exit, and in the
# driver's generated code when a window went in the middle of a frame; neither
# is code the sanitizers check.
LP_NUM_THREADS=0 ctest --test-dir build/asan --output-on-failure -j"$JOBS" --timeout 900 || failed build/asan

# Fuzz targets are built by clang with libFuzzer, in a build of their own.
if grep -rlq LLVMFuzzerTestOneInput tests; then
  stage "fuzz build"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Release -DMOONWISP_FUZZ=ON >/dev/null
  cmake --build build/fuzz -j"$JOBS" --target moonwisp_fuzzers
  for fuzzer in build/fuzz/fuzzers/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus=build/fuzz/corpus/$name; mkdir -p "$corpus"
    seeds=tests/fuzz_seeds/$name; [ -d "$seeds" ] || seeds=
    stage "fuzzing $name for ${FUZZ_SECONDS}s"
    "$fuzzer" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 "$corpus" $seeds >"build/fuzz/$name.log" 2>&1 \
      || { tail -60 "build/fuzz/$name.log"; exit 1; }
    tail -1 "build/fuzz/$name.log"
  done
fi
stage "all tests passed"
