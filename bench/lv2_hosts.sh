#!/usr/bin/env bash
# Times Corvane's LV2 bundle against the saturation plug-ins Debian ships, in the same host on
# the same file: 60 s of stereo at 48 kHz through lv2file in 512-frame blocks (the fastest of
# three runs each), and lv2bench's own timing of run() alone. Prints each plug-in's time and
# its ratio to Corvane with every stage active and oversampling off; then the same with the
# time of swh's simple amplifier (the file's reading and writing, and almost nothing else)
# taken off, which leaves the plug-ins' own work.
#
#   bench/lv2_hosts.sh [build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"

wanted=(calf-plugins swh-lv2 invada-studio-plugins-lv2 lv2file lilv-utils python3 bc)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
[ -f "$build/lv2/corvane.lv2/corvane.so" ] || cmake --build "$build" --target corvane_lv2 -j"$(nproc)"
export LV2_PATH="$PWD/$build/lv2:/usr/lib/lv2"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Music-like material: chords, a bass line and noise bursts, as float32.
python3 - "$work/in.wav" <<'PY'
import math, random, struct, sys
rate, seconds = 48000, 60
random.seed(1)
out = bytearray()
for i in range(rate * seconds):
    t = i / rate
    burst = 0.15 * (random.random() * 2 - 1) if (i // 6000) % 3 == 0 else 0.0
    common = 0.2 * math.sin(2 * math.pi * 277.2 * t) + \
        0.25 * math.sin(2 * math.pi * 55 * t) * math.sin(math.pi * t) + burst
    out += struct.pack('<ff', 0.3 * math.sin(2 * math.pi * 220 * t) + common,
                       0.3 * math.sin(2 * math.pi * 220 * t + 1) + common)
with open(sys.argv[1], 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', 36 + len(out)) + b'WAVEfmt ' +
            struct.pack('<IHHIIHH', 16, 3, 2, rate, rate * 8, 8, 32) + b'data' +
            struct.pack('<I', len(out)))
    f.write(out)
PY

corvane="http://pellumar.com/plugins/corvane#stereo"
every="-p mod_a:50 -p mod_b:50 -p threshold:-20 -p nonlinearity:1.1 -p knee:3 -p gain:12"
names=("Corvane, every stage" "Corvane, every stage, oversampled" "Calf Saturator"
       "swh Valve saturation (mono, 2 instances)" "Invada Tube (stereo)")
plugins=("$corvane" "$corvane" "http://calf.sourceforge.net/plugins/Saturator"
         "http://plugin.org.uk/swh-plugins/valve" "http://invadarecords.com/plugins/lv2/tube/stereo")
params=("$every -p oversampling:0" "$every -p oversampling:1" "-p drive:8" "-p q_p:0.5 -p dist_p:0.8"
        "-p drive:12")

fastest() {  # seconds of the fastest of three runs of a command
  local best="" t
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

copy=$(fastest lv2file --ignore-clipping -b 512 -i "$work/in.wav" -o "$work/out.wav" \
  http://plugin.org.uk/swh-plugins/amp)
printf '%-42s %10s %8s %10s %8s %12s %8s\n' "plug-in" "lv2file s" "ratio" "own s" "ratio" \
  "lv2bench s" "ratio"
base_file="" base_own="" base_bench=""
for i in "${!plugins[@]}"; do
  # shellcheck disable=SC2086
  file=$(fastest lv2file --ignore-clipping -b 512 ${params[$i]} -i "$work/in.wav" -o "$work/out.wav" "${plugins[$i]}")
  own=$(echo "$file - $copy" | bc -l)
  bench=$(lv2bench -b 512 -n 2880000 "${plugins[$i]}" 2>/dev/null | awk 'NF >= 2 { print $1; exit }')
  [ -n "$base_file" ] || base_file=$file
  [ -n "$base_own" ] || base_own=$own
  [ -n "$base_bench" ] || base_bench=$bench
  printf '%-42s %10.3f %8.2f %10.3f %8.2f %12.4f %8.2f\n' "${names[$i]}" "$file" \
    "$(echo "$file / $base_file" | bc -l)" "$own" "$(echo "$own / $base_own" | bc -l)" \
    "$bench" "$(echo "$bench / $base_bench" | bc -l)"
done
printf '%-42s %10.3f\n' "swh Simple amplifier (the file's reading and writing)" "$copy"
echo "lv2bench runs each plug-in at its default values on silence (Corvane: nothing to do but mix)."
