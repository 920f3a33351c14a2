#!/usr/bin/env bash
# The demo: installs what is missing, builds, lays out a host package in a
# temporary directory and runs a staged update in it against the simulated
# machine. Nothing on this machine is touched: the simulator stands in for the
# controller, the kernel and the shell. Prints the device records, then what
# the simulated machine saw.
#
#   scripts/demo.sh [SCENARIO-FILE]     (default: simulator/scenarios/healthy.scn)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=$(realpath "${1:-$root/simulator/scenarios/healthy.scn}")
"$root/scripts/setup.sh"
build_log=$(mktemp /tmp/stageupdate-build-XXXXXX.log)
echo "== building (log: $build_log)"
"$root/scripts/build.sh" "$root/build" >"$build_log" 2>&1 || { cat "$build_log"; exit 1; }

package=$(mktemp -d /tmp/stageupdate-demo-XXXXXX)
trap 'rm -rf "$package"' EXIT
cp -r "$root/package/." "$package/"
# The library takes the payload from the directory of the running program.
cp "$root/build/host/updatehost" "$root/build/library/vaduzivorirezoz.so.20.06.00" "$package/"
trace="$package/trace.jsonl"

run_host() {
    (cd "$package" && LD_PRELOAD="$root/build/simulator/libsimmachine.so" \
        SIMMACHINE_SCENARIO="$scenario" SIMMACHINE_TRACE="$trace" ./updatehost "$@")
}

echo "== exports of the library"
nm -D --defined-only "$package/vaduzivorirezoz.so.20.06.00" | grep -v CDeviceInfo
echo "   ... and $(nm -D --defined-only "$package/vaduzivorirezoz.so.20.06.00" | grep -c CDeviceInfo) members of CDeviceInfo"
for command in OrinStatus OstrelType OstrelAccessEnabled OstrelCapability GUIDEnableCheck SystemGeneration; do
    echo "== pass-through: $command"
    run_host ipmi "$command"
done
echo "== staged update ($(basename "$scenario"))"
rm -f "$trace"
status=0
run_host || status=$?
if [ $status -eq 4 ]; then
    echo "(this build hands out no update object yet: the staged-update driver is not part of it)"
    exit 0
fi
echo "== what the simulated machine saw"
grep -o '"kind":"[a-z_]*"' "$trace" | sort | uniq -c | sed 's/"kind"://'
grep '"kind":"controller"' "$trace" | sed 's/.*"kind":"controller",//' || true
exit $status
