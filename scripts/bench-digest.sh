#!/usr/bin/env bash
# bench-digest.sh: the payload digest and the payload phase of an update on
# this machine, side by side with the standard tools on the same files.
#
#   sha256:        CalculateSHA256 of a 256 MiB file   vs  openssl dgst -sha256 of it
#   payload phase: copy onto the mount point + manifest  vs  cp + sync + openssl dgst -sha256
#
# Every figure is the median of RUNS runs (default 7) on warm files, the
# library's runs alternating with the tools'. Both the wall clock and the CPU
# time are printed; the summary, the last line, compares CPU time, which the
# other work of a shared machine disturbs far less. A ratio R of 1.0 or more
# means the library hashes at least as fast as openssl, a ratio P of 1.2 or
# less that its payload phase costs at most 1.2 times cp plus openssl.
# The files live in BENCH_DIR (default /dev/shm, else /tmp); BUILD_DIR
# (default build-bench) receives a Release build of the benchmark.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
runs=${RUNS:-7}
if [[ -z "${BENCH_DIR:-}" ]]; then
    BENCH_DIR=/tmp
    [[ -d /dev/shm && -w /dev/shm ]] && BENCH_DIR=/dev/shm
fi
command -v openssl >/dev/null || { echo "bench-digest.sh: openssl is needed for the comparison" >&2; exit 1; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target digest_benchmarks >/dev/null
bench="$build/benchmarks/digest_benchmarks"

work=$(mktemp -d "$BENCH_DIR/kor-bench-digest-XXXXXX")
trap 'rm -rf "$work" "${results:-}"' EXIT
package="$work/package"
mount="$work/mount"
mkdir -p "$package/payload" "$mount"
printf '<SoftwareComponent/>\n' >"$package/package.xml"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$package/payload/firmware.bin"
file="$package/payload/firmware.bin"
bytes=$(stat -c %s "$file")

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# "WALL CPU": seconds of one run of the command, on the clock and of CPU time
# (user and system, the command's child processes included).
time_once() {
    local TIMEFORMAT='%3R %3U %3S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.6f %.6f\n", $1, $2 + $3 }'
}
# "WALL CPU": seconds per iteration of one benchmark run (as few iterations
# as it takes to pass 0.2 s: one, for these files).
bench_once() {
    KOR_BENCH_DIGEST_FILE="$file" KOR_BENCH_PACKAGE_DIR="$package" KOR_BENCH_MOUNT_DIR="$mount" \
        "$bench" --benchmark_filter="^$1/" --benchmark_min_time=0.2 --benchmark_format=csv 2>/dev/null |
        awk -F, -v name="\"$1/real_time\"" '$1 == name {
            unit = $5; gsub(/"/, "", unit)
            scale = (unit == "ns") ? 1e-9 : (unit == "us") ? 1e-6 : (unit == "ms") ? 1e-3 : 1
            printf "%.6f %.6f\n", $3 * scale, $4 * scale }'
}
# The library flushes every file it copies before the copy counts as done,
# so the tools' copies are flushed too (free on tmpfs, a disk write on /tmp).
baseline_phase() {
    rm -rf "$mount/payload" && mkdir -p "$mount/payload"
    cp "$package/package.xml" "$package"/payload/* "$mount/payload/"
    sync -- "$mount"/payload/*
    openssl dgst -sha256 "$package/package.xml" "$package"/payload/*
}

# The runs alternate between the library and the tools, so that both meet
# the same load; the first round only warms the files. Each of the four
# measurements gets one line per round: "WALL CPU".
results=$(mktemp)
for round in $(seq 0 "$runs"); do
    {
        echo "digest-library $(bench_once CalculateSHA256OfFile)"
        echo "digest-openssl $(time_once openssl dgst -sha256 "$file")"
        echo "phase-library $(bench_once PayloadPhase)"
        echo "phase-tools $(time_once baseline_phase)"
    } | if ((round > 0)); then cat >>"$results"; else cat >/dev/null; fi
done
# median KIND COLUMN (2: wall clock, 3: CPU time)
median_of() { awk -v k="$1" -v c="$2" '$1 == k { print $c }' "$results" | median; }

echo "files in $BENCH_DIR, $runs runs each, load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) CPUs"
for column in 2 3; do
    awk -v b="$bytes" -v what="$([[ $column == 2 ]] && echo "wall clock" || echo "CPU time")" \
        -v l="$(median_of digest-library $column)" -v o="$(median_of digest-openssl $column)" \
        -v p="$(median_of phase-library $column)" -v c="$(median_of phase-tools $column)" 'BEGIN {
        printf "%s: sha256 of %d bytes: library %.3f s, openssl dgst %.3f s; payload phase: library %.3f s, cp + openssl dgst %.3f s\n",
            what, b, l, o, p, c }'
done
# The summary compares CPU time: on a shared machine the clock also counts
# the time the other users' work took from the measured program.
awk -v b="$bytes" -v l="$(median_of digest-library 3)" -v o="$(median_of digest-openssl 3)" \
    -v p="$(median_of phase-library 3)" -v c="$(median_of phase-tools 3)" 'BEGIN {
    printf "sha256 throughput ratio vs openssl: %.2f (library %.0f MB/s, openssl %.0f MB/s); payload phase ratio vs cp+openssl: %.2f\n",
        o / l, b / l / 1e6, b / o / 1e6, p / c }'
