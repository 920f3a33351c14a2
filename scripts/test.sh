#!/usr/bin/env bash
# Builds and runs every test: the normal build and the lint gate on it, the
# AddressSanitizer and UndefinedBehaviorSanitizer build, the ThreadSanitizer
# build of the multi-thread tests, the fuzz targets and memcheck, all against
# the simulated machine; then the real-kernel scenarios in a virtual machine.
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
"$root/scripts/lint.sh" "$root/build"

"$root/scripts/build.sh" "$root/build-asan" -DKOR_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests "$root/build-asan"

# Only the test programs declared THREADS in CMake are built for
# ThreadSanitizer (the target kor_threads_tests): they are the ones it has
# something to say about. Their cases carry the label "threads".
cmake -S "$root" -B "$root/build-tsan" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKOR_SANITIZE=thread >/dev/null
cmake --build "$root/build-tsan" -j"$jobs" --target kor_threads_tests
run_tests "$root/build-tsan" -L threads

# Every reader of outside input under libFuzzer for a short while. (Memcheck
# of whole updates and of the pass-through is the normal build's CTest test
# library_UpdateMemcheck_test.)
"$root/scripts/fuzz.sh" 20

# The shipped library on a real kernel's IPMI driver, USB storage and vfat,
# with only the controller simulated (a guest per scenario under QEMU).
VMTEST_BUILD="$root/build" "$root/scripts/vm-test.sh"
