#!/usr/bin/env bash
# Installs what the real-kernel test needs on top of scripts/setup.sh: QEMU
# (without recommends), a static busybox for the initramfs, and Debian's own
# kernel, fetched as a .deb and unpacked into KERNEL_DIR (not installed).
# Prints the unpacked kernel's directory on its last line.
set -euo pipefail
kernel_dir=${KERNEL_DIR:-/var/cache/vmtest/kernel}
packages=(qemu-system-x86 busybox-static kmod cpio)
missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
export DEBIAN_FRONTEND=noninteractive
updated=no
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}" >&2
    apt-get update -qq
    updated=yes
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
if ! ls "$kernel_dir"/boot/vmlinuz-* >/dev/null 2>&1; then
    [ "$updated" = yes ] || apt-get update -qq
    # linux-image-amd64 is a meta package; its dependency names the kernel
    # of the current point release, whose ABI number changes over time.
    image=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    [ -n "$image" ] || { echo "no kernel package behind linux-image-amd64" >&2; exit 1; }
    download=$(mktemp -d)
    (cd "$download" && apt-get download -qq "$image" >&2)
    mkdir -p "$kernel_dir"
    dpkg-deb -x "$download"/*.deb "$kernel_dir"
    rm -rf "$download"
fi
echo "$kernel_dir"
