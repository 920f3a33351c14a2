#!/usr/bin/env bash
# lint.sh [BUILD_DIR [PART...]]: the lint gate of everything the tree holds
# (every file git tracks, and every new file it does not ignore). Its parts,
# all of them unless named:
#   format  clang-format --dry-run --Werror with the root's .clang-format, on
#           every C++ file;
#   shell   shellcheck on every shell script: every *.sh and every file whose
#           first line runs sh, bash or dash;
#   tidy    clang-tidy with the root's .clang-tidy on every C++ source, with
#           the compile commands of BUILD_DIR (default: build), LINT_JOBS files
#           at a time (default: one per core). The tree's own headers are
#           checked where a source includes them.
# Every finding is an error. Prints the findings and, per part, a one-line
# summary with the seconds it took; fails when any part found something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
build_arg="${1:-$root/build}"
[ $# -gt 0 ] && shift
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(format shell tidy)

cd "$root"
mapfile -t tree < <(git ls-files --cached --others --exclude-standard | sort -u |
                    while IFS= read -r file; do [ -f "$file" ] && printf '%s\n' "$file"; done)
if [ ${#tree[@]} -eq 0 ]; then
    echo "lint: $root holds no files git knows of" >&2
    exit 2
fi

require() {  # require TOOL: stops the gate when TOOL is missing (scripts/setup.sh installs it)
    command -v "$1" >/dev/null || { echo "lint: $1 is not installed (scripts/setup.sh)" >&2; exit 2; }
}

summary() {  # summary PART FINDINGS FAILING_FILES FILES: the part's line; returns 1 on findings
    if [ "$2" -ne 0 ]; then
        echo "lint: $1: $2 findings in $3 of $4 files (${SECONDS}s)"
        return 1
    fi
    echo "lint: $1: clean, $4 files (${SECONDS}s)"
}

lint_format() {
    require clang-format
    local files=() file
    for file in "${tree[@]}"; do
        case "$file" in *.cpp | *.cc | *.h | *.hpp) files+=("$file") ;; esac
    done
    local output status=0
    output=$(printf '%s\0' "${files[@]}" | xargs -0 clang-format --dry-run --Werror 2>&1) || status=$?
    [ -n "$output" ] && printf '%s\n' "$output"
    local findings failing
    findings=$(grep -c ': error: ' <<<"$output" || true)
    failing=$(grep ': error: ' <<<"$output" | cut -d: -f1 | sort -u | wc -l)
    # A failure without a finding (an unreadable .clang-format, say) is one too.
    [ "$status" -ne 0 ] && [ "$findings" -eq 0 ] && findings=1 && failing=1
    summary format "$findings" "$failing" "${#files[@]}"
}

lint_shell() {
    require shellcheck
    local files=()
    # A script is known by its name or by its first line, whatever its name.
    mapfile -t files < <(printf '%s\n' "${tree[@]}" | grep '\.sh$'
                         printf '%s\0' "${tree[@]}" | grep -zv '\.sh$' |
                             xargs -0 -r awk 'FNR == 1 && /^#!.*[\/ ](ba|da)?sh([ \t]|$)/ { print FILENAME }
                                           { nextfile }')
    local output status=0
    output=$(shellcheck --format=gcc "${files[@]}" 2>&1) || status=$?
    [ -n "$output" ] && printf '%s\n' "$output"
    local findings failing
    findings=$(grep -c . <<<"$output" || true)
    failing=$(cut -d: -f1 <<<"$output" | grep . | sort -u | wc -l)
    # Status 1 is findings; anything above it, a script shellcheck could not read.
    [ "$status" -gt 1 ] && [ "$findings" -eq 0 ] && findings=1 && failing=1
    summary shell "$findings" "$failing" "${#files[@]}"
}

tidy_file() {  # tidy_file FILE REPORT: FILE's findings in REPORT
    local file="$1" report="$2" options=()
    # No analyzer for a test source: it walks every path of the assertion
    # macros, at up to ten times the cost of the other checks, and the tests
    # run those paths anyway (see .clang-tidy).
    case "/$file" in */tests/* | *_test.cpp) options+=(--checks=-clang-analyzer-*) ;; esac
    # A source the build does not compile gets the flags of its nearest
    # neighbour; what fails to compile shows as a finding.
    if ! clang-tidy -p "$build" --quiet --header-filter="$header_filter" "${options[@]}" \
            "$root/$file" >"$report" 2>"$report.stderr" &&
        ! grep -q ': error: ' "$report"; then
        # clang-tidy failed without a finding to show for it.
        { echo "$file: error: clang-tidy failed"; cat "$report.stderr"; } >>"$report"
    fi
}

lint_tidy() {
    require clang-tidy
    build=$(cd "$build_arg" && pwd -P)
    if [ ! -f "$build/compile_commands.json" ]; then
        echo "lint: $build is not a configured build directory (run cmake first)" >&2
        exit 2
    fi
    # Every header under the root is ours; the libraries' come from outside it.
    # shellcheck disable=SC2001 # each special character is escaped as itself, which ${//} cannot say
    header_filter="^$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$root")/"
    local files=() file
    for file in "${tree[@]}"; do
        case "$file" in *.cpp | *.cc) files+=("$file") ;; esac
    done
    local running=0 jobs="${LINT_JOBS:-$(nproc)}"
    reports=$(mktemp -d)
    trap 'rm -rf "$reports"' EXIT
    for file in "${files[@]}"; do
        tidy_file "$file" "$reports/$(tr / _ <<<"$file").txt" &
        running=$((running + 1))
        if [ "$running" -ge "$jobs" ]; then
            wait -n
            running=$((running - 1))
        fi
    done
    wait
    cat "$reports"/*.txt
    # A header's finding shows once for every source that includes it.
    local findings failing
    findings=$(cat "$reports"/*.txt | grep ': error: ' | sort -u | wc -l)
    failing=$(cat "$reports"/*.txt | grep ': error: ' | cut -d: -f1 | sort -u | wc -l)
    summary tidy "$findings" "$failing" "${#files[@]}"
}

failed=()
for part in "${parts[@]}"; do
    case "$part" in
        format | shell | tidy) ;;
        *) echo "lint: no part '$part' (format, shell, tidy)" >&2; exit 2 ;;
    esac
    SECONDS=0
    "lint_$part" || failed+=("$part")
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "lint: failed: ${failed[*]}"
    exit 1
fi
echo "lint: clean"
