#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time on a seed
# corpus made now.   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
# Exit status is non-zero when a fuzzer found a problem (its work folder is printed).
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMM_FUZZ=ON -DOMM_TESTS=OFF \
    -DOMM_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target \
    bmp_fuzzer record_fuzzer compress_fuzzer fuzz_codec_seeds avi_header_fuzzer \
    swf_fuzzer swf_fuzz_seeds
status=0
sh fuzz/codec/run.sh "$build/bin" "$seconds" || status=1
sh fuzz/swf/run.sh "$seconds" "$build" || status=1
exit $status
