#!/usr/bin/env bash
# The layer check passes a tree whose includes run downwards and fails each kind of wrong one.
set -euo pipefail
CHECK="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp"/{support,icons,view,fileops,compare,gui/widgets,gui/app}
echo '#include "support/A.h"' >"$tmp/icons/B.cpp"
echo '#include "view/C.h"' >"$tmp/gui/widgets/D.cpp"
echo '#include "E.h"' >"$tmp/support/F.cpp"
"$CHECK" "$tmp" >/dev/null

expect_refused() { # a file and its include line
    mkdir -p "$(dirname "$tmp/$1")"
    echo "$2" >"$tmp/$1"
    if "$CHECK" "$tmp" 2>/dev/null; then
        echo "not refused: $1 with $2" >&2
        exit 1
    fi
    rm "$tmp/$1"
}
expect_refused support/G.cpp '#include "icons/B.h"'         # upwards in the core
expect_refused fileops/H.cpp '#include "compare/I.h"'       # across one floor
expect_refused view/J.cpp '#include "gui/widgets/K.h"'      # the core into the windows
expect_refused gui/widgets/L.h '#include "gui/app/M.h"'     # the window kit into the main window
expect_refused gui/other/N.cpp '#include "support/A.h"'     # a folder with no place
expect_refused support/O.cpp '#include <SDL.h>'             # sounds in the core
echo "ok"
