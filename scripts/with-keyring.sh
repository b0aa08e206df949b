#!/usr/bin/env bash
# For the benchmarks: runs a command on a private D-Bus session bus, without a
# display, with GNOME Keyring unlocked on it and its files in a temporary
# folder; the daemon's pid is in AIMSET_TEST_KEYRING_PID.
# Usage: scripts/with-keyring.sh COMMAND [ARGS...]
set -euo pipefail
if [ -z "${AIMSET_KEYRING_BUS:-}" ]; then
    AIMSET_KEYRING_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
scratch=$(mktemp -d)
export XDG_DATA_HOME=$scratch XDG_RUNTIME_DIR=$scratch XDG_CONFIG_HOME=$scratch XDG_CACHE_HOME=$scratch
unset DISPLAY WAYLAND_DISPLAY
printf 'keyring-test-password' |
    gnome-keyring-daemon --foreground --components=secrets --unlock >/dev/null &
export AIMSET_TEST_KEYRING_PID=$!
trap 'kill -CONT $AIMSET_TEST_KEYRING_PID; kill $AIMSET_TEST_KEYRING_PID; rm -rf "$scratch"' EXIT
gdbus wait --session --timeout=10 org.freedesktop.secrets
"$@"
