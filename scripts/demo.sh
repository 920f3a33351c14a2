#!/usr/bin/env bash
# The demo: installs what is missing, builds the library, the host program and
# the simulated machine, lays out a host package in a temporary directory and
# runs a complete staged update in it against the simulated machine. Nothing
# on this machine is touched: the simulator stands in for the controller, the
# kernel and the shell. Prints the host's messages and the device records it
# got, then an account of what the simulated controller and machine saw, and
# whether the run meets the scenario's expect lines. Exits with the host
# program's status: 0 when the update was staged.
#
#   scripts/demo.sh [--expect] [SCENARIO]
#       SCENARIO   a file, or a name of simulator/scenarios/ (default:
#                  healthy); every failure path has one
#       --expect   also print every fact of the run as the expect lines the
#                  end-to-end test checks, to copy into a new scenario
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
print_expect=no
if [ "${1:-}" = --expect ]; then
    print_expect=yes
    shift
fi
scenario="${1:-healthy}"
if [ ! -f "$scenario" ]; then
    scenario="$root/simulator/scenarios/${scenario%.scn}.scn"
fi
[ -f "$scenario" ] || { echo "demo: no scenario $1" >&2; exit 2; }
scenario=$(realpath "$scenario")

"$root/scripts/setup.sh"
build="$root/build"
build_log=$(mktemp /tmp/stageupdate-build-XXXXXX.log)
echo "== building (log: $build_log)"
{
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
        cmake --build "$build" -j"$(nproc)" --target vaduzivorirezoz updatehost simmachine \
            scenario-outcome
} >"$build_log" 2>&1 || { cat "$build_log"; exit 1; }

work=$(mktemp -d /tmp/stageupdate-demo-XXXXXX)
trap 'rm -rf "$work"' EXIT
package="$work/package" trace="$work/trace.jsonl" sandbox="$work/machine" output="$work/output"
host_arguments=$("$root/scripts/lay-out-package.sh" "$package" "$build/host/updatehost" \
    "$build/library/$(cat "$build/library/shipped-name.txt")" "$scenario")
mkdir "$sandbox"

echo "== staged update of the sample package ($(basename "$scenario"))"
grep -v '^expect\.' "$scenario" | grep -v '^$' | sed 's/^/   | /'
echo "== updatehost $host_arguments"
status=0
# shellcheck disable=SC2086 # the arguments are words
(cd "$package" && LD_PRELOAD="$build/simulator/libsimmachine.so" SIMMACHINE_SCENARIO="$scenario" \
    SIMMACHINE_TRACE="$trace" SIMMACHINE_SANDBOX="$sandbox" ./updatehost $host_arguments 2>&1 \
    >"$output" | sed 's/^/   /') || status=$?
# A host that refused the package before loading the library never started
# the machine: nothing happened there, an empty trace.
[ -e "$trace" ] || : >"$trace"
# The run's facts, in the words of expect lines: first the records of the
# JSON report (any other output as it came).
outcome="$build/library/scenario-outcome" facts="$work/facts"
"$outcome" --exit-status "$status" --trace "$trace" "$scenario" "$output" >"$facts"
grep -E '^expect\.(status|message_id|message|device_type|records|statuses) =' "$facts" |
    sed 's/^/   /' || true
grep -q '^{' "$output" || sed 's/^/   /' "$output"

echo "== what the simulated controller saw, in order"
grep '"kind":"controller"' "$trace" |
    sed -e 's/.*"event":"\([^"]*\)"/\1/' -e 's/[{}"]//g' -e 's/,/ /g' -e 's/^/   /' || echo "   nothing"
echo "== IPMI commands sent"
sed -n 's/^expect\.sent = //p' "$facts" | while read -r name count; do
    printf '   %5d  %s\n' "$count" "$name"
done
grep -q '^expect\.sent = ' "$facts" || echo "   none"
echo "== what the machine saw"
echo "   pauses (milliseconds x times): $(sed -n 's/^expect\.sleeps = //p' "$facts")"
printf '   %d shell commands, %d mounts, %d unmounts\n' \
    "$(grep -c '"kind":"shell"' "$trace" || true)" "$(grep -c '"kind":"mount"' "$trace" || true)" \
    "$(grep -c '"kind":"umount"' "$trace" || true)"
left=""
for rules in etc/udev/rules.d lib/udev/rules.d run/udev/rules.d; do
    for rule in 98-secupdusb.rules 00-secupd-tessel.rules; do
        [ -e "$sandbox/$rules/$rule" ] && left="$left /$rules/$rule"
    done
done
[ -L "$sandbox/dev/secostupd-SECUPD" ] && left="$left /dev/secostupd-SECUPD"
[ -d "$sandbox/tmp/SECUPD" ] && [ -n "$(ls -A "$sandbox/tmp/SECUPD")" ] && left="$left /tmp/SECUPD (mounted)"
echo "   left behind on the machine:${left:- nothing}"

if [ "$print_expect" = yes ]; then
    echo "== the run as expect lines"
    cat "$facts"
fi
echo "== host exit status $status; the scenario's expect lines:"
"$outcome" --check --exit-status "$status" --trace "$trace" \
    --log "$package/vekdebug_update_internal.log" "$scenario" "$output" >"$work/unmet" || true
if [ -s "$work/unmet" ]; then sed 's/^/   not met: /' "$work/unmet"; else echo "   all met"; fi
exit $status
