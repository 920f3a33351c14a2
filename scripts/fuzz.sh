#!/usr/bin/env bash
# fuzz.sh SECONDS [TARGET...]: builds the libFuzzer targets of fuzz/ with clang
# into build-fuzz/ and runs each (default: all of them) for SECONDS, as many at
# once as there are cores. Prints executions, peak memory and findings by
# kind per target; exits 1 when any target found something. The inputs that
# found something land in build-fuzz/findings/TARGET/, the logs in
# build-fuzz/logs/; the inputs a run adds to the seeds stay in
# build-fuzz/corpus/TARGET/, out of the repository. The seeds are
# fuzz/corpus/TARGET/ and the package files that fuzz/package-seeds.txt names
# for the target; the normal build's tests replay the same inputs
# (fuzz_replay_TARGET).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${1:?usage: fuzz.sh SECONDS [TARGET...]}"; shift
build="$root/build-fuzz"

# A hang or a flood is a finding as a crash is. Over every seed and every
# input the targets kept in runs of 150 s each, no input took more than
# about 30 ms (the first of a run, which starts the simulated machine; up to
# 200 ms of wall time with the machine loaded), none allocated a megabyte at
# once, and the processes levelled off below 300 MB, most of it freed memory
# the address sanitizer holds back from reuse (256 MB at most). So an input
# fails:
# - when it has run for a second: libFuzzer looks once a second, so two
#   seconds (sixty times the slowest input, ten times its wall time on a
#   loaded machine) are caught for certain;
timeout_seconds=1
# - at one allocation of 16 MB, sixteen times the largest file the XML
#   readers take;
malloc_limit_mb=16
# - when the process holds 768 MB, more than twice where it levels off. The
#   sanitizer watches this itself, every tenth of a second: libFuzzer's own
#   watch sleeps between looks, and in the simulated machine a sleep returns
#   at once.
rss_limit_mb=768

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

# The target's dictionary with the ones it includes (a line #include "FILE",
# a comment to libFuzzer) put in place of that line, in build-fuzz/.
dictionary_of() {
    local name="$1" dictionaries="$root/fuzz/dictionaries"
    [ -f "$dictionaries/$name.dict" ] || return 0
    mkdir -p "$build/dictionaries"
    awk -v folder="$dictionaries" '
        /^#include "/ { file = folder "/" substr($2, 2, length($2) - 2)
                        while ((getline line < file) > 0) print line
                        close(file); next }
        { print }' "$dictionaries/$name.dict" >"$build/dictionaries/$name.dict"
    echo "$build/dictionaries/$name.dict"
}

run_target() {  # run_target NAME: one libFuzzer run, log in logs/NAME.log
    local name="$1"
    local corpus="$build/corpus/$name" findings="$build/findings/$name"
    mkdir -p "$corpus" "$findings" "$build/logs"
    # The product's own output (libxml2's complaints about a broken file, for
    # one) is closed off: it would fill the log and slow every run down.
    # libFuzzer and the sanitizers keep reporting.
    local options=(-max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=3
                   -timeout="$timeout_seconds" -malloc_limit_mb="$malloc_limit_mb" -rss_limit_mb=0
                   -artifact_prefix="$findings/")
    local dictionary
    dictionary=$(dictionary_of "$name")
    [ -n "$dictionary" ] && options+=(-dict="$dictionary")
    # The package's own files the target starts from, besides its corpus.
    local seeds
    seeds=$(awk -v target="$name" -v package="$root/package" \
                '$1 == target { printf "%s%s/%s", separator, package, $2; separator = "," }' \
                "$root/fuzz/package-seeds.txt")
    [ -n "$seeds" ] && options+=(-seed_inputs="$seeds")
    # Paths are absolute: the targets change their working directory.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=$rss_limit_mb" \
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
printf '%-26s %8s %12s %8s %6s %8s %4s %5s\n' \
       target seconds executions peak_mb crash timeout oom leak
for name in "${targets[@]}"; do
    log="$build/logs/$name.log"
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)
    # libFuzzer names each input it leaves by the kind of finding: crash-,
    # timeout-, oom-, leak- (any other counts as a crash). The sanitizer's
    # memory watch ends the run as a crash, which its log tells apart.
    declare -A found=([crash]=0 [timeout]=0 [oom]=0 [leak]=0)
    for finding in "$build/findings/$name"/*; do
        [ -f "$finding" ] || continue
        kind=$(basename "$finding")
        kind=${kind%%-*}
        [ "$kind" = crash ] && grep -q 'hard rss limit exhausted' "$log" && kind=oom
        [ -v "found[$kind]" ] || kind=crash
        found[$kind]=$((found[$kind] + 1))
    done
    # A run that ended without its statistics died in a way libFuzzer could
    # not report: a crash, whatever it left.
    total=$((found[crash] + found[timeout] + found[oom] + found[leak]))
    if [ -z "$executions" ]; then
        executions="?" peak="?"
        [ "$total" -eq 0 ] && found[crash]=1 total=1
    fi
    [ "$total" -ne 0 ] && status=1
    printf '%-26s %8s %12s %8s %6s %8s %4s %5s\n' "$name" "$seconds" "$executions" "$peak" \
           "${found[crash]}" "${found[timeout]}" "${found[oom]}" "${found[leak]}"
done
exit $status
