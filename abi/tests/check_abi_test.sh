#!/usr/bin/env bash
# check_abi_test.sh COMPILER
# Shows that the interface check notices a change of the shared types: a probe
# library is built from the public headers and taken as the baseline, then
# rebuilt from a patched copy of the headers; each row names a patch and
# whether the check must still pass.
set -euo pipefail
compiler="$1"
here=$(cd "$(dirname "$0")" && pwd)
headers="$here/../../include"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

build_probe() {  # build_probe HEADER-DIR OUTPUT
    "$compiler" -std=c++17 -g -O1 -shared -fPIC -I "$1" "$here/layout_probe.cpp" -o "$2"
}

build_probe "$headers" "$scratch/baseline.so"
"$here/../check_abi.sh" update "$scratch/baseline.abi" "$scratch/baseline.so" >/dev/null

# name | file | sed script | expected (pass or fail)
cases=(
    "unchanged headers|CDeviceInfo.h||pass"
    "a record field moved|CDeviceInfo.h|/^    int m_iStatus;\$/d; s/^    std::string m_strErrorMsg;\$/&\n    int m_iStatus;/|fail"
    "a value type's field dropped|DeviceInfoTypes.h|/^    std::string strSubVendorID;\$/d|fail"
    "a virtual function before Update|IDeviceExecution.h|s/^    virtual std::vector<CDeviceInfo\*> Update() = 0;\$/    virtual void Prepare() {}\n&/|fail"
)
failures=0
for row in "${cases[@]}"; do
    IFS='|' read -r name file script expected <<<"$row"
    variant="$scratch/variant"
    rm -rf "$variant" && cp -r "$headers" "$variant"
    sed -i "$script" "$variant/$file"
    if [ -n "$script" ] && cmp -s "$headers/$file" "$variant/$file"; then
        echo "FAIL $name: the patch changed nothing in $file"; failures=$((failures + 1)); continue
    fi
    build_probe "$variant" "$scratch/variant.so"
    # A check that broke down (a missing tool, no debug information) is no
    # evidence of a noticed change.
    if "$here/../check_abi.sh" check "$scratch/baseline.abi" "$scratch/variant.so" >"$scratch/report" 2>&1; then
        outcome=pass
    elif grep -q "differs from" "$scratch/report"; then
        outcome=fail
    else
        outcome=error
    fi
    if [ "$outcome" = "$expected" ]; then
        echo "ok   $name: check ${outcome}ed"
    else
        echo "FAIL $name: check ${outcome}, expected $expected"; cat "$scratch/report"
        failures=$((failures + 1))
    fi
done
echo "$(( ${#cases[@]} - failures )) passed, $failures failed"
[ $failures -eq 0 ]
