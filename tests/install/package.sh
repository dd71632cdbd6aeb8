#!/usr/bin/env bash
# Builds the Debian package with CPack, unpacks it into a temporary root as dpkg would install
# it, and runs what it installed: bildwiesel-cli, and the program itself on a real X server,
# which must find its sounds in /usr/share/bildwiesel relative to where it lies.
# Arguments: BUILD_DIR
set -euo pipefail
build=$1
. "$(dirname "$0")/../e2e/xvfb_session.sh"
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/bildwiesel_*.deb)
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"
[ "$(dpkg-deb -f "$deb" Package)" = bildwiesel ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Computed from the binaries, not written by hand.
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libsdl2-2.0-0 libc6 qt6-image-formats-plugins; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/bildwiesel usr/bin/bildwiesel-cli usr/share/bildwiesel/daten/Beschreibung.doc usr/share/bildwiesel/beispiele/bildwiesel.ico \
         usr/share/applications/local.bildwiesel.Bildwiesel.desktop usr/share/metainfo/local.bildwiesel.Bildwiesel.metainfo.xml \
         usr/share/icons/hicolor/48x48/apps/bildwiesel.png usr/share/man/man1/bildwiesel-cli.1 \
         usr/share/thumbnailers/bildwiesel.thumbnailer; do
    [ -f "$root/$f" ] || fail "package lacks $f"
done

# The installed command-line tool.
cli="$root/usr/bin/bildwiesel-cli"
"$cli" count "$root/usr/share/bildwiesel/daten/Beschreibung.doc" | grep -q '^0	' || fail "installed bildwiesel-cli count"
[ "$("$cli" --version)" = "bildwiesel-cli 1.110" ] || fail "installed bildwiesel-cli --version"
"$cli" --help | grep -q '^  thumbnail ' || fail "installed bildwiesel-cli --help"

# The installed program under Xvfb; the "disk" audio driver writes what it plays into a file,
# so a start-up sound there shows that the program found /usr/share/bildwiesel/musik.
start_xvfb
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/played.raw"
"$root/usr/bin/bildwiesel" >"$work/app.log" 2>&1 &
app=$!
wait_for_main_window
for _ in $(seq 50); do [ -s "$work/played.raw" ] && break; sleep 0.1; done
terminate_program
[ -s "$work/played.raw" ] || fail "the installed program played no sound: it did not find its data"
[ -f "$work/config/bildwiesel/bwsave.kwb" ] || fail "the installed program saved no settings"
# A first start reads the program's data folder (its sample icons), not the user's home.
read_directory=$(sed -n 2p "$work/config/bildwiesel/bwsave.kwb" | tr -d '\r')
[ "$read_directory" = "$root/usr/share/bildwiesel/" ] || fail "a first start read $read_directory"
echo "package built, unpacked and run"
