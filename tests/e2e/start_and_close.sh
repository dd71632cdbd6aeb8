#!/usr/bin/env bash
# Starts the real program on a real X server (Xvfb), waits for its main window, then ends it the
# way a desktop session does (SIGTERM) and expects a clean exit. Optional second argument: a
# path for a screenshot of the screen (needs ImageMagick's import).
set -euo pipefail
program=$1
screenshot=${2:-}

work=$(mktemp -d)
xvfb=
app=
cleanup() {
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_CONFIG_HOME="$work/config" SDL_AUDIODRIVER=dummy
unset QT_QPA_PLATFORM

"$program" >"$work/app.log" 2>&1 &
app=$!
found=
for _ in $(seq 300); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Bildwiesel 1.110"'; then found=1; break; fi
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$found" ]; then
    echo "main window 'Bildwiesel 1.110' did not appear"; cat "$work/app.log"; exit 1
fi
echo "main window shown: $(xwininfo -root -tree | grep '"Bildwiesel 1.110"' | head -n1)"
if [ -n "$screenshot" ] && command -v import >/dev/null; then
    sleep 0.5
    import -window root "$screenshot"
fi

kill -TERM "$app"
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "program did not end after SIGTERM"; exit 1; fi
set +e
wait "$app"
rc=$?
set -e
app=
[ "$rc" -eq 0 ] || { echo "program exited with $rc"; cat "$work/app.log"; exit 1; }
echo "program ended cleanly"
