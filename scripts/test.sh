#!/usr/bin/env bash
# Builds and runs the whole test suite: a Release build, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the plug-in validator at its highest strictness
# on the sanitized module, and the multi-threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
jobs="$(nproc)"

for preset in release asan; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

echo "== validate (asan, strictness 10) =="
# A fixed seed keeps CI reproducible; the validator's own tests vary it.
build/asan/bin/corvane-host validate --strictness 10 --seed 20261209

echo "== tsan (threads) =="
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs" --target framework_thread_tests framework_api_thread_tests \
  aax_thread_tests plugin_thread_tests validate_thread_tests graphics_thread_tests \
  graphics_cairo_thread_tests corvane_editor_thread_tests lv2_thread_tests
ctest --preset tsan -j"$jobs" -L threads
