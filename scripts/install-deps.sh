#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages Paddock needs to build and test, when any is missing.
# Runs apt-get as root, or through sudo when that is available; otherwise says what to install.
set -euo pipefail

packages=(cmake make g++ pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev libzstd-dev)
# lupdate and lrelease, and the CMake functions that run them, for the translations.
packages+=(qt6-tools-dev qt6-l10n-tools)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    apt=(apt-get)
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    apt=(sudo apt-get)
else
    echo "Please install these packages: ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
