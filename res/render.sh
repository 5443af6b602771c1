#!/bin/sh
# Renders every image of the executable from the sources in res/render into
# res/images, and the contact sheet res/contact-sheet.png (every image with
# its identifier, and each window put together). Installs what it needs
# (Debian packages) when missing. The results are committed: a build never
# runs this.
set -e
RES=$(cd "$(dirname "$0")" && pwd)

PACKAGES="python3 python3-pil fonts-inter"
missing=""
for p in $PACKAGES; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi

# Debian's interpreter, which sees Debian's Pillow; no bytecode left behind.
cd "$RES/render"
exec /usr/bin/python3 -B render.py "$RES"
