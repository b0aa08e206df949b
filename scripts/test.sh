#!/usr/bin/env bash
# Sets up and runs every test on a Debian 12 machine (as root): installs the
# packages, builds with warnings as errors and runs CTest, then the alignment
# service's own tests again under sanitizers. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh scripts/test-packages.txt

# AddressSanitizer and UndefinedBehaviorSanitizer; any report stops the
# process, so a fault fails the test that made it instead of printing past it.
sanitizers=(-DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer"
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined")
# Qt and its plugins keep allocations until exit by design: no leak report.
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

flags=()
build=${AIMSET_TEST_BUILD_DIR:-build/test}
# AIMSET_SANITIZE=1: every test on a build with the sanitizers.
if [ "${AIMSET_SANITIZE:-0}" = 1 ]; then
    build=${AIMSET_TEST_BUILD_DIR:-build/sanitize}
    flags=("${sanitizers[@]}")
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAIMSET_WERROR=ON "${flags[@]}"
cmake --build "$build"
# Desktop tests need an X server with a window manager: run everything inside one.
bash scripts/with-desktop.sh ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"

# The service reads titles and pages of any site and requests from any
# client: its tests run again with the sanitizers (a few minutes more).
if [ "${AIMSET_SANITIZE:-0}" != 1 ]; then
    service=${build}-sanitize
    cmake -S . -B "$service" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAIMSET_WERROR=ON \
        "${sanitizers[@]}" >/dev/null
    cmake --build "$service" --target checkd_tests aimset-checkd
    "$service/tests/checkd_tests"
fi
