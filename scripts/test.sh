#!/bin/sh
# Sets up the machine when needed, builds the sanitizer configuration and runs every test.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
sh scripts/build.sh asan
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build/asan
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" --timeout 900
