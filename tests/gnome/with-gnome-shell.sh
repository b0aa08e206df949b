#!/usr/bin/env bash
# Runs a command against Debian's GNOME Shell started without a screen: a
# headless Wayland compositor with a virtual monitor, in a private session bus,
# with Aimset's extension installed into a private home and enabled. Needs root
# (a mount namespace gives the shell a private system bus and hides the host's
# /run/systemd, so it takes the plain, non-logind start-up path).
#
#   with-gnome-shell.sh COMMAND...
#
# The command sees WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS, HOME and the XDG
# folders of that session. The test windows' desktop entries (applications/)
# are installed before the shell starts, so it knows them as applications.
# The command's exit status is returned.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
extension=$here/../../dist/gnome-shell/aimset@aimset.invalid
uuid=aimset@aimset.invalid

case "${AIMSET_GNOME_STAGE:-outer}" in
outer)
    if [ "$(id -u)" != 0 ]; then
        echo "with-gnome-shell: needs root for a private mount namespace" >&2
        exit 1
    fi
    export AIMSET_GNOME_STAGE=namespace
    exec unshare -m --propagation private "$0" "$@"
    ;;
namespace)
    mount -t tmpfs tmpfs /run/dbus
    mount -t tmpfs tmpfs /run/systemd
    system_bus_pid=$(dbus-daemon --system --fork --nopidfile --print-pid)
    root=$(mktemp -d /tmp/aimset-gnome.XXXXXX)
    # shellcheck disable=SC2317 # run by the trap
    cleanup() {
        kill "$system_bus_pid" 2>/dev/null || true
        rm -rf "$root"
    }
    trap cleanup EXIT
    export HOME=$root/home XDG_RUNTIME_DIR=$root/run
    export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config
    export XDG_CACHE_HOME=$HOME/.cache XDG_STATE_HOME=$HOME/.local/state
    mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions" "$XDG_DATA_HOME/applications" \
        "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
    cp -rL "$extension" "$XDG_DATA_HOME/gnome-shell/extensions/$uuid"
    cp "$here"/applications/*.desktop "$XDG_DATA_HOME/applications/"
    export AIMSET_SHELL_LOG=$root/shell.log
    status=0
    # The session bus logs each service it starts; that goes beside the
    # shell's output; the command keeps this script's output.
    AIMSET_GNOME_STAGE=session dbus-run-session -- "$0" "$@" 3>&2 4>&1 >"$root/bus.log" 2>&1 ||
        status=$?
    if [ "$status" != 0 ]; then
        echo "with-gnome-shell: the shell's output:" >&2
        grep -v -e '^$' "$AIMSET_SHELL_LOG" | tail -n 40 >&2 || true
    fi
    exit "$status"
    ;;
session)
    exec 1>&4 2>&3 3>&- 4>&-
    unset DISPLAY
    gsettings set org.gnome.shell enabled-extensions "['$uuid']"
    export WAYLAND_DISPLAY=aimset-wl
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 \
        --wayland-display "$WAYLAND_DISPLAY" >"$AIMSET_SHELL_LOG" 2>&1 &
    shell_pid=$!
    trap 'kill "$shell_pid" 2>/dev/null; wait "$shell_pid" 2>/dev/null || true' EXIT
    # The extension takes its name once the shell has started and enabled it,
    # with its object already on the bus.
    if ! gdbus wait --session --timeout 60 org.aimset.Shell; then
        echo "with-gnome-shell: the extension did not take org.aimset.Shell within 60 s" >&2
        exit 1
    fi
    # The shell opens the overview once it has started, as after a login;
    # the command starts on the plain desktop.
    overview() {
        gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
            --method "org.freedesktop.DBus.Properties.$1" org.gnome.Shell OverviewActive "${@:2}"
    }
    for _ in $(seq 200); do
        overview Get 2>/dev/null | grep -q true && break
        sleep 0.1
    done
    overview Set '<false>' >/dev/null
    for _ in $(seq 100); do
        overview Get | grep -q false && break
        sleep 0.1
    done
    export GDK_BACKEND=wayland QT_QPA_PLATFORM=wayland
    unset AIMSET_GNOME_STAGE
    # Its status is the script's: set -e ends here on a failure, and the
    # trap keeps it.
    "$@"
    ;;
esac
