#!/usr/bin/env bash
# Installs what is missing (the program's packages and the test tools),
# builds everything and runs every test.
# Usage: bash tools/test.sh [build-dir]   (default: build)
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"

bash tools/setup.sh --test
cmake -S . -B "$BUILD_DIR" -G Ninja -DLUMIVANE_TESTS=ON
cmake --build "$BUILD_DIR"
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)"
