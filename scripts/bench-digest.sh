#!/usr/bin/env bash
# bench-digest.sh: what one update pays on this machine for the payload's
# digest and for the payload phase, side by side with the standard tools doing
# the same work on the same warm files.
#
#   sha256:        payload_once digest FILE (256 MiB)   vs  openssl dgst -sha256 FILE
#   payload phase: payload_once phase (copy + manifest) vs  cp + sync + openssl dgst -sha256
#
# A host digests each payload file once per update, so every run is a fresh
# process doing the work once, and both sides are timed the same way, from
# outside: the wall clock, and the user plus system CPU time of the process.
# payload_once is linked from the same layer archives as vaduzivorirezoz.so,
# built as the package is built: RelWithDebInfo, without sanitizers. A build
# directory configured otherwise is refused rather than reconfigured (a
# sanitizer setting would outlive a new build type), and the build type, the
# flags and the compiler are printed with the figures.
#
# The library and the tools take turns, so that both meet the same load, and
# every other round the tools go first; a first round only warms the files.
# Every figure is the median of RUNS runs (default 9), with the fastest and
# the slowest run beside it. A ratio R above 1.0 means the library digests
# faster than openssl, a ratio P of 1.2 or less that its payload phase costs
# at most 1.2 times cp plus openssl. On a shared machine the CPU time is
# disturbed far less than the clock; the load average printed before and
# after the runs says how shared the machine was.
# The files live in BENCH_DIR (default /dev/shm, else /tmp). BUILD_DIR
# (default build-bench) receives the build; an existing scripts/build.sh
# build (BUILD_DIR=build) is used as it is, so that the archives timed are
# those its library was linked from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Both absolute: the runs happen in a directory of their own.
build=$(realpath -m "${BUILD_DIR:-$root/build-bench}")
runs=${RUNS:-9}
if [[ -z "${BENCH_DIR:-}" ]]; then
    BENCH_DIR=/tmp
    [[ -d /dev/shm && -w /dev/shm ]] && BENCH_DIR=/dev/shm
fi
die() { echo "bench-digest.sh: $*" >&2; exit 1; }
command -v openssl >/dev/null || die "openssl is needed for the comparison"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number, not '$runs'"

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
[[ -f "$build/CMakeCache.txt" ]] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
[[ $(cache_value CMAKE_BUILD_TYPE) == RelWithDebInfo ]] ||
    die "$build is a $(cache_value CMAKE_BUILD_TYPE) build; the package ships RelWithDebInfo"
[[ -z $(cache_value KOR_SANITIZE) ]] || die "$build is a sanitizer build"
cmake --build "$build" -j2 --target payload_once >/dev/null
once="$build/benchmarks/payload_once"
compiler=$("$(cache_value CMAKE_CXX_COMPILER)" --version | head -n 1)

work=$(realpath "$(mktemp -d "$BENCH_DIR/kor-bench-digest-XXXXXX")")
trap 'rm -rf "$work" "${results:-}"' EXIT
package="$work/package"
mount="$work/mount"
mkdir -p "$package/payload" "$mount"
printf '<SoftwareComponent/>\n' >"$package/package.xml"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$package/payload/firmware.bin"
file="$package/payload/firmware.bin"
bytes=$(stat -c %s "$file")
# The library is run from here, where no debug-log marker switches its
# logging on.
cd "$work"

# Both sides must have digested the same bytes to the same digest.
library_digest=$("$once" digest "$file" | cut -d' ' -f1)
openssl_digest=$(openssl dgst -sha256 -r "$file" | cut -d' ' -f1)
[[ $library_digest == "$openssl_digest" ]] ||
    die "the digests differ: library $library_digest, openssl $openssl_digest"

# "WALL CPU": seconds of one run of the command, on the clock and of CPU time
# (user and system, the command's child processes included).
time_once() {
    local TIMEFORMAT='%3R %3U %3S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}
# The library flushes every file it copies before the copy counts as done,
# so the tools' copies are flushed too (free on tmpfs, a disk write on /tmp).
library_phase() {
    "$once" phase "$package" "$mount"
}
tools_phase() {
    mkdir "$mount/payload"
    cp "$package/package.xml" "$package"/payload/* "$mount/payload/"
    sync -- "$mount"/payload/*
    openssl dgst -sha256 "$package/package.xml" "$package"/payload/*
}
# Each phase starts from an empty mount point, as on a new partition; the
# emptying is not timed.
empty_mount() { rm -rf "${mount:?}"/*; }
# One line "KIND WALL CPU" per timed run.
digest_by_library() { echo "digest-library $(time_once "$once" digest "$file")"; }
digest_by_openssl() { echo "digest-openssl $(time_once openssl dgst -sha256 "$file")"; }
phase_by_library() { empty_mount && echo "phase-library $(time_once library_phase)"; }
phase_by_tools() { empty_mount && echo "phase-tools $(time_once tools_phase)"; }

# Round 0 only warms the files; every other round the tools go first, so
# that neither side always runs right after the other.
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
results=$(mktemp)
for round in $(seq 0 "$runs"); do
    order=(digest_by_library digest_by_openssl phase_by_library phase_by_tools)
    ((round % 2 == 0)) || order=(digest_by_openssl digest_by_library phase_by_tools phase_by_library)
    for run in "${order[@]}"; do "$run"; done |
        if ((round > 0)); then cat >>"$results"; else cat >/dev/null; fi
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# "MEDIAN MIN MAX" of one measurement: KIND COLUMN (2: wall clock, 3: CPU time)
summary_of() {
    awk -v k="$1" -v c="$2" '$1 == k { print $c }' "$results" | sort -g |
        awk '{ v[NR] = $1 } END {
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}
median_of() { summary_of "$1" "$2" | cut -d' ' -f1; }
row() {
    printf '%-34s' "$1"
    for column in 2 3; do
        summary_of "$2" "$column" | awk '{ printf "  %.3f (%.3f-%.3f)", $1, $2, $3 }'
    done
    echo
}

# The library hashes on the SHA instructions when the CPU has them.
sha_instructions=without
grep -qw sha_ni /proc/cpuinfo && sha_instructions=with
echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
    "$(nproc) CPUs, $sha_instructions SHA instructions; load average $load_before before the runs, $load_after after"
flags="$(cache_value CMAKE_CXX_FLAGS) $(cache_value CMAKE_CXX_FLAGS_RELWITHDEBINFO)"
echo "payload_once: $(cache_value CMAKE_BUILD_TYPE) (${flags# }), $compiler; $(openssl version | cut -d' ' -f1-2)"
echo "files in $(dirname "$work"), $bytes bytes of payload; a fresh process per run, runs of each: $runs"
printf '%-34s  %-19s  %s\n' "seconds: median (fastest-slowest)" "wall clock" "CPU time"
row "sha256: library" digest-library
row "sha256: openssl dgst" digest-openssl
row "payload phase: library" phase-library
row "payload phase: cp + sync + openssl" phase-tools
awk -v b="$bytes" \
    -v l="$(median_of digest-library 3)" -v o="$(median_of digest-openssl 3)" \
    -v p="$(median_of phase-library 3)" -v c="$(median_of phase-tools 3)" \
    -v lw="$(median_of digest-library 2)" -v ow="$(median_of digest-openssl 2)" \
    -v pw="$(median_of phase-library 2)" -v cw="$(median_of phase-tools 2)" 'BEGIN {
    printf "R %.2f by CPU time (library %.0f MB/s, openssl %.0f MB/s), %.2f by the clock; P %.2f by CPU time, %.2f by the clock\n",
        o / l, b / l / 1e6, b / o / 1e6, ow / lw, p / c, pw / cw }'
