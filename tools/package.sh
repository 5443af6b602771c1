#!/bin/sh
# Sets up and builds the release qsurge.exe, then makes the two packages in
# BUILD_DIR/package: a portable zip and a per-user installer (NSIS). Both carry
# the program without its debug information, the user's guide and the licence
# notices of the runtime libraries linked into it. Prints their paths and sizes.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR
"$ROOT/tools/setup.sh"
. "$ROOT/tools/packages.sh"
qsurge_ensure_packages nsis zip

OUT="$BUILD_DIR/package"
VERSION=$(sed -n 's/^ *VALUE "ProductVersion", *"\([0-9.]*\)".*/\1/p' "$ROOT/res/qsurge.rc")
[ -n "$VERSION" ] || { echo "no ProductVersion in res/qsurge.rc" >&2; exit 1; }
NAME="Q-Surge-$VERSION"
STAGE="$OUT/stage/Q-Surge"
rm -rf "$OUT"
mkdir -p "$STAGE/licenses"

# Text files are for Windows users: CRLF line ends.
crlf() { sed 's/\r*$/\r/' "$@"; }

# The program and its fan guard, which lives beside it.
for image in qsurge.exe qsurge-guard.exe; do
    x86_64-w64-mingw32-strip --strip-all -o "$STAGE/$image" "$BUILD_DIR/app/$image"
    # Linked statically: none of the compiler's runtime DLLs (libstdc++-6.dll,
    # libgcc_s_seh-1.dll, libwinpthread-1.dll, ...) may be needed beside it.
    if x86_64-w64-mingw32-objdump -p "$STAGE/$image" | grep -i 'DLL Name: lib'; then
        echo "$image is not self-contained" >&2
        exit 1
    fi
done
crlf "$ROOT/packaging/README.txt" > "$STAGE/README.txt"

# notice FILE TITLE LIBRARY: the Debian copyright file of the package that
# provides LIBRARY to the cross compiler, under a line saying what it covers.
notice() {
    lib=$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name="$3")")
    pkg=$(dpkg -S "$lib" | cut -d: -f1)
    ver=$(dpkg-query -W -f '${Version}' "$pkg")
    {
        echo "$2, linked into qsurge.exe, as built by Debian package $pkg $ver."
        echo "Its copyright and licence notices follow, as that package gives them."
        echo
        cat "/usr/share/doc/$pkg/copyright"
    } | crlf > "$STAGE/licenses/$1"
}
notice mingw-w64-runtime.txt "The MinGW-w64 runtime and its winpthreads library" libwinpthread.a
notice gcc-runtime.txt "The GCC runtime libraries libgcc and libstdc++ (GPL 3 with the GCC Runtime Library Exception)" libstdc++.a
# The GCC notices refer to the licence's text on a Debian system.
crlf /usr/share/common-licenses/GPL-3 > "$STAGE/licenses/GPL-3.txt"
# The digital face the program carries for its numbers (from Debian package fonts-dseg).
{
    echo "DSEG7 Classic, a font carried inside qsurge.exe for its numbers."
    echo "Its copyright and licence (SIL Open Font License 1.1) follow."
    echo
    cat "$ROOT/res/fonts/DSEG-LICENSE.txt"
} | crlf > "$STAGE/licenses/dseg-font.txt"

zip_file="$OUT/$NAME-portable.zip"
(cd "$OUT/stage" && zip -q -r -X -9 "$zip_file" Q-Surge)

setup_file="$OUT/$NAME-setup.exe"
makensis -V2 -DVERSION="$VERSION" -DSTAGE="$STAGE" -DICON="$ROOT/res/images/qsurge.ico" \
    -DOUTFILE="$setup_file" "$ROOT/packaging/qsurge.nsi"

for f in "$zip_file" "$setup_file"; do
    echo "package: $f ($(stat -c %s "$f") bytes)"
done
