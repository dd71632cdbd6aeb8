#!/usr/bin/env bash
# Shared by ./run and ./test: install the Debian packages the build needs, then configure and
# build in build/. ./run builds only what it starts; ./test builds everything in the same tree,
# reusing what ./run built.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

# What each package is for is written in the README.
PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgl-dev libglx-dev libsdl2-dev
          libgtest-dev libbenchmark-dev xvfb xauth x11-utils icoutils nsis-common
          desktop-file-utils appstream dpkg-dev file qt6-translations-l10n openbox
          clang-format qt6-image-formats-plugins icnsutils imagemagick python3-pil
          xdotool libqt6sql6-sqlite)

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

# build_project [TARGET...]: configures, then builds the targets named, or everything.
build_project() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$BUILD_DIR" --parallel "$(nproc)" "${targets[@]}"
}
