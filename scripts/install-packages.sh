#!/usr/bin/env bash
# Installs the Debian packages listed in the given files, skipping the
# download when all of them are already there.
set -euo pipefail
packages=()
for list in "$@"; do
    while read -r line; do
        line=${line%%#*}
        line=${line//[[:space:]]/}
        [ -n "$line" ] && packages+=("$line")
    done <"$list"
done
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
