#!/bin/sh
# Builds the packages (tools/package.sh), then checks the installer under Wine
# in a fresh prefix of its own (BUILD_DIR/package-check), with the simulated
# driver as the system's: a silent install, the program started from the
# installed place showing its window and driving the fan, a silent uninstall
# while it runs, which must close it (the fan handed back), remove the
# program, its shortcut, its entry and the start-with-Windows values, and keep
# the profiles; then a reinstall over the running program, and an uninstall
# that removes the profiles when asked to. Prints one line per check, a count
# and the time taken; the exit status is 1 when a check failed.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR
"$ROOT/tools/package.sh"
. "$ROOT/tools/packages.sh"
qsurge_ensure_packages xdotool unzip
. "$ROOT/tools/wine-env.sh"

started=$(date +%s)
CHECK="$BUILD_DIR/package-check"
setup=$(ls "$BUILD_DIR"/package/Q-Surge-*-setup.exe)
portable=$(ls "$BUILD_DIR"/package/Q-Surge-*-portable.zip)
version=$(basename "$setup" -setup.exe | sed 's/^Q-Surge-//')

# The build's own display, as the tests use; a prefix made anew.
unset DISPLAY
WINEPREFIX="$CHECK/wineprefix"
WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
rm -rf "$CHECK"
mkdir -p "$CHECK"
# Shortcuts the installer makes would otherwise become menu entries of this desktop.
WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEDLLOVERRIDES
qsurge_wine_env "$BUILD_DIR" "$WINEPREFIX"
trap 'qsurge_wine_stop "$BUILD_DIR" "$WINEPREFIX"' EXIT
# Every process over the simulated driver keeps the fan's policy and level here:
# "gpu cooler policy level", policy 1 manual, 32 the driver's own curve.
NVSIM_SHARED="$CHECK/nvsim-shared"
export NVSIM_SHARED

passed=0
failed=0
# check DESCRIPTION COMMAND...: runs the command, counts and reports its outcome.
check() {
    what="$1"; shift
    if "$@" >/dev/null 2>&1; then
        passed=$((passed + 1)); echo "ok: $what"
    else
        failed=$((failed + 1)); echo "FAILED: $what"
    fi
}
unix() { winepath -u "$1" 2>/dev/null; }
# reg_value KEY NAME: the value's data as reg prints it, or nothing.
reg_value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
has_value() { [ -n "$(reg_value "$@")" ]; }
no_value() { ! has_value "$@"; }
no_key() { ! wine reg query "$1" >/dev/null 2>&1; }
equals() { [ "$1" = "$2" ]; }
fan_policy_is() { [ "$(head -n 1 "$NVSIM_SHARED" 2>/dev/null | cut -d' ' -f3)" = "$1" ]; }
# within SECONDS COMMAND...: whether the command succeeds within that time.
within() {
    end=$(($(date +%s) + $1)); shift
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.2
    done
}
exists() { [ -e "$1" ]; }
absent() { [ ! -e "$1" ]; }
only_profiles_in() { [ -z "$(ls -A "$1" | grep -v '^Quilo_ID[0-9A-F]*\.ini$')" ] && ls "$1"/Quilo_ID*.ini; }

LOCAL_W=$(wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')
APPDATA_U=$(unix "$(wine cmd /c echo %APPDATA% | tr -d '\r')")
DIR_W="$LOCAL_W\\Programs\\Q-Surge"
DIR=$(unix "$DIR_W")
EXE_W="$DIR_W\\qsurge.exe"
SHORTCUT="$APPDATA_U/Microsoft/Windows/Start Menu/Programs/Q-Surge.lnk"
LOCAL_PROFILE="$(unix "$LOCAL_W")/Q-Surge/Quilo_ID10DE.ini"
UNINSTALL='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Q-Surge'
RUN='Software\Microsoft\Windows\CurrentVersion\Run'
VALUE=QuiloStartUpAutoRun

viewable() { [ -n "$1" ] && xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
# Finds the program's main window, leaves its id in $window, and tells whether it is shown.
main_window_shown() {
    window=$(xwininfo -root -tree 2>/dev/null | grep '"Q-Surge"' | grep 926x451 | awk '{print $1}')
    viewable "$window"
}
# start_program: runs the installed program in the background, its exit
# status to go to $CHECK/exit, and waits up to 30 s for its main window.
start_program() {
    rm -f "$CHECK/exit"
    (status=0; wine "$EXE_W" >/dev/null 2>&1 || status=$?; echo $status > "$CHECK/exit") &
    within 30 main_window_shown || true
}
# click ID X Y: a left click at (X, Y) of the window.
click() {
    eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "wx=" $4} /Absolute upper-left Y/ {print "wy=" $4}')"
    xdotool mousemove $((wx + $2)) $((wy + $3)) click 1
}
# Ended with status 0, as on its close key; one ended hard has another.
closed_politely() { within 30 test -f "$CHECK/exit" && [ "$(cat "$CHECK/exit")" = 0 ]; }
# The uninstaller goes on in a copy of itself after the started one has
# returned; it removes its entry last.
uninstalled() { within 60 no_key "$UNINSTALL"; }

# Install.
check "silent install succeeds" wine "$setup" /S
check "program installed into the user's programs folder, identical to the portable one" \
    sh -c "unzip -p '$portable' Q-Surge/qsurge.exe | cmp - '$DIR/qsurge.exe'"
check "guide and licence notices installed" \
    sh -c "[ -s '$DIR/README.txt' ] && ls '$DIR/licenses/'*.txt"
check "Start menu shortcut names the program" grep -a -q 'qsurge.exe' "$SHORTCUT"
check "entry: name" equals "$(reg_value "$UNINSTALL" DisplayName)" "Q-Surge"
check "entry: version" equals "$(reg_value "$UNINSTALL" DisplayVersion)" "$version"
check "entry: publisher" has_value "$UNINSTALL" Publisher
check "entry: icon" equals "$(reg_value "$UNINSTALL" DisplayIcon)" "$EXE_W,0"
check "entry: uninstaller" equals "$(reg_value "$UNINSTALL" UninstallString)" "\"$DIR_W\\uninstall.exe\""
check "entry: quiet uninstaller" equals "$(reg_value "$UNINSTALL" QuietUninstallString)" "\"$DIR_W\\uninstall.exe\" /S"
size=$(reg_value "$UNINSTALL" EstimatedSize)
check "entry: size in KB" test "$((${size:-0}))" -gt 1000
check "entry: no modify, no repair" equals "$(reg_value "$UNINSTALL" NoModify) $(reg_value "$UNINSTALL" NoRepair)" "0x1 0x1"
check "nothing registered for the whole machine" no_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Q-Surge'

# Run it from there, over the simulated driver, and let it take the fan.
start_program
check "program shows its main window" viewable "$window"
check "profile written beside the program" sh -c "ls '$DIR'/Quilo_ID*.ini"
# Installed inside the user's own folder, it starts with Windows for that user
# only: the user's value, never the machine's.
check "program registered itself to start with Windows for this user" has_value "HKCU\\$RUN" "$VALUE"
check "no machine-wide start-up value for a per-user install" no_value "HKLM\\$RUN" "$VALUE"
check "fan guard installed beside the program" \
    sh -c "unzip -p '$portable' Q-Surge/qsurge-guard.exe | cmp - '$DIR/qsurge-guard.exe'"
[ -n "$window" ] && click "$window" 140 364  # the fan switch: follow the curve
check "program drives the fan" within 10 fan_policy_is 1

# What the program writes without administrator rights, a profile of a program
# copy that could not write beside itself, and a value of some other program.
wine reg add "HKCU\\$RUN" /v "$VALUE" /d "\"$EXE_W\"" /f >/dev/null 2>&1
wine reg add "HKCU\\$RUN" /v OtherProgram /d 'C:\other.exe' /f >/dev/null 2>&1
mkdir -p "$(dirname "$LOCAL_PROFILE")"
printf '[System]\r\nInitialized=1\r\n' > "$LOCAL_PROFILE"

# Uninstall silently, the way the installed-programs list does.
quiet=$(reg_value "$UNINSTALL" QuietUninstallString)
uninstaller=$(printf '%s\n' "$quiet" | sed 's/^"\([^"]*\)".*/\1/')
check "silent uninstall runs" wine "$uninstaller" $(printf '%s\n' "$quiet" | sed 's/^"[^"]*" *//')
check "uninstall completes" uninstalled
check "running program was closed, not killed" closed_politely
check "fan handed back to the driver" fan_policy_is 32
check "no program window left" sh -c "! xwininfo -root -tree | grep -q '\"Q-Surge\"'"
check "program files removed, profile kept beside them" only_profiles_in "$DIR"
check "Start menu shortcut removed" absent "$SHORTCUT"
check "no machine-wide start-up value" no_value "HKLM\\$RUN" "$VALUE"
check "no per-user start-up value" no_value "HKCU\\$RUN" "$VALUE"
check "other programs' start-up values kept" has_value "HKCU\\$RUN" OtherProgram
check "profile under local application data kept" exists "$LOCAL_PROFILE"

# Reinstall over a running copy, then uninstall with the profiles.
check "second silent install succeeds" wine "$setup" /S
start_program
check "installed again, program shows its window" viewable "$window"
check "reinstall over the running program succeeds" wine "$setup" /S
check "reinstall closed the running program" closed_politely
check "silent uninstall removing the profiles runs" wine "$DIR_W\\uninstall.exe" /S /REMOVEPROFILES
check "uninstall completes" uninstalled
check "program folder removed with its profile" absent "$DIR"
check "profile folder under local application data removed" absent "$(dirname "$LOCAL_PROFILE")"

echo "package check took $(($(date +%s) - started)) s"
echo "package-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
