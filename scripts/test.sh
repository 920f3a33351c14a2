#!/usr/bin/env bash
# Builds and runs every test: the normal build, the AddressSanitizer and
# UndefinedBehaviorSanitizer build, and the ThreadSanitizer build of the
# multi-thread tests. Everything runs against the simulated machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)

run_tests() {  # run_tests DIR [CTEST OPTIONS...]
    local dir="$1"; shift
    (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@")
}

"$root/scripts/build.sh" "$root/build"
run_tests "$root/build"

"$root/scripts/build.sh" "$root/build-asan" -DKOR_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests "$root/build-asan"

"$root/scripts/build.sh" "$root/build-tsan" -DKOR_SANITIZE=thread
run_tests "$root/build-tsan" -L threads
