#!/usr/bin/env bash
# Builds Corvane (Release), renders the embedded demo signal through it and takes a picture of
# the editor halfway through the demo.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target corvane-host

mkdir -p out
cd out
../build/release/bin/corvane-host render "$@"
../build/release/bin/corvane-host snapshot corvane-demo-dry.wav --at 4 -o corvane-editor.png
echo "Demo output is in $(pwd)/"
