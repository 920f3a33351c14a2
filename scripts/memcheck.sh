#!/usr/bin/env bash
# memcheck.sh BUILD_DIR: runs the host program on the built library under
# valgrind's memcheck inside the simulated machine, in a package directory of
# its own, and fails on any memory error or definite leak. Prints one line per
# run; the valgrind logs stay in BUILD_DIR/memcheck/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: memcheck.sh BUILD_DIR}")
logs="$build/memcheck"
rm -rf "$logs"
mkdir -p "$logs"

package=$(mktemp -d /tmp/stageupdate-memcheck-XXXXXX)
trap 'rm -rf "$package"' EXIT
cp -r "$root/package/." "$package/"
cp "$build/host/updatehost" "$build/library/vaduzivorirezoz.so.20.06.00" "$package/"

status=0
# memcheck_host NAME SCENARIO [HOST ARGUMENTS...]
memcheck_host() {
    local name="$1" scenario="$2"; shift 2
    local log="$logs/$name.log"  # one per process: .PID
    # valgrind starts env, which starts the host with the simulator preloaded:
    # the simulator stands in for the machine of the host alone, not of
    # valgrind's launcher. The host unloads the library before it exits, so
    # valgrind keeps the library's symbols for the leak report.
    if (cd "$package" && valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
            --errors-for-leak-kinds=definite --keep-debuginfo=yes --trace-children=yes \
            --log-file="$log.%p" \
            env LD_PRELOAD="$build/simulator/libsimmachine.so" SIMMACHINE_SCENARIO="$scenario" \
                SIMMACHINE_TRACE="$package/trace-$name.jsonl" ./updatehost "$@" \
            >"$logs/$name.out" 2>&1); then
        echo "memcheck $name: clean"
    else
        echo "memcheck $name: FAILED (exit $?), see $log.*"
        status=1
    fi
}

healthy="$root/simulator/scenarios/healthy.scn"
memcheck_host pass-through-OrinStatus "$healthy" ipmi OrinStatus
memcheck_host pass-through-OstrelCapability "$healthy" ipmi OstrelCapability
# Whole staged updates under memcheck are the CTest test library_UpdateMemcheck_test.

exit $status
