#!/usr/bin/env bash
# Memory of the player and its decoder together through a show of huge
# pictures that all show: a 53-megapixel PNG centred at its own size, an
# 18-megapixel PCX tiled, a 30000x600 PNG as a tiled background, a 600x30000
# PNG at the bottom right, a 24-megapixel progressive JPEG at the top left,
# and a 64-megapixel JPEG fitted to the screen, three seconds each, round
# and round.
#
#   bash tools/huge_pictures_memory.sh [build-folder] [seconds]
#
# Runs "lumivane /S" on its own X server (xvfb-run) for the given time
# (default 600 s), reads the resident memory of the player and of every
# decoding process it runs each 20 ms, and prints the highest of the player,
# of a decoder, and of both together at one moment, and which pictures gave
# an error banner (none should). Needs xvfb-run and
# GraphicsMagick (gm). Not part of the tests: run it by hand.
# SIZE=WxH sets the screen (default 1920x1080).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-600}
size=${SIZE:-1920x1080}

source "$root/tools/show_home.sh"
on_own_x "$size" "$0" "$build" "$seconds"

bin="$build/app/lumivane"
[[ -x "$bin" ]] || { echo "no lumivane in $build/app" >&2; exit 1; }

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
pid=0

echo "making the pictures ..." >&2
# Smooth colour, with grain where asked, 8 bits a channel (what the readers
# hold at 4 bytes a pixel).
picture() {   # size file [gm options]
  local s=$1 f=$2
  shift 2
  gm convert -size "$s" gradient:'#2060c0-#e0a040' "$@" -depth 8 -type TrueColor "$f"
}
picture 7280x7280 "$work/square.png" +noise Uniform
picture 4900x3700 "$work/tiles.pcx"   # rows of one colour, as its runs pack
picture 30000x600 "$work/wide.png" +noise Uniform
picture 600x30000 "$work/tall.png" +noise Uniform
picture 6000x4000 "$work/progressive.jpg" +noise Uniform -interlace Line -quality 90
picture 8000x8000 "$work/huge.jpg" +noise Uniform -quality 90
small="$work/small.png"
gm convert -size 320x200 xc:'#40c040' "$small"

home="$work/home"
{
  show_sequence "$work/square.png" 8 3
  show_sequence "$work/tiles.pcx" 3 3
  show_sequence "$small" 8 3 "$work/wide.png" 0
  show_sequence "$work/tall.png" 12 3
  show_sequence "$work/progressive.jpg" 4 3
  show_sequence "$work/huge.jpg" 0 3
} | show_home "$home" Huge 6 'logging=1\nauto_stop=0\n'

rss() { awk '/^VmRSS:/ {print $2; found = 1} END {if (!found) print 0}' "/proc/$1/status" 2>/dev/null || echo 0; }

log="$home/data/lumivane/Lumivane Log.txt"
XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" "$bin" /S &
pid=$!
echo "showing for $seconds s ..." >&2
player_peak=0 decoder_peak=0 both_peak=0 samples=0
end=$((SECONDS + seconds))
while ((SECONDS < end)) && kill -0 "$pid" 2>/dev/null; do
  player=$(rss "$pid")
  decoders=0
  for child in $(pgrep -P "$pid" || true); do
    d=$(rss "$child")
    decoders=$((decoders + d))
  done
  both=$((player + decoders))
  ((player > player_peak)) && player_peak=$player
  ((decoders > decoder_peak)) && decoder_peak=$decoders
  ((both > both_peak)) && both_peak=$both
  samples=$((samples + 1))
  # The log starts over when it grows large: banners are noted as they come.
  if ((samples % 50 == 0)); then
    grep -a -B60 "Display Error Banner" "$log" 2>/dev/null | grep -a "Showing Image Array" | tail -1 |
      sed 's/.*Showing Image Array \([0-9]*\).*/sequence \1/' >> "$work/banners" || true
  fi
  sleep 0.02
done
kill -0 "$pid" 2>/dev/null || { echo "the player ended early" >&2; exit 1; }
echo "screen $size, $seconds s, $samples samples: peak resident memory player $((player_peak / 1024)) MB," \
     "decoder $((decoder_peak / 1024)) MB, both together $((both_peak / 1024)) MB"
if [[ -s "$work/banners" ]]; then
  echo "error banners came with:"
  sort -u "$work/banners"
fi
