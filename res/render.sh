#!/bin/sh
# Renders every image of the executable from the sources in res/render into
# res/images, as PNG at each display scale (res/images/100, 125, 150, 175 and
# 200, each drawn at that scale), the list res/art.rc that puts them into the
# executable, and the contact sheet res/contact-sheet.png (every image at
# 100 % with its identifier, and each window put together). Installs what it
# needs (Debian packages) when missing. The results are committed: a build
# never runs this.
set -e
RES=$(cd "$(dirname "$0")" && pwd)

. "$RES/../tools/packages.sh"
qsurge_ensure_packages python3 python3-pil fonts-inter

# Debian's interpreter, which sees Debian's Pillow; no bytecode left behind.
cd "$RES/render"
exec /usr/bin/python3 -B render.py "$RES"
