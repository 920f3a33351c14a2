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

# Only the multi-thread tests (first line mentions "threads") are built for
# ThreadSanitizer: they are the ones it has something to say about.
thread_targets=()
for test_file in "$root"/{korbase,koripmi,CMBaseUtils,OstrelLib}/tests/*_test.cpp; do
    if head -n 1 "$test_file" | grep -q threads; then
        layer=$(basename "$(dirname "$(dirname "$test_file")")")
        thread_targets+=("${layer}_$(basename "$test_file" .cpp)")
    fi
done
cmake -S "$root" -B "$root/build-tsan" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKOR_SANITIZE=thread >/dev/null
cmake --build "$root/build-tsan" -j"$jobs" --target "${thread_targets[@]}"
run_tests "$root/build-tsan" -L threads

# Every reader of outside input under libFuzzer for a short while, and the
# pass-through under valgrind's memcheck on the normal build.
"$root/scripts/fuzz.sh" 20
"$root/scripts/memcheck.sh" "$root/build"
