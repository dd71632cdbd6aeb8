#!/usr/bin/env bash
# The real program on a real X server, started with a settings file that names a small tree: it
# reads the tree at start-up, the screen shows the icons and the red cross of the broken one, and
# ending the program writes the settings file. Needs the icons of Debian's nsis-common.
# Arguments: PROGRAM GRAB_TOOL SCREENSHOT.png
set -euo pipefail
program=$1
grab=$2
screenshot=$3
nsis=/usr/share/nsis
if [ ! -d "$nsis" ]; then echo "nsis-common not installed: skipped"; exit 77; fi

work=$(mktemp -d)
xvfb=
app=
cleanup() {
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

tree="$work/baum"
mkdir -p "$tree/unter" "$work/config/bildwiesel"
cp "$nsis/Contrib/Graphics/Icons/arrow-install.ico" "$tree/pfeil.ico"
cp "$nsis/Contrib/Graphics/Icons/orange-install.ico" "$tree/unter/orange.ico"
printf 'kein Icon\n' > "$tree/kaputt.ico"
cp "$nsis/Stubs/zlib-x86-unicode" "$tree/unter/stub.dll"
cp "$(find "$nsis/Contrib/Graphics" -name '*.bmp' | sort | head -n1)" "$tree/bild.bmp"
printf -- '-2147483633\r\n%s/\r\n%s/\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n' "$tree" "$work" > "$work/config/bildwiesel/bwsave.kwb"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_CONFIG_HOME="$work/config" SDL_AUDIODRIVER=dummy
unset QT_QPA_PLATFORM

"$program" >"$work/app.log" 2>&1 &
app=$!
for _ in $(seq 300); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Bildwiesel 1.110"' && break
    sleep 0.1
done
red=$("$grab" "$screenshot" --wait-for-red)
echo "screenshot $screenshot: $red pure red pixels"
[ "$red" -gt 0 ] || { echo "no red cross on the screen"; cat "$work/app.log"; exit 1; }

kill -TERM "$app"
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
set +e
wait "$app"
rc=$?
set -e
app=
[ "$rc" -eq 0 ] || { echo "program exited with $rc"; cat "$work/app.log"; exit 1; }
second=$(sed -n 2p "$work/config/bildwiesel/bwsave.kwb" | tr -d '\r')
[ "$second" = "$tree/" ] || { echo "settings file not written as expected: line 2 is '$second'"; exit 1; }
lines=$(wc -l < "$work/config/bildwiesel/bwsave.kwb")
[ "$lines" -eq 10 ] || { echo "settings file has $lines lines"; exit 1; }
echo "read at start, showed the page, saved the settings"
