#!/usr/bin/env bash
# Builds the program and the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ and runs every test there. Any report fails the run.
#   scripts/sanitize-tests.sh [extra ctest arguments]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build-asan}"
. "$ROOT/scripts/common.sh"
install_missing_packages
FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

# The ThreadSanitizer runs of ./test are left out: that sanitizer cannot be mixed with these.
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBW_TSAN_TESTS=OFF \
      -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_C_FLAGS="$FLAGS" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD" --parallel "${JOBS:-2}"

# Leaks of the windowing libraries at exit are not ours to mend; everything else is an error.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$BUILD"
ctest --output-on-failure -j1 "$@"
