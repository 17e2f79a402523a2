#!/usr/bin/env bash
# Draws the demo slideshow's pictures and plays its tune into a folder:
#   make_demo_media.sh <folder>
# Everything is made here from nothing (GraphicsMagick and sox), so the demo
# carries no third-party media.
set -euo pipefail
out="${1:?usage: make_demo_media.sh <folder>}"
mkdir -p "$out"
W=800 H=600

# 1. Sunrise over hills
gm convert -size ${W}x${H} gradient:'#1d1458-#ff9a3c' \
  -fill '#ffe08a' -draw 'circle 400,360 400,270' \
  -fill '#3d2a63' -draw 'ellipse 180,620 420,220 0,360' \
  -fill '#2a1d4a' -draw 'ellipse 640,640 460,240 0,360' \
  -quality 85 "$out/sunrise.jpg"

# 2. Ocean waves
gm convert -size ${W}x${H} gradient:'#9fd8ff-#0b3d91' \
  -fill '#fff6c8' -draw 'circle 640,120 640,75' \
  -fill '#1565c0' -draw 'ellipse 120,420 260,40 0,360' -draw 'ellipse 520,430 300,45 0,360' \
  -fill '#0d47a1' -draw 'ellipse 300,500 360,55 0,360' -draw 'ellipse 760,510 260,50 0,360' \
  -fill '#08306b' -draw 'rectangle 0,540 800,600' \
  -quality 85 "$out/ocean.jpg"

# 3. Forest of triangles
args=()
for i in 0 1 2 3 4 5 6 7 8; do
  x=$((40 + i * 90)); top=$((200 + (i % 3) * 40))
  args+=(-fill '#1b5e20' -draw "polygon $x,$top $((x - 60)),520 $((x + 60)),520")
  args+=(-fill '#5d4037' -draw "rectangle $((x - 8)),520 $((x + 8)),560")
done
gm convert -size ${W}x${H} gradient:'#e0f7fa-#81c784' "${args[@]}" \
  -fill '#33691e' -draw 'rectangle 0,560 800,600' -quality 85 "$out/forest.jpg"

# 4. City at night
args=()
for i in 0 1 2 3 4 5 6 7 8 9; do
  x=$((i * 80)); top=$((220 + (i * 37 % 5) * 45))
  args+=(-fill '#263238' -draw "rectangle $x,$top $((x + 70)),600")
  for wy in $(seq $((top + 20)) 40 560); do
    args+=(-fill '#ffd54f' -draw "rectangle $((x + 12)),$wy $((x + 24)),$((wy + 14))")
    args+=(-fill '#ffe082' -draw "rectangle $((x + 44)),$wy $((x + 56)),$((wy + 14))")
  done
done
gm convert -size ${W}x${H} gradient:'#000022-#3a1c71' \
  -fill '#f5f5f5' -draw 'circle 120,100 120,70' "${args[@]}" -quality 85 "$out/city.jpg"

# Backgrounds: a small tile and a soft paper texture.
gm convert -size 64x64 xc:'#2b2250' -fill '#3c3170' -draw 'rectangle 0,0 31,31' \
  -draw 'rectangle 32,32 63,63' "$out/tile.png"
gm convert -size 320x240 gradient:'#f3e5ab-#c8a165' -quality 85 "$out/paper.jpg"

# A chime for the first picture and a short tune for the background.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
sox -n -r 22050 -c 1 -b 16 "$out/chime.wav" synth 1.2 pluck E5 fade 0 1.2 0.9 vol 0.6
i=0
for note in C4 E4 G4 C5 G4 E4 F4 A4 C5 A4 G4 E4 D4 G4 B4 C5; do
  sox -n -r 22050 -c 1 -b 16 "$tmp/n$(printf %02d $i).wav" synth 0.38 pluck "$note" fade 0 0.38 0.1 vol 0.5
  i=$((i + 1))
done
sox "$tmp"/n*.wav "$out/tune.wav"
