# Sourced by the end-to-end tests: a work folder, an Xvfb server of its own and the program's
# environment, all removed again on exit. Sets $work and DISPLAY; a test keeps the program's
# process id in $app so that it is killed if the test fails half way.
work=$(mktemp -d)
xvfb=
app=
cleanup() {
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# An X server of this test's own: Xvfb chooses a free display number itself (-displayfd), so
# tests running side by side never share one. The server must answer before the test goes on;
# one that lost a race for its number and ended is started again.
start_xvfb() {
    local attempt
    for attempt in 1 2 3 4 5; do
        rm -f "$work/display"
        exec 3>"$work/display"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
        xvfb=$!
        exec 3>&-
        for _ in $(seq 100); do
            [ -s "$work/display" ] && break
            kill -0 "$xvfb" 2>/dev/null || break
            sleep 0.1
        done
        if [ -s "$work/display" ]; then
            local display
            display=":$(head -n1 "$work/display")"
            for _ in $(seq 50); do
                kill -0 "$xvfb" 2>/dev/null || break
                if xwininfo -root -display "$display" >/dev/null 2>&1; then
                    export DISPLAY="$display"
                    export XDG_CONFIG_HOME="$work/config" SDL_AUDIODRIVER=dummy
                    unset QT_QPA_PLATFORM
                    return 0
                fi
                sleep 0.1
            done
        fi
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
        xvfb=
    done
    echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1
}

# Starts openbox on the server and waits until it manages the screen; a start that does not
# come up in 10 s is tried again, as openbox on a brand-new server now and then does not.
start_openbox() {
    local attempt wm
    for attempt in 1 2 3; do
        openbox >"$work/openbox.log" 2>&1 &
        wm=$!
        for _ in $(seq 100); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
            sleep 0.1
        done
        kill "$wm" 2>/dev/null || true
    done
    echo "openbox did not start"; cat "$work/openbox.log"; exit 1
}

# Waits until the main window is on the screen; fails if the program ends first.
wait_for_main_window() {
    for _ in $(seq 300); do
        if xwininfo -root -tree 2>/dev/null | grep -q '"Bildwiesel 1.110"'; then return 0; fi
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    echo "main window 'Bildwiesel 1.110' did not appear"; cat "$work/app.log"; exit 1
}

# Ends the program as a desktop session does (SIGTERM) and expects a clean exit.
terminate_program() {
    kill -TERM "$app"
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then echo "program did not end after SIGTERM"; exit 1; fi
    local rc=0
    wait "$app" || rc=$?
    app=
    [ "$rc" -eq 0 ] || { echo "program exited with $rc"; cat "$work/app.log"; exit 1; }
}
