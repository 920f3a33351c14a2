#!/usr/bin/env bash
# Runs the real-kernel scenarios: one fresh guest per scenario, each against a
# fresh simulated controller. A scenario passes when every guest check passes
# and the controller ends with no session and no partition. Prints the kernel
# version, each scenario's time and the guest's evidence.
#
#   vmtest/run.sh KERNEL-DIR BUILD-DIR [SCENARIO...]
#
# A SCENARIO is a name of vmtest/scenarios/ or, failing that, of
# simulator/scenarios/; the default is every vmtest/scenarios/*.scn and every
# simulator scenario that says `host.vm = yes`.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repository=$(dirname "$here")
kernel_dir=$1 build=$(realpath "$2")
shift 2
scenarios=("$@")
if [ ${#scenarios[@]} = 0 ]; then
    for file in "$here"/scenarios/*.scn "$repository"/simulator/scenarios/*.scn; do
        case $file in
            "$here"/*) ;;
            *) grep -Eq '^host\.vm[[:blank:]]*=[[:blank:]]*yes[[:blank:]]*$' "$file" || continue ;;
        esac
        name=$(basename "$file")
        scenarios+=("${name%.scn}")
    done
fi
scenario_file() {
    local file
    for file in "$here/scenarios/$1.scn" "$repository/simulator/scenarios/$1.scn"; do
        [ -f "$file" ] && { echo "$file"; return; }
    done
    echo "vmtest: no scenario $1" >&2
    return 1
}

work=$(mktemp -d /tmp/vmtest-XXXXXX)
kernels=("$kernel_dir"/boot/vmlinuz-*)
kernel=${kernels[0]}
"$here/make-initramfs.sh" "$kernel_dir" "$work/initramfs.gz"
echo "== kernel $(basename "$kernel" | sed 's/^vmlinuz-//'), QEMU $(qemu-system-x86_64 --version | head -n 1 | awk '{print $4}')"

passed=0 failed=0
for scenario in "${scenarios[@]}"; do
    run_dir="$work/$scenario"
    mkdir -p "$run_dir"
    file=$(scenario_file "$scenario")
    printf '#!/bin/bash\nexec bash %q %q %q %q\n' "$here/guest-scenario.sh" "$file" "$build" \
        "$repository" >"$run_dir/guest.sh"
    started=$(date +%s%N)
    boot_status=0
    "$here/boot-vm.sh" "$kernel" "$work/initramfs.gz" "$build/simulator/simbmc" \
        "$file" "$run_dir" "$run_dir/guest.sh" || boot_status=$?
    seconds=$(awk -v ns=$(($(date +%s%N) - started)) 'BEGIN {printf "%.1f", ns / 1e9}')
    controller=$(cat "$run_dir/controller.txt")
    verdict=pass
    grep -q '^vmtest-result: pass' "$run_dir/console.log" || verdict=FAIL
    [ "$boot_status" = 0 ] || verdict=FAIL
    case $controller in *"session=closed partitions=none"*) ;; *) verdict=FAIL ;; esac
    echo "== $scenario: $verdict in ${seconds} s"
    grep -E '^vmtest(-evidence|-record|-check|:)' "$run_dir/console.log" | grep -v '^vmtest-result' |
        sed 's/^/   /' || true
    echo "   $controller"
    grep -o '"event":"stage"[^}]*' "$run_dir/trace.jsonl" | sed 's/^/   controller: /' || true
    if [ "$verdict" = pass ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "   -- console ($run_dir/console.log), last lines:"
        tail -n 25 "$run_dir/console.log" | sed 's/^/   | /'
        echo "   -- controller ($run_dir/simbmc.log), last lines:"
        tail -n 15 "$run_dir/simbmc.log" | sed 's/^/   | /'
    fi
done
echo "vmtest: $passed passed, $failed failed"
[ "$failed" = 0 ] && rm -rf "$work"
[ "$failed" = 0 ]
