#!/usr/bin/env bash
# Builds the guest's initramfs: a static busybox, the init script and the
# kernel modules the test needs with everything they depend on, indexed by
# depmod so that both busybox's and the host's modprobe find them.
#
#   vmtest/make-initramfs.sh KERNEL-DIR OUTPUT.cpio.gz
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
kernel_dir=$1
output=$2
module_dirs=("$kernel_dir"/lib/modules/*/)
release=$(basename "${module_dirs[0]}")
# Loaded at boot: the shared root, its overlay, the USB bus the staging disk
# arrives on and the drivers udev would load when it arrives (the guest has
# no udev): usb_storage and the SCSI disk drivers. Loaded later by the
# library or the kernel itself: IPMI, vfat and its code pages.
boot_modules="virtio_pci 9pnet_virtio 9p overlay xhci_pci usb_storage sd_mod sg"
later_modules="ipmi_msghandler ipmi_devintf ipmi_si vfat nls_cp437 nls_ascii nls_utf8 nls_iso8859_1"

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging"/{bin,sbin,proc,sys,dev,lower,rw,newroot,lib/modules/"$release"}
cp /bin/busybox "$staging/bin/busybox"
for applet in $(/bin/busybox --list | grep -vx busybox); do
    ln -s busybox "$staging/bin/$applet"
done
ln -sf ../bin/busybox "$staging/sbin/modprobe"
install -m 755 "$here/guest-init.sh" "$staging/init"
echo "$boot_modules" >"$staging/boot-modules"

# modinfo finds modules by name only through the unpacked kernel's index.
[ -f "$kernel_dir/lib/modules/$release/modules.dep" ] || depmod -b "$kernel_dir" "$release"
declare -A copied=()
add_module() {
    local name=$1 file dependency
    [ -n "${copied[$name]:-}" ] && return 0
    copied[$name]=1
    # A module built into the kernel has no file.
    file=$(modinfo -b "$kernel_dir" -k "$release" -n "$name" 2>/dev/null) || return 0
    case $file in /*) ;; *) return 0 ;; esac
    mkdir -p "$staging/$(dirname "${file#"$kernel_dir"}")"
    cp "$file" "$staging/${file#"$kernel_dir"}"
    for dependency in $(modinfo -b "$kernel_dir" -k "$release" -F depends "$name" | tr ',' ' '); do
        add_module "$dependency"
    done
}
for module in $boot_modules $later_modules; do
    add_module "$module"
done
cp "$kernel_dir/lib/modules/$release"/modules.{builtin,builtin.modinfo,order} \
    "$staging/lib/modules/$release/"
depmod -b "$staging" "$release"
(cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1) >"$output"
