#!/usr/bin/env bash
# The demo: installs what is missing, builds the library, the host program and
# the simulated machine, lays out a host package in a temporary directory and
# runs a complete staged update in it against the simulated machine. Nothing
# on this machine is touched: the simulator stands in for the controller, the
# kernel and the shell. Prints the device record the host got, then an account
# of what the simulated controller and machine saw. Exits with the host
# program's status: 0 when the update was staged.
#
#   scripts/demo.sh [SCENARIO]    a file, or a name of simulator/scenarios/
#                                 (default: healthy); every failure path has one
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
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
        cmake --build "$build" -j"$(nproc)" --target vaduzivorirezoz updatehost simmachine
} >"$build_log" 2>&1 || { cat "$build_log"; exit 1; }

work=$(mktemp -d /tmp/stageupdate-demo-XXXXXX)
trap 'rm -rf "$work"' EXIT
package="$work/package" trace="$work/trace.jsonl" sandbox="$work/machine"
host_arguments=$("$root/scripts/lay-out-package.sh" "$package" "$build/host/updatehost" \
    "$build/library/vaduzivorirezoz.so.20.06.00" "$scenario")
mkdir "$sandbox"

echo "== staged update of the sample package ($(basename "$scenario"))"
grep -v '^expect\.' "$scenario" | grep -v '^$' | sed 's/^/   | /'
status=0
# shellcheck disable=SC2086 # the extra arguments are words
(cd "$package" && LD_PRELOAD="$build/simulator/libsimmachine.so" SIMMACHINE_SCENARIO="$scenario" \
    SIMMACHINE_TRACE="$trace" SIMMACHINE_SANDBOX="$sandbox" ./updatehost $host_arguments) || status=$?

echo "== what the simulated controller saw, in order"
grep '"kind":"controller"' "$trace" |
    sed -e 's/.*"event":"\([^"]*\)"/\1/' -e 's/[{}"]//g' -e 's/,/ /g' -e 's/^/   /' || echo "   nothing"
echo "== IPMI commands sent"
grep -o '"kind":"ipmi_request","name":"[^"]*"' "$trace" | sed 's/.*"name":"\([^"]*\)"/\1/' |
    awk '!seen[$0]++ { order[++n] = $0 } { count[$0]++ }
         END { for (i = 1; i <= n; i++) printf "   %5d  %s\n", count[order[i]], order[i]; if (!n) print "   none" }'
echo "== what the machine saw"
awk -F'"ms":' '/"kind":"sleep"/ { split($2, v, /[,}]/); total += v[1]; n++ }
     END { printf "   %d pauses, %d seconds of virtual time\n", n, total / 1000 }' "$trace"
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

expected=$(sed -n 's/^expect\.status = //p' "$scenario")
echo "== host exit status $status; the scenario expects record status ${expected:-(not stated)}"
exit $status
