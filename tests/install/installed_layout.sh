#!/usr/bin/env bash
# Installs the build with `cmake --install` into a temporary prefix and checks the layout a Linux
# desktop expects: programs in bin/, data in share/bildwiesel/, a valid desktop entry and
# AppStream file, the icon at every hicolor size, the man page; then runs the installed tool.
# Arguments: BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/usr"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

fail() { echo "FAIL: $*"; exit 1; }
check_file() { [ -f "$prefix/$1" ] || fail "missing $1"; }

check_file bin/bildwiesel
check_file bin/bildwiesel-cli
[ -x "$prefix/bin/bildwiesel" ] || fail "bin/bildwiesel not executable"
check_file share/bildwiesel/daten/Beschreibung.doc
for s in Einschlag fertig ping fehler; do check_file "share/bildwiesel/musik/$s.wav"; done
# The sample icons a first start shows: each an icon file the program reads as one icon.
for s in bildwiesel bildwiesel-16 bildwiesel-32 bildwiesel-48; do
    check_file "share/bildwiesel/beispiele/$s.ico"
    "$prefix/bin/bildwiesel-cli" count "$prefix/share/bildwiesel/beispiele/$s.ico" | grep -q "^1	" || fail "beispiele/$s.ico is no icon"
done
[ ! -e "$prefix/bin/daten" ] && [ ! -e "$prefix/bin/musik" ] || fail "data installed under bin/"

id=local.bildwiesel.Bildwiesel
desktop="$prefix/share/applications/$id.desktop"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
check_file "share/applications/$id.desktop"
check_file "share/metainfo/$id.metainfo.xml"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
# The entry starts an installed program and names an installed icon.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for edge in 16 22 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${edge}x${edge}/apps/$icon.png"
    [ -f "$png" ] || fail "no $edge px icon"
    # PNG header: width and height, big-endian, at bytes 16 to 23.
    size=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$size" = "${edge}x${edge}" ] || fail "$edge px icon is $size"
done
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo does not name the desktop entry"

check_file share/man/man1/bildwiesel-cli.1
if command -v groff >/dev/null; then
    warnings=$(groff -man -ww -z -Tutf8 -K utf8 "$prefix/share/man/man1/bildwiesel-cli.1" 2>&1 || true)
    [ -z "$warnings" ] || fail "man page: $warnings"
fi

# The installed tool runs from its new place.
"$prefix/bin/bildwiesel-cli" count "$prefix/share/bildwiesel/daten/Beschreibung.doc" | grep -q "^0	" || fail "installed bildwiesel-cli"

# The thumbnailer entry, run as a file manager runs it, on an icon file made of the program's
# own 256 px picture (one PNG image; a width byte of 0 means 256).
thumbnailer="$prefix/share/thumbnailers/bildwiesel.thumbnailer"
check_file share/thumbnailers/bildwiesel.thumbnailer
grep -q '^\[Thumbnailer Entry\]$' "$thumbnailer" || fail "thumbnailer group"
grep -q '^MimeType=.*application/x-ms-dos-executable;' "$thumbnailer" || fail "thumbnailer MIME types"
png="$prefix/share/icons/hicolor/256x256/apps/bildwiesel.png"
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
{ printf '\x00\x00\x01\x00\x01\x00\x00\x00\x00\x00\x01\x00\x20\x00'; printf "$(le32 "$(stat -c %s "$png")")$(le32 22)"; cat "$png"; } > "$work/bild.ico"
command=$(sed -n 's/^Exec=//p' "$thumbnailer")
command=${command//%s/64}
command=${command//%i/$work/bild.ico}
command=${command//%o/$work/thumb.png}
PATH="$prefix/bin:$PATH" $command || fail "thumbnailer command: $command"
size=$(od -An -tu1 -j16 -N8 "$work/thumb.png" | awk '{print $3*256+$4 "x" $7*256+$8}')
[ "$size" = "64x64" ] || fail "thumbnail is $size"
echo "installed layout complete"
