#!/usr/bin/env bash
# Sets up and runs every test on a Debian 12 machine (as root): installs the
# packages, builds with warnings as errors and runs CTest. Exits non-zero on
# any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh scripts/test-packages.txt

build=${AIMSET_TEST_BUILD_DIR:-build/test}
flags=()
# AIMSET_SANITIZE=1: the same tests on a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, where any report fails the test that made it.
if [ "${AIMSET_SANITIZE:-0}" = 1 ]; then
    build=${AIMSET_TEST_BUILD_DIR:-build/sanitize}
    flags=(-DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer"
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined")
    # Qt and its plugins keep allocations until exit by design: no leak report.
    export ASAN_OPTIONS=detect_leaks=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAIMSET_WERROR=ON "${flags[@]}"
cmake --build "$build"
# Desktop tests need an X server with a window manager: run everything inside one.
bash scripts/with-desktop.sh ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
