#!/usr/bin/env bash
# Robustness checks for the core, meant for CI:
#   1. builds the core alone with AddressSanitizer + UndefinedBehaviorSanitizer
#      (g++) and runs its unit tests with ctest;
#   2. builds the libFuzzer targets (clang) over the slideshow loaders and over
#      picture decoding (sniffing and the GraphicsMagick path, with its coder
#      restriction), and runs each for FUZZ_SECONDS (default 60) from its
#      checked-in seed corpus; PICTURE_FUZZ_SECONDS overrides the second.
# Exits non-zero on any build failure, test failure or fuzzer finding.
# Build folders can be moved with ASAN_BUILD_DIR and FUZZ_BUILD_DIR; JOBS sets
# the build parallelism (default: every processor).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ASAN_BUILD_DIR="${ASAN_BUILD_DIR:-$ROOT/build-asan}"
FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
JOBS="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

echo "== core unit tests under ASan+UBSan ($ASAN_BUILD_DIR)"
cmake -S "$ROOT" -B "$ASAN_BUILD_DIR" -G Ninja \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc -DCMAKE_BUILD_TYPE=Debug \
  -DLUMIVANE_CORE_ONLY=ON -DLUMIVANE_SANITIZE=ON -DLUMIVANE_BENCH=OFF -DLUMIVANE_FUZZ=OFF
cmake --build "$ASAN_BUILD_DIR" -j "$JOBS"
(cd "$ASAN_BUILD_DIR" && ctest --output-on-failure -j "$JOBS")

echo "== libFuzzer targets ($FUZZ_BUILD_DIR)"
cmake -S "$ROOT" -B "$FUZZ_BUILD_DIR" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DLUMIVANE_CORE_ONLY=ON -DLUMIVANE_FUZZ=ON -DLUMIVANE_BENCH=OFF
cmake --build "$FUZZ_BUILD_DIR" -j "$JOBS" --target slideshow_file_fuzz picture_decode_fuzz

# Files a target writes for itself (the picture target's input files) go to
# memory when it can, and are removed however the run ends.
if [ -w /dev/shm ]; then FUZZ_TMP="$(mktemp -d /dev/shm/lumivane-fuzz.XXXXXX)"; else FUZZ_TMP="$(mktemp -d)"; fi
trap 'rm -rf "$FUZZ_TMP"' EXIT

# run_fuzzer <target> <seed folder> <dictionary> <seconds>
# The fuzzer adds what it finds to its working corpus, never to the seeds.
run_fuzzer() {
  local target="$1" seeds="$2" dict="$3" seconds="$4"
  local work="$FUZZ_BUILD_DIR/fuzz-work/$target"
  echo "== $target (${seconds}s)"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$seeds"/* "$work/corpus/"
  TMPDIR="$FUZZ_TMP" "$FUZZ_BUILD_DIR/tests/fuzz/$target" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
    -dict="$dict" \
    -artifact_prefix="$work/artifacts/" \
    "$work/corpus"
}

run_fuzzer slideshow_file_fuzz "$ROOT/tests/fuzz/corpus" "$ROOT/tests/fuzz/slideshow.dict" "$FUZZ_SECONDS"
# Leaks inside the system's GraphicsMagick and libwmf are not ours to mend.
LSAN_OPTIONS="suppressions=$ROOT/tests/fuzz/picture_lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
  run_fuzzer picture_decode_fuzz "$ROOT/tests/fuzz/picture_corpus" "$ROOT/tests/fuzz/picture.dict" \
  "${PICTURE_FUZZ_SECONDS:-$FUZZ_SECONDS}"
echo "== all robustness checks passed"
