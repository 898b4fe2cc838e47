#!/bin/sh
# The first thing a new user runs: installs what is missing, builds the programs and
# runs the main job on a sample made on the spot.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
sh scripts/build.sh release
bin=build/release/bin
if [ -f scripts/sample.sh ]; then
    exec sh scripts/sample.sh "$bin"
fi
"$bin/omm" models
"$bin/omm" settings
