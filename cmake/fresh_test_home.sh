#!/bin/sh
# Runs one test in a home of its own: empties LUMIVANE_TEST_HOME_ROOT, makes
# the folders that HOME and the XDG variables (set by CTest, see
# LumivaneTests.cmake) point into, then runs the test command.
#   fresh_test_home.sh <command> [args...]
set -eu
root="${LUMIVANE_TEST_HOME_ROOT:?set by the test's ENVIRONMENT property}"
rm -rf "$root"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
exec "$@"
