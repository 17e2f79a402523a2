#!/usr/bin/env bash
# How much of a core "lumivane /S" uses while one picture is held on the
# screen: the process's user and system time over a minute, as a share of
# one core, with the machine's load beside it.
#
#   bash tools/idle_cpu.sh [build-folder] [seconds]
#
# Runs on its own X server (xvfb-run, 1024x768). WM=openbox runs the show
# under openbox. Needs xvfb-run and GraphicsMagick (gm). Not part of the
# tests: run it by hand, on a machine as quiet as can be had.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-60}

source "$root/tools/show_home.sh"
on_own_x 1024x768 "$0" "$build" "$seconds"

bin="$build/app/lumivane"
[[ -x "$bin" ]] || { echo "no lumivane in $build/app" >&2; exit 1; }
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

if [[ -n "${WM:-}" ]]; then
  "$WM" --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  sleep 2
fi

gm convert -size 1024x768 plasma:fractal "$work/picture.png"
# One picture ("Center Full Screen 100%", no effect, no caption, no sound),
# held for longer than the measurement.
show_sequence "$work/picture.png" 0 $((seconds + 60)) |
  show_home "$work" Held 1 'logging=0\n'

XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  DBUS_SESSION_BUS_ADDRESS= "$bin" /S &
pid=$!
pids+=("$pid")
# utime + stime, in clock ticks (fields 14 and 15 after the command's name).
ticks() { awk '{sub(/^.*\) /, ""); print $12 + $13}' "/proc/$pid/stat"; }
sleep 10   # start-up and the first picture are not idling
t0=$(ticks)
sleep "$seconds"
t1=$(ticks)
hz=$(getconf CLK_TCK)
awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$seconds" -v wm="${WM:-none}" \
  'BEGIN {printf "idle CPU of /S with one picture held (window manager: %s): %.2f%% of a core over %d s\n", wm, 100 * d / hz / s, s}'
uptime
