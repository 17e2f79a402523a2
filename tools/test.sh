#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Usage: bash tools/test.sh [build-dir]   (default: build)
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"

bash tools/setup.sh
cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR"
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)"
