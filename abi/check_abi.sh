#!/usr/bin/env bash
# check_abi.sh check|update BASELINE LIBRARY
# The host binds to the library's exported symbols and to the layout of the
# types it shares (CDeviceInfo, IDeviceExecution and their value types), so an
# unintended change of either breaks every host built before it.
#   check   compares LIBRARY with the committed BASELINE; any difference fails,
#           an added symbol too: extending the interface is a decision, made by
#           updating the baseline in the same commit
#   update  writes LIBRARY's interface as the new BASELINE
# The library must carry debug information (RelWithDebInfo or Debug): that is
# where the layouts come from.
set -euo pipefail
mode="$1" baseline="$2" library="$3"

sections=$(readelf -S "$library")
if ! grep -q '\.debug_info' <<<"$sections"; then
    echo "$library has no debug information: build it with RelWithDebInfo or Debug" >&2
    exit 2
fi
current=$(mktemp)
trap 'rm -f "$current"' EXIT
# Only what is reachable from the exported symbols, without paths, so that the
# description does not depend on where the tree was built.
abidw --exported-interfaces-only --no-corpus-path --no-comp-dir-path --no-show-locs \
      --out-file "$current" "$library"

case "$mode" in
    update)
        cp "$current" "$baseline"
        echo "baseline written: $baseline" ;;
    check)
        # abidiff's status is a bit set: 1 error, 2 usage, 4 change (an added
        # symbol included), 8 incompatible change.
        status=0
        report=$(abidiff --no-show-locs "$baseline" "$current") || status=$?
        if [ $status -ne 0 ]; then
            echo "the exported interface of $(basename "$library") differs from $baseline:"
            echo "$report"
            echo "if the change is intended: $0 update $baseline $library"
            exit 1
        fi
        echo "exported interface unchanged" ;;
    *)
        echo "usage: $0 check|update BASELINE LIBRARY" >&2
        exit 2 ;;
esac
