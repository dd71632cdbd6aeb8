#!/usr/bin/env bash
# Start-up as a desktop shows it (Xvfb with openbox): while the splash is up, it stands in front
# of the main window and of the start-up read's progress window, and every window on the screen
# has been painted (the splash's red name is visible, the main window is not black).
# Arguments: PROGRAM GRAB_TOOL SCREENSHOT.png
set -euo pipefail
program=$1
grab=$2
screenshot=$3
command -v openbox >/dev/null || { echo "openbox not installed: skipped"; exit 77; }
nsis=/usr/share/nsis
[ -d "$nsis" ] || { echo "nsis-common not installed: skipped"; exit 77; }

. "$(dirname "$0")/xvfb_session.sh"
tree="$work/baum"
mkdir -p "$tree" "$work/config/bildwiesel"
cp -r "$nsis/Contrib/Graphics/Icons" "$tree/"
# A read directory other than the working directory: the directory change reads at start-up.
printf -- '-2147483633\r\n%s/\r\n%s/\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n' "$tree" "$work" > "$work/config/bildwiesel/bwsave.kwb"

start_xvfb
start_openbox
(cd "$work" && exec "$program") >"$work/app.log" 2>&1 &
app=$!

# Prints "NAME X Y W H" for each mapped client window, bottom to top.
windows_bottom_to_top() {
    local w
    for w in $(xprop -root _NET_CLIENT_LIST_STACKING 2>/dev/null | grep -o '0x[0-9a-f]*'); do
        local info
        info=$(xwininfo -id "$w" 2>/dev/null) || continue
        grep -q 'IsViewable' <<<"$info" || continue
        local name
        name=$(xprop -id "$w" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_0-9]*) = "\(.*\)"$/\1/p')
        echo "${name:-?} $(awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}' <<<"$info")"
    done
}

seen=
for _ in $(seq 150); do
    stack=$(windows_bottom_to_top)
    main_line=$(grep -n '^Bildwiesel 1.110 ' <<<"$stack" | head -n1 || true)
    splash_line=$(grep -n ' 402 118$' <<<"$stack" | head -n1 || true)
    progress_line=$(grep -n ' 413 310$' <<<"$stack" | head -n1 || true)
    if [ -n "$main_line" ] && [ -n "$splash_line" ] && [ -n "$progress_line" ]; then
        seen=1
        break
    fi
    kill -0 "$app" 2>/dev/null || break
    sleep 0.05
done
[ -n "$seen" ] || { echo "never saw the splash, the main window and the progress window together"; echo "$stack"; cat "$work/app.log"; exit 1; }
# The splash is the topmost window: over the main window and over the progress window (which the
# window manager maps on top; the splash goes back in front at once).
for _ in $(seq 10); do
    [ "${splash_line%%:*}" -eq "$(wc -l <<<"$stack")" ] && break
    sleep 0.05
    stack=$(windows_bottom_to_top)
    main_line=$(grep -n '^Bildwiesel 1.110 ' <<<"$stack" | head -n1 || true)
    splash_line=$(grep -n ' 402 118$' <<<"$stack" | head -n1 || true)
done
echo "windows, bottom to top:"; echo "$stack"
[ -n "$main_line" ] && [ -n "$splash_line" ] || { echo "the splash closed too soon"; exit 1; }
[ "${splash_line%%:*}" -eq "$(wc -l <<<"$stack")" ] || { echo "the splash is covered"; exit 1; }

read -r _ sx sy sw sh <<<"${splash_line#*:}"
read -r mx my mw mh <<<"$(awk '{print $(NF-3), $(NF-2), $(NF-1), $NF}' <<<"${main_line#*:}")"
# A window just mapped is painted a moment later: the grab is taken again for up to a second.
for _ in $(seq 20); do
    read -r red _ _ <<<"$("$grab" "$screenshot" --region "$sx" "$sy" "$sw" "$sh")"
    [ "$red" -gt 0 ] && break
    sleep 0.05
done
echo "splash: $red pure red pixels"
[ "$red" -gt 0 ] || { echo "the splash is not painted or not visible"; exit 1; }
# The main window's strip above the splash (menu, path line, the top of the page) is painted.
read -r _ black total <<<"$("$grab" "$work/oben.png" --region "$mx" "$my" "$mw" "$((sy - my))")"
echo "main window above the splash: $black of $total pixels black"
[ "$((black * 2))" -lt "$total" ] || { echo "the main window is not painted"; exit 1; }
terminate_program
echo "the splash stood in front, every window painted"
