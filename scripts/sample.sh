#!/bin/sh
# Makes a sample lesson video (an AVI with sound) and its subtitle file, converts it for
# the three device-video models and says where the results are.
#   sh scripts/sample.sh [BIN_DIR] [OUTPUT_DIR]
# BIN_DIR defaults to build/release/bin, OUTPUT_DIR to build/sample.
set -eu
cd "$(dirname "$0")/.."
bin=${1:-build/release/bin}
out=${2:-build/sample}
if [ ! -x "$bin/omm" ] || [ ! -x "$bin/vdub" ]; then
    echo "sample.sh: $bin holds no built omm and vdub; run scripts/build.sh release first" >&2
    exit 1
fi
command -v ffmpeg >/dev/null 2>&1 || { echo "sample.sh: ffmpeg is needed to make the sample" >&2; exit 1; }
bin=$(cd "$bin" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The subtitle file the device format takes: three header numbers, a line that is not
# read, then five lines per entry (number, times, two text lines, separator).
write_subtitles() {
    cat > "$1" <<'SRT'
1
0
0
Sample lesson
1
00:00:00,500 --> 00:00:03,500
Welcome to the sample lesson
欢迎学习

2
00:00:04,000 --> 00:00:07,500
The picture is a test pattern
声音是一个音调

3
00:00:08,000 --> 00:00:11,500
Thank you for watching

SRT
}

status=0
for model in LM63 LM52 LM41; do
    dir="$out/$model"
    rm -rf "$dir"
    mkdir -p "$dir"
    src="$dir/sample lesson.avi"
    ffmpeg -hide_banner -loglevel error -nostdin -y \
        -f lavfi -i "testsrc=size=320x240:rate=25" \
        -f lavfi -i "sine=frequency=440:sample_rate=22050" \
        -t 12 -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 64k -ac 2 "$src"
    write_subtitles "$dir/sample lesson.srt"
    echo "== $model"
    if ! "$bin/omm" convert --model "$model" "$src"; then
        status=1
    fi
done

echo
echo "Results:"
for f in "$out"/LM63/*.ovi "$out"/LM52/*.omv "$out"/LM41/*.omv; do
    [ -f "$f" ] && echo "  $f"
done
echo "Look inside one with:  $bin/omm inspect \"$out/LM63/sample lesson.ovi\""
exit $status
