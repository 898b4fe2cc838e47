#!/bin/sh
# Compares, on a 40 s 640x480 29.97 fps AVI with MP3 sound made on the spot:
#   1. vdub extracting every frame as bitmaps    vs  ffmpeg -i SRC DIR/%06d.bmp
#   2. omm convert --model LM63 (sound, frames,   vs  ffmpeg scaling to 320x240 at 10 fps
#      encoding)                                      into JPEG files plus a 48k MP3
# and reports the peak disk space of the working folder during the conversion.
#   sh bench/acquire/compare.sh [BIN_DIR] [RUNS]
set -eu
bin=${1:-build/release/bin}
runs=${2:-3}
bin=$(cd "$bin" && pwd)
for p in "$bin/vdub" "$bin/omm" "$bin/libAudioPrep.so"; do
    [ -e "$p" ] || { echo "compare.sh: $p is missing; build first" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/omm-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i testsrc=size=640x480:rate=30000/1001 \
    -f lavfi -i sine=frequency=440:sample_rate=44100 \
    -t 40 -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k -ac 2 "$work/src.avi"

now() { date +%s.%N; }
# The conversion writes about 1 GB of bitmaps and runs on every core, so other work on
# the machine (compilers, page-cache writeback) inflates it far more than the single
# ffmpeg process: the figures are only comparable on an otherwise idle machine.
load1() { cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo 0; }
load_before=$(load1)
# Best of $runs wall-clock seconds of the command "$@" (after a setup function $1).
best() {
    setup=$1; shift
    b=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        $setup
        t0=$(now); "$@" >/dev/null 2>&1 || { echo "compare.sh: failed: $*" >&2; exit 1; }
        t1=$(now)
        t=$(awk -v a="$t1" -v b="$t0" 'BEGIN { print a - b }')
        if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
        i=$((i + 1))
    done
    printf '%.3f' "$b"
}

fresh_frames() { rm -rf "$work/frames"; mkdir -p "$work/frames"; }
printf 'VirtualDub.Open(U"%s");\nVirtualDub.audio.SetSource(1);\nVirtualDub.audio.SetMode(0);\nVirtualDub.video.SetRange(0, 0);\nVirtualDub.audio.SetVolume(512);\nVirtualDub.SaveImageSequence(U"%s/", ".bmp", 6, 0);\nVirtualDub.Close();\n' \
    "$work/src.avi" "$work/frames" > "$work/VirtualDub.jobs"

vdub_t=$(best fresh_frames "$bin/vdub" /s "$work/VirtualDub.jobs")
ff_bmp_t=$(best fresh_frames ffmpeg -hide_banner -loglevel error -nostdin -y -i "$work/src.avi" "$work/frames/%06d.bmp")

fresh_source() {
    rm -rf "$work/conv"; mkdir -p "$work/conv"
    cp "$work/src.avi" "$work/conv/src.avi"
}
convert_t=$(best fresh_source "$bin/omm" convert --model LM63 --config "$work/omm.ini" "$work/conv/src.avi")
[ -s "$work/conv/src.ovi" ] || { echo "compare.sh: no device video written" >&2; exit 1; }
fresh_jpegs() { rm -rf "$work/jpg" "$work/out.mp3"; mkdir -p "$work/jpg"; }
ff_conv_t=$(best fresh_jpegs ffmpeg -hide_banner -loglevel error -nostdin -y -i "$work/src.avi" \
    -vf fps=10,scale=320:240:flags=lanczos -q:v 5 "$work/jpg/%05d.jpg" \
    -vn -ac 2 -ar 22050 -b:a 48k "$work/out.mp3")

# Peak size of the working folder, sampled every 50 ms during one more conversion.
fresh_source
"$bin/omm" convert --model LM63 --config "$work/omm.ini" "$work/conv/src.avi" >/dev/null 2>&1 &
pid=$!
peak=0
while kill -0 "$pid" 2>/dev/null; do
    if [ -d "$work/conv/src" ]; then
        s=$(du -sk "$work/conv/src" 2>/dev/null | cut -f1)
        [ -n "$s" ] && [ "$s" -gt "$peak" ] && peak=$s
    fi
    sleep 0.05
done
wait "$pid"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "frame extraction (1200 frames 640x480):"
echo "  vdub            ${vdub_t} s"
echo "  ffmpeg bmp      ${ff_bmp_t} s"
echo "  ratio           $(ratio "$vdub_t" "$ff_bmp_t")x   (goal <= 1.2)"
echo "whole conversion, LM63:"
echo "  omm convert     ${convert_t} s"
echo "  ffmpeg jpg+mp3  ${ff_conv_t} s"
echo "  ratio           $(ratio "$convert_t" "$ff_conv_t")x   (goal <= 3)"
echo "peak working folder: $((peak / 1024)) MB ($peak KB)"
cores=$(nproc 2>/dev/null || echo 1)
load_after=$(load1)
echo "load average (1 min) before/after: $load_before / $load_after on $cores cores"
if awk -v a="$load_before" -v b="$load_after" -v c="$cores" 'BEGIN { exit !(a > c || b > c + 0.5) }'; then
    echo "warning: the machine was busy during the run; repeat on an idle machine" >&2
fi
