#!/usr/bin/env bash
# Redraws the README's pictures in docs/ from the Release build: the editor at 100 % and 200 %
# while the demo plays through a preset, and the curve of every factory preset in one grid.
# Look at every picture before committing it.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build --preset release -j"$(nproc)" --target corvane-host >/dev/null
host=build/release/bin/corvane-host
font=/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The demo's dry signal, 4 seconds in: the meters and the curve show a moment of the music.
(cd "$work" && "$OLDPWD/$host" render -o demo.wav >/dev/null)
for zoom in 1 2; do
  name=editor.png
  [ "$zoom" = 2 ] && name=editor@2x.png
  "$host" snapshot "$work/demo-dry.wav" --at 4 --preset "Tape Push" --scale "$zoom" \
    -o "docs/$name" >/dev/null
done

# Each preset's curve, cut from a 2x snapshot: the screen with its bezel, the name below.
tiles=()
while IFS= read -r preset; do
  file="$work/$(echo "$preset" | tr ' ' '_').png"
  "$host" snapshot --preset "$preset" --scale 2 -o "$file" >/dev/null
  convert "$file" -crop 412x412+444+82 +repage "$file"
  tiles+=(-label "$preset" "$file")
done < <("$host" presets | grep -v '^ ')
montage "${tiles[@]}" -tile 4x2 -geometry 206x206+10+8 -background '#1b1c1f' -fill '#c4c7cc' \
  -font "$font" -pointsize 15 docs/presets.png
echo "Redrawn: docs/editor.png docs/editor@2x.png docs/presets.png"
