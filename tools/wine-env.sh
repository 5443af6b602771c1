# Sourced by the Wine wrappers: prefix, display and wineserver for one build tree.
# qsurge_wine_env BUILD_DIR [PREFIX]
#   exports WINEPREFIX (PREFIX, default BUILD_DIR/wineprefix), DISPLAY (an Xvfb
#   of this build when none is set), creates the prefix on first use and
#   installs the simulated driver.

qsurge_start_xvfb() {
    state="$1/xvfb.display"
    if [ -f "$state" ]; then
        num=$(cut -d' ' -f1 "$state"); pid=$(cut -d' ' -f2 "$state")
        if kill -0 "$pid" 2>/dev/null; then DISPLAY=":$num"; export DISPLAY; return 0; fi
    fi
    num=90
    while [ -e "/tmp/.X$num-lock" ] || [ -e "/tmp/.X11-unix/X$num" ]; do num=$((num + 1)); done
    # Large enough for the main window at 200 % (1852 x 902) and its panels.
    # -noreset: a server that resets when its last client leaves would drop
    # the resource database set below.
    Xvfb ":$num" -screen 0 2048x1536x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    pid=$!
    i=0
    while [ ! -e "/tmp/.X11-unix/X$num" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    echo "$num $pid" > "$state"
    DISPLAY=":$num"; export DISPLAY
    # A desktop session gives its display a resource database. Without one,
    # Xlib reads ~/.Xdefaults anew at every lookup, and Wine looks up its font
    # defaults whenever a font is selected. The entry names nothing Wine reads.
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "qsurge.display:	xvfb
" 2>/dev/null || true
}

qsurge_wine_env() {
    build="$1"
    WINEPREFIX="${2:-$build/wineprefix}"; export WINEPREFIX
    WINEARCH=win64; export WINEARCH
    : "${WINEDEBUG:=-all}"; export WINEDEBUG
    # No Mono or Gecko installer dialogs in a prefix that runs no .NET or HTML,
    # and no debugger: a crashing program ends at once instead of waiting in it.
    WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"; export WINEDLLOVERRIDES
    [ -n "${DISPLAY:-}" ] || qsurge_start_xvfb "$build"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i >/dev/null 2>&1 || true
            # With no window manager on the display, Wine waits two seconds for
            # every managed window it hides; unmanaged windows hide at once.
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
            wineserver -w
        fi
        sim="$build/nvsim/nvapi64.dll"
        dest="$WINEPREFIX/drive_c/windows/system32/nvapi64.dll"
        if [ -f "$sim" ] && ! cmp -s "$sim" "$dest" 2>/dev/null; then cp "$sim" "$dest"; fi
    ) 9>"$WINEPREFIX.lock"
    # One wineserver, with the desktop and services, kept alive across the programs
    # of a run keeps each start quick. They are started here with no inherited
    # descriptors, or a test runner would wait for them to close its pipes.
    if wineserver -p600 </dev/null >/dev/null 2>&1; then
        setsid wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
}

# qsurge_wine_stop BUILD_DIR [PREFIX]: ends the prefix's wineserver and the build's Xvfb.
qsurge_wine_stop() {
    WINEPREFIX="${2:-$1/wineprefix}" wineserver -k 2>/dev/null || true
    if [ -f "$1/xvfb.display" ]; then
        kill "$(cut -d' ' -f2 "$1/xvfb.display")" 2>/dev/null || true
        rm -f "$1/xvfb.display"
    fi
}
