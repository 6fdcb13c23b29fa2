#!/usr/bin/env bash
# Runs a command where 32-bit programs run: here when this kernel runs them, else on an x86-64
# machine emulated by QEMU whose kernel does. Wine starts the module and every test program
# with its 32-bit loader, which a kernel without 32-bit support refuses ("Exec format error";
# dmesg: "32-bit emulation disabled").
#
#   x86-machine.sh BUILD COMMAND ARGS...
#
# The emulated machine boots the Debian kernel that scripts/setup.sh keeps in
# /var/cache/ferrowind and takes this machine's own file system, shared over 9p, as its root:
# the same programs, the same folders. The command runs in the current folder with the current
# environment, less the display (the machine has its own X servers), its output going to a
# pipe, not a terminal. BUILD is held in the machine's memory while the command runs, since a Wine
# prefix is thousands of small files that are slow over 9p. The Wine prefixes and the beds'
# server state belong to the machine: they are neither taken in nor copied back (a prefix is
# hundreds of megabytes; the machine makes its own). Everything else the command wrote there is
# copied back. The exit code is the command's. Software emulation makes everything about ten
# times slower; where this machine offers KVM, QEMU takes it instead. A run is stopped after
# an hour.
set -euo pipefail
build=$(mkdir -p "$1" && cd "$1" && pwd)
shift

if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    exec "$@"
fi

kernel=/var/cache/ferrowind/linux
machine="$build/x86-machine"
if [ ! -f "$kernel/vmlinuz" ] || ! command -v qemu-system-x86_64 >/dev/null; then
    echo "x86-machine: this kernel runs no 32-bit programs and the emulated machine is not installed; run scripts/setup.sh" >&2
    exit 2
fi
# The machine's /tmp, /run and /dev are its own (X and Wine keep their sockets there).
for folder in "$build" "$PWD"; do
    case "$folder/" in /tmp/* | /run/* | /dev/*)
        echo "x86-machine: $folder is not shared with the emulated machine; use a folder outside /tmp, /run and /dev" >&2
        exit 2 ;;
    esac
done
echo "x86-machine: this kernel runs no 32-bit programs; running on an emulated x86-64 machine: $*"

# The first process: load the drivers of the shared file system, take it as the root with
# fresh kernel file systems, run the job, write everything back and power off.
rm -rf "$machine"
mkdir -p "$machine/initrd/bin" "$machine/initrd/modules" "$machine/initrd/proc" \
         "$machine/initrd/dev" "$machine/initrd/host"
cp "$(command -v busybox)" "$machine/initrd/bin/busybox"
modules="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p"
for module in $modules; do
    cp "$(find "$kernel/modules" -name "$module.ko" | head -n 1)" "$machine/initrd/modules/"
done
cat >"$machine/initrd/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
for module in $modules; do insmod /modules/\$module.ko; done
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose host /host; then
    mount -t proc proc /host/proc
    mount -t sysfs sys /host/sys
    mount -t devtmpfs dev /host/dev
    mkdir -p /host/dev/pts /host/dev/shm
    mount -t devpts pts /host/dev/pts
    mount -t tmpfs shm /host/dev/shm
    mount -t tmpfs tmp /host/tmp
    mount -t tmpfs run /host/run
    chroot /host /bin/bash $(printf %q "$machine/job.sh")
    sync
else
    echo "x86-machine: the shared file system could not be mounted"
fi
poweroff -f
INIT
chmod +x "$machine/initrd/init"
(cd "$machine/initrd" && find . | busybox cpio -o -H newc 2>/dev/null) | gzip -1 >"$machine/initrd.gz"

# The job: the environment and folder of this shell, the build tree in memory, the command.
{
    echo '#!/bin/bash'
    env -u DISPLAY -u XAUTHORITY -u WAYLAND_DISPLAY -u FERROWIND_HOST_DISPLAY bash -c 'export -p'
    cat <<JOB
shared=/tmp/shared-build
held=/tmp/held-build
mkdir -p \$shared \$held
mount --bind $(printf %q "$build") \$shared
tar -C \$shared --exclude=./x86-machine --exclude='./testbed*' --exclude='./wineprefix*' -cf - . |
    tar -C \$held -xf -
touch /tmp/job-started
mount --bind \$held $(printf %q "$build")
cd $(printf %q "$PWD")
echo "x86-machine: start"
$(printf '%q ' "$@") </dev/null 2>&1 | cat
status=\${PIPESTATUS[0]}
echo "x86-machine: end"
cd /
(cd \$held && find . \( -path './testbed*' -o -path './wineprefix*' \) -prune -o \
    ! -type d -newer /tmp/job-started -print0 |
    tar --null -T - -cf -) | tar -C \$shared -xf -
echo \$status >\$shared/x86-machine/status
JOB
} >"$machine/job.sh"

# Only the command's own lines reach this output, without the serial line's carriage returns.
# A machine that ends early or is stopped leaves no status: that is checked below.
accelerator=tcg,thread=multi
# A /dev/kvm without the processor's virtualisation extensions was seen to hang the guest.
[ -w /dev/kvm ] && grep -qwE 'vmx|svm' /proc/cpuinfo && accelerator=kvm
timeout 60m qemu-system-x86_64 \
    -accel "$accelerator" -smp "$(nproc)" -m 4096 \
    -kernel "$kernel/vmlinuz" -initrd "$machine/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=0" \
    -fsdev local,id=root,path=/,security_model=passthrough,multidevs=remap \
    -device virtio-9p-pci,fsdev=root,mount_tag=host \
    -display none -vga none -serial stdio -monitor none -nic none -no-reboot </dev/null |
    sed -u -n 's/\r$//; /^x86-machine: start$/,/^x86-machine: end$/ { /^x86-machine: /!p }' || true

if [ ! -s "$machine/status" ]; then
    echo "x86-machine: the machine stopped before the command ended, or ran for an hour" >&2
    exit 1
fi
exit "$(cat "$machine/status")"
