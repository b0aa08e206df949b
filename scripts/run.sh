#!/usr/bin/env bash
# Sets up and starts Aimset on a Debian 12 X11 desktop (as root, or with
# sudo for the package step): installs the packages, builds the app and its
# alignment service, and runs it. With AIMSET_CHECK_URL unset the app starts
# its own local alignment service (the offline judge; nothing leaves the
# machine).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
    bash scripts/install-packages.sh scripts/run-packages.txt
else
    sudo bash scripts/install-packages.sh scripts/run-packages.txt
fi

build=${AIMSET_APP_BUILD_DIR:-build/app}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAIMSET_BUILD_TESTS=OFF >/dev/null
cmake --build "$build"

if [ -z "${DISPLAY:-}" ]; then
    echo "Aimset is built ($build/bin/aimset) but needs an X11 desktop to run: DISPLAY is not set." >&2
    exit 1
fi
exec "$build/bin/aimset" "$@"
