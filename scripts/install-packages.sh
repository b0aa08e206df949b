#!/usr/bin/env bash
# Installs the Debian packages listed in the given files, skipping the
# download when all of them are already there. A line "include OTHER" in a
# list takes in the list OTHER (beside it) as well.
set -euo pipefail
packages=()
read_list() {
    local list=$1 line
    while read -r line; do
        line=${line%%#*}
        if [[ "$line" =~ ^[[:space:]]*include[[:space:]]+([^[:space:]]+) ]]; then
            read_list "$(dirname "$list")/${BASH_REMATCH[1]}"
            continue
        fi
        line=${line//[[:space:]]/}
        [ -n "$line" ] && packages+=("$line")
    done <"$list"
}
for list in "$@"; do
    read_list "$list"
done
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ "${#missing[@]}" -eq 0 ]; then
    echo "Packages: all ${#packages[@]} needed are installed."
    exit 0
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
