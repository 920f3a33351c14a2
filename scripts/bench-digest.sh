#!/usr/bin/env bash
# bench-digest.sh: the payload digest and the payload phase of an update on
# this machine, side by side with the standard tools on the same files.
#
#   sha256:        CalculateSHA256 of a 256 MiB file   vs  openssl dgst -sha256 of it
#   payload phase: copy onto the mount point + manifest  vs  cp + openssl dgst -sha256
#
# Every figure is the median of RUNS runs (default 7) on warm files. The files
# live in BENCH_DIR (default /dev/shm, else /tmp); BUILD_DIR (default
# build-bench) receives a Release build of the benchmark. The last line is the
# summary; a ratio R of 1.0 or more means the library hashes at least as fast
# as openssl, a ratio P of 1.2 or less that its payload phase takes at most
# 1.2 times as long as cp plus openssl.
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
trap 'rm -rf "$work"' EXIT
package="$work/package"
mount="$work/mount"
mkdir -p "$package/payload" "$mount"
printf '<SoftwareComponent/>\n' >"$package/package.xml"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$package/payload/firmware.bin"
file="$package/payload/firmware.bin"
bytes=$(stat -c %s "$file")

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Seconds per run of the command, median of the runs, after one warm-up run.
time_median() {
    "$@" >/dev/null
    for _ in $(seq "$runs"); do
        local start end
        start=$(now)
        "$@" >/dev/null
        end=$(now)
        awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", (e - s) / 1e9 }'
    done | median
}
# Seconds per iteration of a benchmark, median of the repetitions.
bench_median() {
    KOR_BENCH_DIGEST_FILE="$file" KOR_BENCH_PACKAGE_DIR="$package" KOR_BENCH_MOUNT_DIR="$mount" \
        "$bench" --benchmark_filter="^$1" --benchmark_repetitions="$runs" \
        --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
        awk -F, -v name="\"$1/real_time_median\"" '$1 == name {
            unit = $5; gsub(/"/, "", unit)
            scale = (unit == "ns") ? 1e-9 : (unit == "us") ? 1e-6 : (unit == "ms") ? 1e-3 : 1
            printf "%.6f\n", $3 * scale }'
}
baseline_phase() {
    rm -rf "$mount/payload" && mkdir -p "$mount/payload"
    cp "$package/package.xml" "$package"/payload/* "$mount/payload/"
    openssl dgst -sha256 "$package/package.xml" "$package"/payload/*
}

library_digest=$(bench_median CalculateSHA256OfFile)
openssl_digest=$(time_median openssl dgst -sha256 "$file")
library_phase=$(bench_median PayloadPhase)
baseline=$(time_median baseline_phase)

echo "files in $BENCH_DIR, $runs runs each, load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) CPUs"
awk -v b="$bytes" -v l="$library_digest" -v o="$openssl_digest" -v p="$library_phase" -v c="$baseline" 'BEGIN {
    printf "sha256 of %d bytes: library %.3f s, openssl dgst %.3f s\n", b, l, o
    printf "payload phase: library %.3f s, cp + openssl dgst %.3f s\n", p, c
    printf "sha256 throughput ratio vs openssl: %.2f (library %.0f MB/s, openssl %.0f MB/s); payload phase ratio vs cp+openssl: %.2f\n",
        o / l, b / l / 1e6, b / o / 1e6, p / c }'
