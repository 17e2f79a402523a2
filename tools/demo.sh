#!/usr/bin/env bash
# Installs what Lumivane needs, builds it and plays the demo slideshow.
#
#   bash tools/demo.sh
#
# The demo (four pictures with captions, backgrounds, transitions, a chime and
# background music, all made by tools/assets of this project) is installed
# into the data folder on the first run. With a display the show plays there:
# press any key to end it. Without one ($DISPLAY and $WAYLAND_DISPLAY empty)
# it plays on a virtual X server and a screenshot of the running show is
# saved; its path is printed at the end.
#
# Environment: LUMIVANE_BUILD_DIR (default build), DEMO_SCREENSHOT (default
# lumivane-demo.png in the build folder), DEMO_SECONDS (how long the headless
# show runs before the screenshot, default 17: the first picture has given way
# to the second by then).
#
# Only what building and running need is installed (tools/setup.sh), plus a
# virtual X server when there is no display; the tests' tools are not.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${LUMIVANE_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

headless=1
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then headless=0; fi

echo "== Installing packages"
if [ "$headless" = 1 ]; then
  bash "$root/tools/setup.sh" --xvfb
else
  bash "$root/tools/setup.sh"
fi

echo "== Building in $build"
configure=(-S "$root" -B "$build" -G Ninja)
# A new build folder leaves the tests out: GoogleTest is a test tool. A folder
# tools/test.sh configured keeps them.
[ -f "$build/CMakeCache.txt" ] || configure+=(-DLUMIVANE_TESTS=OFF)
cmake "${configure[@]}" >/dev/null
cmake --build "$build" --target lumivane
exe="$build/app/lumivane"
[ -x "$exe" ] || { echo "demo: $exe was not built" >&2; exit 1; }

# The folders the program itself uses.
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
data_folder="$data_home/lumivane/Lumivane Data"
media="$data_folder/Demo Media"
show="$data_folder/Lumivane Demo.lmv"

if [ ! -f "$show" ]; then
  echo "== Installing the demo slideshow into $data_folder"
  mkdir -p "$media"
  bash "$root/assets/demo/make_demo_media.sh" "$media"
  # The slideshow file names its pictures by full path; its lines end in CR LF.
  escaped="$(printf '%s' "$media" | sed -e 's/[\\&|]/\\&/g')"
  sed -e "s|@MEDIA@|$escaped|g" -e 's/$/\r/' "$root/assets/demo/Lumivane Demo.lmv.in" > "$show.tmp"
  mv "$show.tmp" "$show"
fi

if [ "$headless" = 0 ]; then
  echo "== Playing \"$show\" (press any key to end the show)"
  exec "$exe" "$show"
fi

shot="${DEMO_SCREENSHOT:-$build/lumivane-demo.png}"
case "$shot" in /*) ;; *) shot="$PWD/$shot" ;; esac
mkdir -p "$(dirname "$shot")"
seconds="${DEMO_SECONDS:-17}"
echo "== No display: playing on a virtual X server for $seconds seconds"

log="$build/lumivane-demo.log"
export LUMIVANE_DEMO_EXE="$exe" LUMIVANE_DEMO_SHOW="$show" LUMIVANE_DEMO_SHOT="$shot" \
       LUMIVANE_DEMO_SECONDS="$seconds" LUMIVANE_DEMO_LOG="$log"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  "$LUMIVANE_DEMO_EXE" "$LUMIVANE_DEMO_SHOW" 2>"$LUMIVANE_DEMO_LOG" &
  pid=$!
  sleep "$LUMIVANE_DEMO_SECONDS"
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "demo: the player ended before the screenshot" >&2
    exit 1
  fi
  # GraphicsMagick grabs the whole virtual screen.
  gm import -window root "$LUMIVANE_DEMO_SHOT"
  status=$?
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit $status
'
echo "== Player messages: $log"
echo "== Screenshot of the running show: $shot"
