#!/bin/sh
# Sets up, builds and starts qsurge.exe under Wine over the simulated driver,
# with a scenario whose load rises and falls. Without a display it runs under
# Xvfb, presses each panel's key as a user would, saves a screenshot of the
# main window and of every panel, and prints their paths.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR
"$ROOT/tools/setup.sh"

. "$ROOT/tools/wine-env.sh"
# The simulator reads a Unix path through Wine's Z: drive.
NVSIM_SCENARIO="$ROOT/nvsim/scenarios/demo.ini"
export NVSIM_SCENARIO
EXE="$BUILD_DIR/app/qsurge.exe"

if [ -n "${DISPLAY:-}" ]; then
    qsurge_wine_env "$BUILD_DIR"
    exec wine "$EXE"
fi

# Pressing keys the way a user does needs a pointer driver for the display.
. "$ROOT/tools/packages.sh"
qsurge_ensure_packages xdotool
qsurge_wine_env "$BUILD_DIR"
wine "$EXE" >/dev/null 2>&1 &
app=$!
shots=""

# window_of TITLE [WIDTHxHEIGHT]: the id of the newest window with that title (and size), or nothing.
window_of() {
    xwininfo -root -tree 2>/dev/null | grep "\"$1\"" | grep -- "${2:-}" | tail -n 1 | awk '{print $1}'
}
# wait_for TITLE [WIDTHxHEIGHT]: waits up to 30 s for the window and prints its id.
wait_for() {
    i=0
    until id=$(window_of "$@") && [ -n "$id" ]; do
        i=$((i + 1))
        if [ $i -gt 300 ] || ! kill -0 $app 2>/dev/null; then echo "no window \"$1\" $2 appeared" >&2; exit 1; fi
        sleep 0.1
    done
    echo "$id"
}
# point ID X Y: the pointer to (X, Y) of the window.
point() {
    eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "wx=" $4} /Absolute upper-left Y/ {print "wy=" $4}')"
    xdotool mousemove $((wx + $2)) $((wy + $3))
}
# click ID X Y: a left click at (X, Y) of the window.
click() {
    point "$@"
    xdotool click 1
}
# capture ID NAME: a screenshot of the window, its path remembered.
capture() {
    out="$BUILD_DIR/screenshot-$2.png"
    import -window "$1" "$out" 2>/dev/null || import -window root "$out"
    shots="$shots $out"
}

main=$(wait_for "Q-Surge" 926x451)
sleep 3  # let the dial and readouts run for a few refreshes
import -window "$main" "$BUILD_DIR/screenshot.png" 2>/dev/null || import -window root "$BUILD_DIR/screenshot.png"
shots="$BUILD_DIR/screenshot.png"

# The overclock panel, from the main window's "Turbo"; its "Apply" shows the note.
click "$main" 759 372
turbo=$(wait_for "Q-Surge" 412x364)
sleep 0.5
capture "$turbo" overclock
click "$turbo" 108 309
note=$(wait_for "Setting" 295x207)
sleep 0.5
capture "$note" note
xdotool key Escape
click "$turbo" 391 13

# The fan-curve panel, from "FanCurve": the 30 % step moved on to 50 degrees and applied.
click "$main" 193 397
curve=$(wait_for "Fan Curve" 412x402)
click "$curve" 198 251
click "$curve" 138 362
sleep 0.5
capture "$curve" fan-curve
click "$curve" 391 13

# The settings panel, from "Set", with "OC" switched on screen (not applied).
click "$main" 603 84
settings=$(wait_for "Setting" 295x207)
click "$settings" 48 105
sleep 0.5
capture "$settings" settings

# The monitor and information panels, from the main window's "HWM", after a few seconds of history.
click "$main" 686 372
monitor=$(wait_for "HWM" 412x364)
info=$(wait_for "Information" 412x364)
# The pointer resting over the temperature plot shows a sample's value.
point "$monitor" 300 250
sleep 4
capture "$monitor" monitor
capture "$info" information

kill $app 2>/dev/null || true

# The notification-area icon at a few temperatures, as the program draws it, enlarged.
icons="$BUILD_DIR/screenshot-tray-icons.png"
wine "$BUILD_DIR/tools/tray_icon_sheet.exe" "$(winepath -w "$icons")" >/dev/null 2>&1 && shots="$shots $icons"
qsurge_wine_stop "$BUILD_DIR"
for shot in $shots; do echo "screenshot: $shot"; done
