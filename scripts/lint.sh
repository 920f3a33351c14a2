#!/usr/bin/env bash
# lint.sh [BUILD_DIR]: runs clang-tidy with the root's .clang-tidy on the
# product code (the folders the build lists in product-folders.txt, without
# their tests), two files at a time, using BUILD_DIR's compile_commands.json
# (default: build). Every finding is an error; prints each finding and a
# one-line summary, and fails when there is any.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
build=$(cd "${1:-$root/build}" && pwd -P)
if [ ! -f "$build/compile_commands.json" ] || [ ! -f "$build/product-folders.txt" ]; then
    echo "lint: $build is not a configured build directory (run cmake first)" >&2
    exit 2
fi

mapfile -t folders < "$build/product-folders.txt"
folder_pattern="^$root/($(IFS='|'; echo "${folders[*]}"))/"
mapfile -t files < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
                     grep -E "$folder_pattern" | grep -v '/tests/' | sort -u)
if [ ${#files[@]} -eq 0 ]; then
    echo "lint: no product sources in $build/compile_commands.json" >&2
    exit 2
fi

reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT
# One report per file; clang-tidy's exit status only repeats what the report says.
printf '%s\n' "${files[@]}" |
    xargs -P "${LINT_JOBS:-2}" -I{} sh -c \
        'clang-tidy -p "$1" --quiet "$2" > "$3/$(printf %s "$2" | tr / _).txt" 2>/dev/null || true' \
        lint "$build" {} "$reports"

cat "$reports"/*.txt
findings=$(cat "$reports"/*.txt | grep -c ': error: ' || true)
failing=$(grep -l ': error: ' "$reports"/*.txt | wc -l || true)
if [ "$findings" -ne 0 ]; then
    echo "lint: $findings findings in $failing of ${#files[@]} files"
    exit 1
fi
echo "lint: clean, ${#files[@]} files"
