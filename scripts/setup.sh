#!/usr/bin/env bash
# Installs what building and testing Ferrowind needs on a Debian bookworm machine.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(wine wine32:i386 wine64 g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
          cmake make python3 python3-pefile wixl xvfb xauth googletest locales fonts-ipafont-gothic fonts-wine
          x11-apps x11-utils imagemagick osslsigncode openssl faketime
          xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils libxinerama1:i386 libxinerama1)
# osslsigncode and openssl sign the release and check its signatures; faketime runs the
# reproducibility check's second build a day later; python3-pefile rebases a copy of the module by
# its relocations for the tests.
# The last five make the two-monitor test bed: Xorg on the dummy driver, whose two outputs
# xrandr places; and the Xinerama libraries (32- and 64-bit) that Wine loads at run time to see
# more than one monitor (a recommended package of libwine, so --no-install-recommends leaves
# it out).

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

# Wine runs the module with its 32-bit loader. A kernel built or booted without 32-bit support
# (dmesg: "32-bit emulation disabled") cannot start it; the tests then run on an emulated
# x86-64 machine (scripts/x86-machine.sh), which needs QEMU, a static busybox for its first
# process, and a Debian kernel with its virtio and 9p modules, kept in /var/cache/ferrowind.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    missing=()
    for p in qemu-system-x86 busybox-static; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "setup: this kernel runs no 32-bit programs; installing ${missing[*]} for an emulated machine"
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    kernel=/var/cache/ferrowind/linux
    if [ ! -f "$kernel/vmlinuz" ]; then
        echo "setup: fetching a Debian kernel for the emulated machine"
        image=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ { print $2; exit }')
        download=$(mktemp -d)
        (cd "$download" && $SUDO apt-get download -qq -o APT::Sandbox::User=root "$image")
        $SUDO mkdir -p "$kernel.new"
        dpkg-deb --fsys-tarfile "$download"/*.deb | $SUDO tar -x -C "$kernel.new" --wildcards \
            './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/virtio/*' './lib/modules/*/kernel/net/9p/*' \
            './lib/modules/*/kernel/fs/9p/*' './lib/modules/*/kernel/fs/netfs/*' './lib/modules/*/kernel/fs/fscache/*'
        $SUDO mv "$kernel.new"/boot/vmlinuz-* "$kernel.new/vmlinuz"
        $SUDO mv "$kernel.new"/lib/modules/*/kernel "$kernel.new/modules"
        $SUDO rm -rf "$kernel.new/boot" "$kernel.new/lib" "$download"
        $SUDO mv "$kernel.new" "$kernel"
    fi
fi
