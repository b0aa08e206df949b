#!/usr/bin/env bash
# Sets up and runs every test on a Debian 12 machine (as root): installs the
# packages, builds with warnings as errors and runs CTest. Exits non-zero on
# any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh scripts/test-packages.txt

build=${AIMSET_TEST_BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAIMSET_WERROR=ON
cmake --build "$build"
# Desktop tests need an X server with a window manager: run everything inside one.
bash scripts/with-desktop.sh ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
