#!/bin/sh
# Sets up, builds and runs every test under Wine, in one Xvfb display and one
# kept-alive wineserver for the whole run.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR
"$ROOT/tools/setup.sh"

. "$ROOT/tools/wine-env.sh"
unset DISPLAY
qsurge_wine_env "$BUILD_DIR"
status=0
(cd "$BUILD_DIR" && ctest --output-on-failure) || status=$?
qsurge_wine_stop "$BUILD_DIR"
exit $status
