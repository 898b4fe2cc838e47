#!/bin/sh
# Configures and builds one configuration of the project.
#   scripts/build.sh [debug|asan|release|fuzz]   (default: debug)
# Builds land in build/<configuration>.
set -eu
cd "$(dirname "$0")/.."
config=${1:-debug}
jobs=$(nproc 2>/dev/null || echo 2)
generator=""
if command -v ninja >/dev/null 2>&1; then generator="-G Ninja"; fi
case "$config" in
    debug)   flags="-DCMAKE_BUILD_TYPE=Debug" ;;
    asan)    flags="-DCMAKE_BUILD_TYPE=Debug -DOMM_SANITIZE=ON -DOMM_BENCH=OFF" ;;
    release) flags="-DCMAKE_BUILD_TYPE=Release -DOMM_TESTS=OFF" ;;
    fuzz)    flags="-DCMAKE_BUILD_TYPE=Debug -DOMM_FUZZ=ON -DOMM_TESTS=OFF -DOMM_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++" ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S . -B "build/$config" $generator $flags >/dev/null
cmake --build "build/$config" -j "$jobs"
