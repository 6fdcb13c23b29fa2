#!/usr/bin/env bash
# Installs what building and testing Ferrowind needs on a Debian bookworm machine.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(wine wine32:i386 g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
          cmake make python3 xvfb xauth googletest locales fonts-ipafont-gothic fonts-wine
          x11-apps x11-utils imagemagick
          xserver-xorg-core xserver-xorg-video-dummy libxinerama1:i386)
# The last three make the two-monitor test bed: Xorg with two dummy heads, and the 32-bit
# Xinerama library that Wine loads at run time to see more than one monitor (a recommended
# package of libwine, so --no-install-recommends leaves it out).

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine's code page follows the glibc locale: ja_JP.UTF-8 gives ANSI code page 932.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    $SUDO sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi
