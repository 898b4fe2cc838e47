#!/bin/sh
# Runs the Flash movie fuzzer for a bounded time on a seed corpus made now.
#   fuzz/swf/run.sh [SECONDS] [BUILD_DIR]      (defaults: 60, build/fuzz)
# Builds the fuzz configuration first when BUILD_DIR has no fuzzer yet. Exit status is
# the fuzzer's: 0 when nothing was found; a crash leaves crash-* files in the work folder.
set -eu
cd "$(dirname "$0")/../.."
seconds=${1:-60}
build=${2:-build/fuzz}
if [ ! -x "$build/bin/swf_fuzzer" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMM_FUZZ=ON -DOMM_TESTS=OFF -DOMM_BENCH=OFF \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$build" --target swf_fuzzer swf_fuzz_seeds -j "$(nproc 2>/dev/null || echo 2)"
build=$(cd "$build" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/swf-fuzz.XXXXXX")
trap 'rm -rf "$work/corpus"' EXIT
mkdir -p "$work/corpus"
"$build/bin/swf_fuzz_seeds" "$work/corpus"
if command -v ffmpeg >/dev/null 2>&1; then
    for codec in mjpeg flv; do
        ffmpeg -loglevel error -y -f lavfi -i testsrc=size=32x24:rate=6 -f lavfi -i sine -t 0.5 \
            -c:v "$codec" -c:a libmp3lame -ar 11025 "$work/corpus/ffmpeg_$codec.swf"
    done
fi
# fontconfig keeps its caches until exit on purpose; that is not ours to report.
printf 'leak:libfontconfig\n' >"$work/lsan.supp"
echo "fuzzing for $seconds s; findings go to $work"
cd "$work"
LSAN_OPTIONS="suppressions=$work/lsan.supp" QT_LOGGING_RULES="qt.gui.imageio.jpeg=false" QT_QPA_PLATFORM=offscreen "$build/bin/swf_fuzzer" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 corpus
