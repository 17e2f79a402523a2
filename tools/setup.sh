#!/usr/bin/env bash
# Installs every Debian package Lumivane needs to build, run and test.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-image-formats-plugins
  libqt6svg6 libqt6opengl6-dev
  qml6-module-qtmultimedia libqt6multimedia6 qt6-qpa-plugins
  libgraphicsmagick++1-dev graphicsmagick
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-tools
  fluidsynth fluid-soundfont-gm libfluidsynth-dev
  fonts-liberation2 fonts-dejavu-core
  xvfb xauth xdotool x11-utils x11-xserver-utils
  libx11-dev libxss-dev libxext-dev
  ffmpeg sox libjpeg-turbo-progs
  poppler-utils dbus dbus-x11 shared-mime-info desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
