#!/bin/sh
# The guest's init: loads the boot modules, lays a tmpfs over the host's root
# file system (shared read-only over virtio-9p) and runs the scenario named by
# vmtest.run= on the kernel command line inside it with the host's own
# userland, then powers the guest off.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
# shellcheck disable=SC2013 # the file is one line of module names
for module in $(cat /boot-modules); do
    modprobe "$module" || echo "vmtest: cannot load $module"
done
run=$(sed -n 's/.*vmtest\.run=\([^ ]*\).*/\1/p' /proc/cmdline)
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /lower
mount -t tmpfs -o size=1g rw /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/rw/upper,workdir=/rw/work /newroot
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mount -t tmpfs run /newroot/run
# The guest's kernel is not the host's: its modules go where the host's
# modprobe looks for them.
release=$(uname -r)
rm -rf "/newroot/lib/modules/$release"
mkdir -p "/newroot/lib/modules/$release"
cp -a "/lib/modules/$release/." "/newroot/lib/modules/$release/"
echo "vmtest: kernel $release, running $run"
chroot /newroot /bin/bash "$run"
echo "vmtest: scenario exit status $?"
sync
poweroff -f
