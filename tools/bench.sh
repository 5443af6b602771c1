#!/bin/sh
# Sets up, builds and runs the main window benchmark under Wine over the
# simulated driver, in the build's own Xvfb display, and prints its figures
# beside their targets. Argument: seconds of normal running per scenario
# (default 60; a smaller number gives a quick run).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR
"$ROOT/tools/setup.sh"

. "$ROOT/tools/wine-env.sh"
unset DISPLAY
qsurge_wine_env "$BUILD_DIR"
status=0
"$BUILD_DIR/wine-exec.sh" "$BUILD_DIR/tools/main_window_bench.exe" "$@" || status=$?
qsurge_wine_stop "$BUILD_DIR"
exit $status
