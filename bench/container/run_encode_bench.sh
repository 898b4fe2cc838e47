#!/bin/sh
# Encode benchmarks of the device video writer (Release build):
#   cmake -S . -B build/container-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DOMM_TESTS=OFF
#   cmake --build build/container-rel --target container_encode_bench
#   bench/container/run_encode_bench.sh build/container-rel/bin/container_encode_bench
# 1. 1000 frames, sequential against parallel, per model (best of REPEAT runs each).
# 2. Peak resident memory of 300 and 3000 frames.
# Each run gets a session of its own (setsid): with the kernel's autogroup scheduling the
# CPU is shared per session, so a run in the caller's busy session could not use a
# second core. Run as root, the session's priority is raised as well, for steadier
# figures on a shared machine.
set -eu
BENCH=${1:?path of container_encode_bench}
REPEAT=${REPEAT:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/frames"
ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i testsrc=size=320x240:rate=10 \
    -frames:v 1000 "$WORK/frames/%06d.bmp"

# Every run reads its frames from a folder of its own (hard links to the bitmaps) and
# writes its side files and output there, as a conversion does in its new working
# folder. Folders are kept until the end: files made where many were just deleted, or
# written over older ones, cost the file system more than in a real run.
one() { # one run in its own session: bench arguments...
    dir=$(mktemp -d "$WORK/run.XXXXXX")
    cp -al "$WORK/frames/." "$dir/"
    setsid sh -c 'echo -15 > /proc/$$/autogroup 2>/dev/null || true; exec "$@"' sh \
        "$BENCH" "$@" --source "$dir" --output "$dir/out.bin" < /dev/null
}

best() { # best time of REPEAT runs of: model path frames
    b=""
    i=0
    while [ $i -lt "$REPEAT" ]; do
        line=$(one --model "$1" --path "$2" --frames "$3")
        t=$(echo "$line" | sed 's/.* seconds=\([0-9.]*\).*/\1/')
        if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
        i=$((i + 1))
    done
    echo "$b"
}

# Figures on ext4 move with the file system's recent history (inodes freed moments ago
# are slow to reuse); TMPDIR=/dev/shm measures the program alone.
echo "== working folder on $(df -T "$WORK" | awk 'NR == 2 { print $2 }') =="
echo "== 1000 frames: sequential vs parallel (best of $REPEAT) =="
for model in LM41 LM52 LM63; do
    s=$(best $model sequential 1000)
    p=$(best $model parallel 1000)
    echo "$model sequential ${s}s parallel ${p}s speed-up $(echo "scale=2; $s / $p" | bc)x"
done

echo "== peak resident memory (same path, 300 against 3000 frames) =="
for model in LM41 LM52 LM63; do
    for path in sequential parallel; do
        for n in 300 3000; do
            one --model $model --path $path --frames $n
        done
    done
done
