#!/usr/bin/env bash
# fuzz.sh SECONDS [TARGET...]: builds the libFuzzer targets of fuzz/ with clang
# into build-fuzz/ and runs each (default: all of them) for SECONDS, as many at
# once as there are cores. Prints executions and findings per target; exits 1
# when any target found something. Crashing inputs land in
# build-fuzz/findings/TARGET/, the logs in build-fuzz/logs/; the inputs a run
# adds to the seeds stay in build-fuzz/corpus/TARGET/, out of the repository.
# The seeds are fuzz/corpus/TARGET/ and the package files that
# fuzz/package-seeds.txt names for the target; the normal build's tests
# replay the same inputs (fuzz_replay_TARGET).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${1:?usage: fuzz.sh SECONDS [TARGET...]}"; shift
build="$root/build-fuzz"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root/fuzz" -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$root"/fuzz/targets/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

run_target() {  # run_target NAME: one libFuzzer run, log in logs/NAME.log
    local name="$1"
    local corpus="$build/corpus/$name" findings="$build/findings/$name"
    mkdir -p "$corpus" "$findings" "$build/logs"
    # The product's own output (libxml2's complaints about a broken file, for
    # one) is closed off: it would fill the log and slow every run down.
    # libFuzzer and the sanitizers keep reporting.
    local options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=25 -close_fd_mask=3
                   -artifact_prefix="$findings/")
    local dictionary="$root/fuzz/dictionaries/$name.dict"
    [ -f "$dictionary" ] && options+=(-dict="$dictionary")
    # The package's own files the target starts from, besides its corpus.
    local seeds
    seeds=$(awk -v target="$name" -v package="$root/package" \
                '$1 == target { printf "%s%s/%s", separator, package, $2; separator = "," }' \
                "$root/fuzz/package-seeds.txt")
    [ -n "$seeds" ] && options+=(-seed_inputs="$seeds")
    # The simulated machine makes sleeps return at once, which turns
    # libFuzzer's once-a-second memory watch into a busy loop: the targets on
    # it go without.
    if grep -q SimulatedMachine.h "$root/fuzz/targets/$name.cpp"; then
        options+=(-rss_limit_mb=0)
    fi
    # Paths are absolute: the targets change their working directory.
    "$build/$name" "${options[@]}" "$corpus" "$root/fuzz/corpus/$name" \
        >"$build/logs/$name.log" 2>&1 || true
}

running=0
for name in "${targets[@]}"; do
    rm -rf "$build/findings/$name"
    run_target "$name" &
    running=$((running + 1))
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

status=0
printf '%-26s %8s %14s %9s\n' target seconds executions findings
for name in "${targets[@]}"; do
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$name.log" | tail -n 1)
    findings=$(find "$build/findings/$name" -type f | wc -l)
    # A run that ended without its statistics died in a way libFuzzer could not report.
    if [ -z "$executions" ]; then
        executions="?"
        [ "$findings" -eq 0 ] && findings=1
    fi
    [ "$findings" -ne 0 ] && status=1
    printf '%-26s %8s %14s %9s\n' "$name" "$seconds" "$executions" "$findings"
done
exit $status
