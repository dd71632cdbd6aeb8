#!/usr/bin/env bash
# Shared by ./run and ./test: install the Debian packages the build needs, then configure and
# build in build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

# What each package is for is written in the README.
PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgl-dev libglx-dev libsdl2-dev
          libgtest-dev libbenchmark-dev xvfb xauth x11-utils icoutils nsis-common
          desktop-file-utils appstream dpkg-dev file)

install_missing_packages() {
    local missing=()
    local p
    for p in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo=(sudo)
        else
            echo "Fehlende Pakete: ${missing[*]}" >&2
            echo "Bitte als root installieren: apt-get install ${missing[*]}" >&2
            exit 1
        fi
    fi
    echo "Installiere: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_project() {
    local type="${1:-RelWithDebInfo}"
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="$type" >/dev/null
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}
