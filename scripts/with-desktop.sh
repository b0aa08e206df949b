#!/usr/bin/env bash
# Runs a command inside a private X desktop: an Xvfb server with the openbox
# window manager, both stopped when the command ends. The command's exit
# status is returned.
set -euo pipefail

cleanup() {
    [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    [ -n "${display_file:-}" ] && rm -f "$display_file"
}
trap cleanup EXIT

display_file=$(mktemp)
# Xvfb picks a free display number and writes it to the given descriptor.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
# The number is complete once its line ends.
for _ in $(seq 200); do
    grep -q . "$display_file" && [ "$(tail -c1 "$display_file" | od -An -c | tr -d ' ')" = '\n' ] && break
    sleep 0.05
done
number=$(head -n1 "$display_file")
if ! [[ "$number" =~ ^[0-9]+$ ]]; then
    echo "with-desktop: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$number"

wm_log=$(mktemp)
openbox --sm-disable >/dev/null 2>"$wm_log" &
wm_pid=$!
# The window manager is ready once it announces itself on the root window;
# a loaded machine may take a while (up to 30 s).
wm_ready=no
for _ in $(seq 600); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        wm_ready=yes
        break
    fi
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.05
done
if [ "$wm_ready" != yes ]; then
    echo "with-desktop: the openbox window manager did not start on $DISPLAY:" >&2
    cat "$wm_log" >&2
    rm -f "$wm_log"
    exit 1
fi
rm -f "$wm_log"

set +e
"$@"
status=$?
set -e
exit "$status"
