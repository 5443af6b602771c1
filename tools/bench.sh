#!/bin/sh
# Sets up, builds and runs the main window benchmark under Wine over the
# simulated driver and prints its figures beside their targets. Arguments:
# seconds of normal running per scenario (default 60; fewer give a quick run),
# the soak's refreshes (default 100000; 0 leaves the soak out), and one
# scenario to run alone (its number, 1 to 7, or 8 for the platform's floor;
# default all).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR
"$ROOT/tools/setup.sh"

# In the build's own Xvfb display, as the tests run; its wineserver and
# display are ended afterwards.
status=0
env -u DISPLAY "$BUILD_DIR/wine-exec.sh" "$BUILD_DIR/tools/main_window_bench.exe" "$@" || status=$?
. "$ROOT/tools/wine-env.sh"
qsurge_wine_stop "$BUILD_DIR"
exit $status
