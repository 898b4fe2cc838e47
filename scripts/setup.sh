#!/bin/sh
# Installs, through Debian packages, everything needed to build, test and benchmark
# OndrelMediaMaker. Only missing packages are installed; no questions are asked.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config git
qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6network6 libqt6opengl6-dev
qt6-qpa-plugins libgl-dev
libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
libjpeg62-turbo-dev libmp3lame-dev zlib1g-dev liblzma-dev libsimpleini-dev
libgtest-dev libgmock-dev libbenchmark-dev
ffmpeg clang libclang-rt-14-dev clang-format
fonts-noto-cjk
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
