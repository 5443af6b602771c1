#!/bin/sh
# Installs what the build, the tests and the run need (Debian packages), then
# configures and builds the project in BUILD_DIR (default: build). Idempotent.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

# Wine only recommends its own fonts (Tahoma, Marlett, MS Sans Serif), the
# metric twins of Arial and Times, and colour cursors; installed without
# recommends, text would fall back to other faces and measure differently.
. "$ROOT/tools/packages.sh"
qsurge_ensure_packages cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 wine wine64 fonts-wine fonts-liberation libxcursor1 xvfb x11-utils \
    imagemagick googletest

cmake -S "$ROOT" -B "$BUILD_DIR" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
