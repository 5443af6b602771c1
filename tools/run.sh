#!/bin/sh
# Sets up, builds and starts qsurge.exe under Wine over the simulated driver,
# with a scenario whose load rises and falls. Without a display it runs under
# Xvfb, presses each panel's key as a user would, saves a screenshot of the
# main window and of every panel, at 100 % and again at 150 %, and prints
# their paths.
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
WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEPREFIX

# end_prefix: ends the prefix's wineserver and every program in it, and once
# it has saved the registry, takes the program's start-with-Windows values
# out of the registry files. The program's first start writes one, and Wine
# starts every Run value when the prefix starts (as at a logon): a copy
# started so would take the command of the one run here, which would then
# hand it over and end. With no server running the files are the registry.
end_prefix() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    for reg in "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"; do
        [ -f "$reg" ] || continue
        # In a Run key, the value's line and the lines it continues on.
        awk '
            /^\[/ { run = tolower($0) ~ /^\[software\\\\microsoft\\\\windows\\\\currentversion\\\\run\]/ }
            skip { skip = /\\$/; next }
            run && /^"QuiloStartUpAutoRun"=/ { skip = /\\$/; next }
            { print }
        ' "$reg" > "$reg.run-sh" && mv "$reg.run-sh" "$reg"
    done
}
# start_prefix: the prefix started afresh, without the program in it.
start_prefix() {
    end_prefix
    qsurge_wine_env "$BUILD_DIR"
}

if [ -n "${DISPLAY:-}" ]; then
    start_prefix
    exec wine "$EXE"
fi

# Pressing keys the way a user does needs a pointer driver for the display.
. "$ROOT/tools/packages.sh"
qsurge_ensure_packages xdotool
shots=""
app=""
dpi_set=""
# However the run ends: the tour's copy closed, the prefix given back its
# 96 DPI (it is the tests' too) and without the program's Run values, and
# nothing of the run left running.
finish() {
    end_copy
    if [ -n "$dpi_set" ]; then wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true; fi
    end_prefix
    qsurge_wine_stop "$BUILD_DIR"
}
trap finish EXIT
start_prefix

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
# end_copy: the tour's copy ended as its close key ends it (the fan handed
# back), or by force when it does not end within ten seconds.
end_copy() {
    [ -n "$app" ] || return 0
    if kill -0 "$app" 2>/dev/null; then
        wine "$EXE" --exit >/dev/null 2>&1 || true
        i=0
        while kill -0 "$app" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
        kill "$app" 2>/dev/null || true
    fi
    wait "$app" 2>/dev/null || true
    app=""
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

# s N: N pixels at 96 DPI at the scale of this run.
s() { echo $(( ($1 * dpi * 2 + 96) / 192 )); }
# size W H: a window's size at 96 DPI, at this run's scale, as xwininfo gives it.
size() { echo "$(s "$1")x$(s "$2")"; }

# tour SUFFIX: presses each panel's key as a user would and captures every
# window, the main window as screenshot$SUFFIX.png.
tour() {
    wine "$EXE" >/dev/null 2>&1 &
    app=$!
    main=$(wait_for "Q-Surge" "$(size 926 451)")
    sleep 3  # let the dial and readouts run for a few refreshes
    import -window "$main" "$BUILD_DIR/screenshot$1.png" 2>/dev/null || import -window root "$BUILD_DIR/screenshot$1.png"
    shots="$shots $BUILD_DIR/screenshot$1.png"

    # The overclock panel, from the main window's "Turbo"; its "Apply" shows the note.
    click "$main" "$(s 759)" "$(s 372)"
    turbo=$(wait_for "Q-Surge" "$(size 412 364)")
    sleep 0.5
    capture "$turbo" "overclock$1"
    click "$turbo" "$(s 108)" "$(s 309)"
    note=$(wait_for "Setting" "$(size 295 207)")
    sleep 0.5
    capture "$note" "note$1"
    xdotool key Escape
    click "$turbo" "$(s 391)" "$(s 13)"

    # The fan-curve panel, from "FanCurve": the 30 % step moved on to 50 degrees and applied.
    click "$main" "$(s 193)" "$(s 397)"
    curve=$(wait_for "Fan Curve" "$(size 412 402)")
    click "$curve" "$(s 198)" "$(s 251)"
    click "$curve" "$(s 138)" "$(s 362)"
    sleep 0.5
    capture "$curve" "fan-curve$1"
    click "$curve" "$(s 391)" "$(s 13)"

    # The settings panel, from "Set", with "OC" switched on screen (not applied).
    click "$main" "$(s 603)" "$(s 84)"
    settings=$(wait_for "Setting" "$(size 295 207)")
    click "$settings" "$(s 48)" "$(s 105)"
    sleep 0.5
    capture "$settings" "settings$1"

    # The monitor and information panels, from the main window's "HWM", after a few seconds of history.
    click "$main" "$(s 686)" "$(s 372)"
    monitor=$(wait_for "HWM" "$(size 412 364)")
    info=$(wait_for "Information" "$(size 412 364)")
    # The pointer resting over the temperature plot shows a sample's value.
    point "$monitor" "$(s 300)" "$(s 250)"
    sleep 4
    capture "$monitor" "monitor$1"
    capture "$info" "information$1"

    end_copy
}

# At 100 %, then at 150 %: the display's scale is read when the prefix's
# desktop starts, so its server is started again for each.
dpi=96
tour ""
dpi=144
dpi_set=1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
start_prefix
tour "-150"

# The notification-area icon at a few temperatures, as the program draws it, enlarged.
icons="$BUILD_DIR/screenshot-tray-icons.png"
wine "$BUILD_DIR/tools/tray_icon_sheet.exe" "$(winepath -w "$icons")" >/dev/null 2>&1 && shots="$shots $icons"
finish
trap - EXIT
for shot in $shots; do echo "screenshot: $shot"; done
