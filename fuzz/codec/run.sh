#!/bin/sh
# Runs the codec and AVI-header fuzzers for a bounded time each, on a seed corpus made
# now. Builds nothing: give the bin folder of a clang build configured with
# -DOMM_FUZZ=ON (targets bmp_fuzzer record_fuzzer compress_fuzzer fuzz_codec_seeds
# avi_header_fuzzer).
#   fuzz/codec/run.sh BIN_DIR [SECONDS_PER_TARGET]      (default 30)
# Exit status 0 when no target found anything; findings (crash-*, leak-*, timeout-*)
# stay in the work folder printed at the start.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 BIN_DIR [SECONDS_PER_TARGET]" >&2
    exit 2
fi
bin=$(cd "$1" && pwd)
seconds=${2:-30}
for t in bmp_fuzzer record_fuzzer compress_fuzzer fuzz_codec_seeds; do
    if [ ! -x "$bin/$t" ]; then
        echo "$bin/$t is missing; build the fuzz configuration first" >&2
        exit 2
    fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/codec-fuzz.XXXXXX")
echo "work folder: $work"
"$bin/fuzz_codec_seeds" "$work/corpus"
mkdir -p "$work/corpus/avi"
if command -v ffmpeg >/dev/null 2>&1; then
    for fmt in bgr24 bgra rgb555le rgb565le; do
        ffmpeg -loglevel error -y -f lavfi -i testsrc=size=13x7 -frames:v 1 -pix_fmt "$fmt" \
            "$work/corpus/bmp/ffmpeg_$fmt.bmp"
    done
    ffmpeg -loglevel error -y -f lavfi -i testsrc=size=32x24:rate=10 -t 0.5 -c:v mjpeg \
        "$work/corpus/avi/ffmpeg.avi"
    # The reader looks at the head only; a short file keeps each run quick.
    head -c 2048 "$work/corpus/avi/ffmpeg.avi" >"$work/corpus/avi/head.avi"
    rm "$work/corpus/avi/ffmpeg.avi"
else
    printf 'RIFF\0\0\0\0AVI LIST' >"$work/corpus/avi/minimal.avi"
fi

status=0
run() {
    name=$1
    corpus=$2
    shift 2
    if [ ! -x "$bin/$name" ]; then
        echo "== $name: not built, skipped"
        return
    fi
    echo "== $name for $seconds s"
    mkdir -p "$work/$name"
    if ! (cd "$work/$name" && "$bin/$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "$@" "$work/corpus/$corpus" \
        >"$work/$name.log" 2>&1); then
        echo "   $name found a problem; see $work/$name.log and $work/$name/"
        status=1
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$work/$name.log" || true
}
run bmp_fuzzer bmp -max_len=16384
run record_fuzzer record -max_len=65536
run compress_fuzzer compress -max_len=65536
run avi_header_fuzzer avi -max_len=4096
exit $status
