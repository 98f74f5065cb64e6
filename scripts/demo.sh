#!/usr/bin/env bash
# Builds Corvane (Release) and renders the embedded demo signal through it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target corvane-host

mkdir -p out
cd out
../build/release/bin/corvane-host render "$@"
echo "Demo output is in $(pwd)/"
