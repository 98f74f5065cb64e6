#!/usr/bin/env bash
# Builds and runs the whole test suite: a Release build, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the plug-in validator at its highest strictness
# on the sanitized modules, and the multi-threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh --tests
jobs="$(nproc)"

for preset in release asan; do
  echo "== $preset =="
  # The demo may have configured the release build without them.
  extra=()
  [ "$preset" = release ] && extra=(-DCORVANE_BUILD_BENCH=ON)
  cmake --preset "$preset" -DCORVANE_BUILD_TESTS=ON "${extra[@]}" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

echo "== validate (asan, strictness 10, in an X server of its own) =="
# A fixed seed keeps CI reproducible; the validator's own tests vary it. With a display every
# test can run, so a SKIPPED one is a fault here.
report="$(mktemp)"
for module in build/asan/bin/Corvane.aaxplugin/Contents/x86_64-linux/Corvane.so \
  build/asan/vst3/Corvane.vst3 build/asan/clap/Corvane.clap; do
  echo "-- $module"
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    build/asan/bin/corvane-host validate --module "$module" --strictness 10 --seed 20261209 |
    tee "$report"
  if grep -q '^SKIPPED' "$report"; then
    echo "validate skipped tests on $module although it had a display" >&2
    exit 1
  fi
done
rm -f "$report"

echo "== tsan (threads) =="
cmake --preset tsan -DCORVANE_BUILD_TESTS=ON >/dev/null
cmake --build --preset tsan -j"$jobs" --target framework_thread_tests framework_api_thread_tests \
  aax_thread_tests plugin_thread_tests validate_thread_tests graphics_thread_tests \
  graphics_cairo_thread_tests corvane_editor_thread_tests lv2_thread_tests \
  corvane-host corvane_aax corvane_clap clap_bundle_tests clap_editor_tests
ctest --preset tsan -j"$jobs" -L threads
# The CLAP plug-in's calls from the main and the audio thread, its editor closing while audio runs.
ctest --preset tsan -j"$jobs" -R '^Clap(Bundle|Editor)\.'
