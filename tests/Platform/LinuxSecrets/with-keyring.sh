#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus, without a display, with the
# Secret Service in one of these states:
#   unlocked  GNOME Keyring with its login keyring unlocked (the usual desktop)
#   locked    the same, with the login keyring locked again
#   absent    GNOME Keyring running, but no keyring created yet
#   none      nothing provides the Secret Service
# The keyring keeps its files in a temporary directory; the daemon and the bus
# are stopped afterwards. The daemon's pid is in AIMSET_TEST_KEYRING_PID, the
# session bus's in AIMSET_TEST_BUS_PID.
# Usage: with-keyring.sh MODE COMMAND [ARGS...]
set -euo pipefail
mode=$1
shift
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${AIMSET_KEYRING_BUS:-}" ]; then
    export AIMSET_KEYRING_BUS=1
    exec dbus-run-session --config-file="$here/session-bus.conf" -- "$0" "$mode" "$@"
fi

scratch=$(mktemp -d)
daemon=
cleanup() {
    if [ -n "$daemon" ]; then
        kill -CONT "$daemon" 2>/dev/null || true
        kill "$daemon" 2>/dev/null || true
        wait "$daemon" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

AIMSET_TEST_BUS_PID=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID \
    string:org.freedesktop.DBus | awk '{print $NF}')
export AIMSET_TEST_BUS_PID

mkdir -m 700 "$scratch/data" "$scratch/runtime" "$scratch/config" "$scratch/cache"
export XDG_DATA_HOME=$scratch/data XDG_RUNTIME_DIR=$scratch/runtime
export XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache
# No display on this bus, so no password dialog can ever appear.
unset DISPLAY WAYLAND_DISPLAY

secrets_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q 'boolean true'
}

start_keyring() {
    # An empty password never creates the login keyring.
    if [ "$1" = unlock ]; then
        printf 'keyring-test-password' |
            gnome-keyring-daemon --foreground --components=secrets --unlock >/dev/null &
    else
        gnome-keyring-daemon --foreground --components=secrets </dev/null >/dev/null &
    fi
    daemon=$!
    export AIMSET_TEST_KEYRING_PID=$daemon
    for _ in $(seq 100); do
        secrets_owned && return 0
        sleep 0.05
    done
    echo "with-keyring: the keyring daemon did not come up" >&2
    exit 1
}

case "$mode" in
unlocked) start_keyring unlock ;;
locked)
    start_keyring unlock
    dbus-send --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets \
        org.freedesktop.Secret.Service.Lock \
        array:objpath:/org/freedesktop/secrets/collection/login >/dev/null
    ;;
absent) start_keyring plain ;;
none) ;;
*)
    echo "with-keyring: unknown mode $mode" >&2
    exit 2
    ;;
esac

status=0
"$@" || status=$?
exit "$status"
