#!/usr/bin/env bash
# Coverage-guided fuzzing of every reader of untrusted bytes, with AddressSanitizer and
# UndefinedBehaviorSanitizer, built with clang in build-fuzz/.
#   scripts/fuzz.sh build                       configure, build, write the seeds from the fixtures
#   scripts/fuzz.sh run SECONDS [HARNESS...]    run each harness (default: all) for SECONDS
# Harnesses: pe ne iconfile dib bmp settings file ani icns. Findings land in build-fuzz/findings/;
# each becomes a fixture in the tests. The corpus grows in build-fuzz/corpus/ from run to run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build-fuzz}"
ALL=(pe ne iconfile dib bmp settings file ani icns)

case "${1:-}" in
build)
    # clang and its sanitizer and libFuzzer runtimes, besides what the project needs.
    . "$ROOT/scripts/common.sh"
    PACKAGES+=(clang libclang-rt-14-dev)
    install_missing_packages
    FLAGS="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DBW_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
    cmake --build "$BUILD" --parallel "${JOBS:-2}" --target fuzz_seeds $(printf 'fuzz_%s ' "${ALL[@]}")
    ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$BUILD/fuzz_seeds" "$BUILD/seeds"
    ;;
run)
    SECONDS_EACH="${2:?seconds per harness}"
    shift 2
    HARNESSES=("$@")
    [ ${#HARNESSES[@]} -eq 0 ] && HARNESSES=("${ALL[@]}")
    export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    for h in "${HARNESSES[@]}"; do
        mkdir -p "$BUILD/corpus/$h" "$BUILD/findings"
        extra=()
        [ "$h" = file ] && extra=(-max_len=65536) && [ -d /dev/shm ] && export TMPDIR=/dev/shm
        # One process at a time, at the lowest priority: the machine is shared. The readers' own
        # stderr is closed (libpng writes a line for every broken PNG); reports still come through.
        nice -n 19 "$BUILD/fuzz_$h" -max_total_time="$SECONDS_EACH" -print_final_stats=1 -rss_limit_mb=2048 -close_fd_mask=2 \
            -artifact_prefix="$BUILD/findings/$h-" "${extra[@]}" "$BUILD/corpus/$h" "$BUILD/seeds/$h" \
            > "$BUILD/findings/$h.log" 2>&1 || echo "fuzz_$h: finding, see $BUILD/findings/$h.log"
        echo "fuzz_$h: $(grep -o 'number_of_executed_units: [0-9]*' "$BUILD/findings/$h.log" | tail -1)"
    done
    ;;
*)
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac
