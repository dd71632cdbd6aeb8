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

. "$(dirname "$0")/xvfb_session.sh"

tree="$work/baum"
mkdir -p "$tree/unter" "$work/config/bildwiesel"
cp "$nsis/Contrib/Graphics/Icons/arrow-install.ico" "$tree/pfeil.ico"
cp "$nsis/Contrib/Graphics/Icons/orange-install.ico" "$tree/unter/orange.ico"
printf 'kein Icon\n' > "$tree/kaputt.ico"
cp "$nsis/Stubs/zlib-x86-unicode" "$tree/unter/stub.dll"
cp "$(find "$nsis/Contrib/Graphics" -name '*.bmp' | sort | head -n1)" "$tree/bild.bmp"
printf -- '-2147483633\r\n%s/\r\n%s/\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n' "$tree" "$work" > "$work/config/bildwiesel/bwsave.kwb"

start_xvfb
"$program" >"$work/app.log" 2>&1 &
app=$!
wait_for_main_window
red=$("$grab" "$screenshot" --wait-for-red)
echo "screenshot $screenshot: $red pure red pixels"
[ "$red" -gt 0 ] || { echo "no red cross on the screen"; cat "$work/app.log"; exit 1; }

terminate_program
second=$(sed -n 2p "$work/config/bildwiesel/bwsave.kwb" | tr -d '\r')
[ "$second" = "$tree/" ] || { echo "settings file not written as expected: line 2 is '$second'"; exit 1; }
lines=$(wc -l < "$work/config/bildwiesel/bwsave.kwb")
[ "$lines" -eq 10 ] || { echo "settings file has $lines lines"; exit 1; }
echo "read at start, showed the page, saved the settings"
