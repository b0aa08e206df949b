#!/usr/bin/env bash
# Installs the build into a private DESTDIR and checks that exactly the
# expected files land in their standard places, that the desktop entry and
# the AppStream metadata are valid (where the validators are installed), and
# that the installed app runs. Usage: install-test.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Exactly these files: the app, its helpers in their own folder, the desktop
# entry, the metadata, the icons and the GNOME Shell extension; no simulator,
# headers, libraries or QML.
programs=(usr/bin/aimset usr/libexec/aimset/aimset-checkd usr/libexec/aimset/aimset-atspi-dump)
sizes=(16 24 32 48 64 128 256)
expected=$(
    printf './%s\n' "${programs[@]}" usr/share/applications/aimset.desktop \
        usr/share/metainfo/aimset.metainfo.xml usr/share/icons/hicolor/scalable/apps/aimset.svg \
        usr/share/gnome-shell/extensions/aimset@aimset.invalid/{extension.js,metadata.json,org.aimset.Shell1.xml}
    for size in "${sizes[@]}"; do echo "./usr/share/icons/hicolor/${size}x${size}/apps/aimset.png"; done
)
difference=$(diff <(echo "$expected" | sort) <(cd "$root" && find . -type f | sort) | grep '^[<>]' || true)
[ -z "$difference" ] || fail "installed files differ from the expected ones (<: missing, >: extra):
$difference"
for program in "${programs[@]}"; do
    [ -x "$root/$program" ] || fail "$program is not installed as a program"
done
for size in "${sizes[@]}"; do
    png=$(file -b "$root/usr/share/icons/hicolor/${size}x${size}/apps/aimset.png")
    [[ "$png" == "PNG image data, $size x $size,"* ]] || fail "the ${size}x${size} icon is: $png"
done

if command -v desktop-file-validate >/dev/null; then
    report=$(desktop-file-validate "$root/usr/share/applications/aimset.desktop" 2>&1) &&
        [ -z "$report" ] || fail "desktop-file-validate: $report"
fi
grep -qx 'Exec=aimset' "$root/usr/share/applications/aimset.desktop" ||
    fail "the desktop entry does not run aimset"
if command -v appstreamcli >/dev/null; then
    # The component id is the app's desktop-file id, which is not reverse-DNS:
    # that one warning is expected, anything else is not.
    report=$(appstreamcli validate --no-net --no-color "$root/usr/share/metainfo/aimset.metainfo.xml" 2>&1 || true)
    remaining=$(echo "$report" | grep -E '^[EW]:' | grep -v 'cid-desktopapp-is-not-rdns' || true)
    [ -z "$remaining" ] || fail "appstreamcli: $remaining"
fi

# The installed app answers a command without any desktop, and knows itself
# installed (its helpers are where it looks for them): start at login runs it.
config=$(mktemp -d -p "$root")
output=$(env -u DISPLAY XDG_CONFIG_HOME="$config" "$root/usr/bin/aimset" --autostart on 2>&1) ||
    fail "aimset --autostart on failed: $output"
grep -qx "Exec=$root/usr/bin/aimset" "$config/autostart/aimset.desktop" ||
    fail "the autostart entry does not run the installed app: $(cat "$config/autostart/aimset.desktop")"

[ "$failures" -eq 0 ] && echo "install: all files in place"
