#!/usr/bin/env bash
# Installs the Debian packages Lumivane needs, without recommended extras.
#
#   bash tools/setup.sh            what building and running the program need
#   bash tools/setup.sh --test     that, plus what the tests, benchmarks and
#                                  fuzzing add
#   bash tools/setup.sh --xvfb     that, plus a virtual X server (xvfb-run),
#                                  for playing without a display
#
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

# Building and running: compiler and build tools, Qt 6 and GraphicsMagick;
# GStreamer plays sound and music for Qt Multimedia and video slides through
# a pipeline of the program's own (its headers, and those of its app and
# video libraries: the program starts media players in step with
# GStreamer's threads and takes video frames from its own sink; MIDI
# through the fluidsynth element of plugins-bad, with the General MIDI sound
# font; the ALSA and PulseAudio plugins are how the player finds and reaches
# the sound card); the caption fonts (Liberation stands in for Arial); the X
# screen-saver headers; the MIME and desktop databases the file-type
# registration updates; sox makes the demo's sounds
# (assets/demo/make_demo_media.sh; GraphicsMagick draws its pictures).
RUN_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6multimedia6 qt6-image-formats-plugins
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  libgraphicsmagick++1-dev graphicsmagick
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav
  gstreamer1.0-alsa gstreamer1.0-pulseaudio
  fluid-soundfont-gm
  fonts-liberation2 fonts-dejavu-core
  libx11-dev libxss-dev libxext-dev
  shared-mime-info desktop-file-utils
  sox
)

# A virtual X server: the X tests, and the demo when there is no display.
XVFB_PACKAGES=(xvfb xauth)

# Testing, benchmarks and fuzzing: GoogleTest and Google Benchmark; clang and
# its sanitizer/libFuzzer runtime (tools/fuzz.sh); tools the tests drive
# (xdotool keys, xwininfo from x11-utils, a D-Bus daemon, openbox as a window
# manager, pdftotext from poppler-utils) or make media with (ffmpeg, sox);
# djpeg, the decoding benchmark's yardstick; feh, the first-picture
# script's (tools/first_picture.sh); gst-play-1.0, the video benchmark's
# yardstick (gstreamer1.0-plugins-base-apps; it shows the video through
# ximagesink, from gstreamer1.0-x).
TEST_PACKAGES=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  "${XVFB_PACKAGES[@]}"
  xdotool x11-utils dbus poppler-utils openbox
  ffmpeg libjpeg-turbo-progs zlib1g-dev
  feh gstreamer1.0-plugins-base-apps gstreamer1.0-x
)

packages=("${RUN_PACKAGES[@]}")
for arg in "$@"; do
  case "$arg" in
    --test) packages+=("${TEST_PACKAGES[@]}") ;;
    --xvfb) packages+=("${XVFB_PACKAGES[@]}") ;;
    *) echo "usage: bash tools/setup.sh [--test] [--xvfb]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "== Installing: ${missing[*]}"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
