#!/usr/bin/env bash
# Starts the real program on a real X server (Xvfb), waits for its main window, then ends it the
# way a desktop session does (SIGTERM) and expects a clean exit.
set -euo pipefail
program=$1
. "$(dirname "$0")/xvfb_session.sh"
start_xvfb
"$program" >"$work/app.log" 2>&1 &
app=$!
wait_for_main_window
echo "main window shown: $(xwininfo -root -tree | grep '"Bildwiesel 1.110"' | head -n1)"
terminate_program
echo "program ended cleanly"
