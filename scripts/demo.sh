#!/usr/bin/env bash
# Builds Corvane (Release), renders the embedded demo signal through it and takes a picture of
# the editor halfway through the demo.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# Without the tests and benchmarks: they need packages only scripts/test.sh installs.
cmake --preset release -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release -j"$(nproc)" --target corvane-host

mkdir -p out
cd out
../build/release/bin/corvane-host render "$@"
../build/release/bin/corvane-host snapshot corvane-demo-dry.wav --at 4 -o corvane-editor.png
echo "Demo output is in $(pwd)/"
