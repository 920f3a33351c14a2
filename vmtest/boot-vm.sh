#!/usr/bin/env bash
# Boots one guest (Debian's kernel under QEMU, TCG) against the simulated
# controller served by simbmc, runs GUEST-SCRIPT inside it and waits for both
# to finish. Leaves in RUN-DIR: console.log (the guest's console),
# simbmc.log (the controller's requests and hot-plugs), controller.txt (its
# state at the end) and trace.jsonl.
#
#   vmtest/boot-vm.sh KERNEL INITRAMFS SIMBMC SCENARIO RUN-DIR GUEST-SCRIPT
set -euo pipefail
kernel=$1 initramfs=$2 simbmc=$3 scenario=$4 run_dir=$5 guest_script=$6
accel=${VMTEST_ACCEL:-tcg}
mkdir -p "$run_dir"
qmp="$run_dir/qmp.sock"
# A port per run, so that runs of several worktrees do not meet.
port=$((20000 + RANDOM % 20000))

SIMMACHINE_SCENARIO="$scenario" SIMMACHINE_TRACE="$run_dir/trace.jsonl" \
    "$simbmc" "$port" "$qmp" >"$run_dir/controller.txt" 2>"$run_dir/simbmc.log" &
simbmc_pid=$!
trap 'kill "$simbmc_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    grep -q listening "$run_dir/simbmc.log" 2>/dev/null && break
    kill -0 "$simbmc_pid" 2>/dev/null || { cat "$run_dir/simbmc.log"; exit 1; }
    sleep 0.05
done

status=0
timeout 300 qemu-system-x86_64 -accel "$accel" -m 1024 -smp 2 -nographic -no-reboot \
    -kernel "$kernel" -initrd "$initramfs" \
    -append "console=ttyS0 quiet panic=-1 vmtest.run=$guest_script" \
    -fsdev local,id=hostroot,path=/,readonly=on,security_model=none,multidevs=remap \
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
    -chardev socket,id=bmcchar,host=127.0.0.1,port="$port",reconnect=1 \
    -device ipmi-bmc-extern,chardev=bmcchar,id=bmc0 -device isa-ipmi-kcs,bmc=bmc0 \
    -device qemu-xhci,id=xhci \
    -qmp unix:"$qmp",server=on,wait=off \
    </dev/null >"$run_dir/console.log" 2>&1 || status=$?
wait "$simbmc_pid" || status=$?
trap - EXIT
exit $status
