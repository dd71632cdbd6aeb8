#!/usr/bin/env bash
# The windows under a real window manager: Xvfb with openbox, the desktop's fonts and the
# window manager's frames. Runs the window tests that need them (every text whole, screenshots
# of each window left in the working folder). Arguments: WINDOW_TEST_PROGRAM
set -euo pipefail
tests=$1
command -v openbox >/dev/null || { echo "openbox not installed: skipped"; exit 77; }

. "$(dirname "$0")/xvfb_session.sh"
start_xvfb
start_openbox
BW_WINDOW_MANAGER=openbox "$tests" --gtest_filter='WindowRules.UnderAWindowManager:WindowRules.EscFromTheKeyboardStopsEveryRun:WindowRules.EveryGermanTextFitsItsControl:WindowRules.BoxesComeAboveTheWindowThatIsUp'
