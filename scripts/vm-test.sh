#!/usr/bin/env bash
# The real-kernel test: installs QEMU, busybox and Debian's kernel (see
# vm-setup.sh), builds what the guest runs and the simulated controller's VM
# front end, and runs the VM scenarios (see vmtest/run.sh), each in a fresh
# guest. Prints the time of every step.
#
#   scripts/vm-test.sh [SCENARIO...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VMTEST_BUILD:-$root/build}
step() { echo "== $1: $(($(date +%s) - started)) s"; }
started=$(date +%s)
"$root/scripts/setup.sh"
kernel_dir=$("$root/scripts/vm-setup.sh" | tail -n 1)
step "setup"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target simbmc updatehost vaduzivorirezoz scenario-outcome >/dev/null
step "build"
status=0
"$root/vmtest/run.sh" "$kernel_dir" "$build" "$@" || status=$?
step "scenarios"
exit $status
