#!/bin/bash
# Runs inside the guest, on the host's userland: lays out a host package,
# brings the guest into the scenario's starting state, runs updatehost, and
# prints the record, the guest's own evidence (modules, device links and
# mounts seen while it ran) and one line per check of what it left behind.
#
#   guest-scenario.sh NAME BUILD-DIR REPOSITORY
set -u
name=$1 build=$2 repository=$3
package=/tmp/vmtest-package
rm -rf "$package"
mkdir -p "$package"
cp -r "$repository/package/." "$package/"
cp "$build/host/updatehost" "$build/library/vaduzivorirezoz.so.20.06.00" "$package/"

failures=0
check() {
    if eval "$2"; then
        echo "vmtest-check ok: $1"
    else
        echo "vmtest-check FAILED: $1"
        failures=$((failures + 1))
    fi
}
evidence() { echo "vmtest-evidence: $*" | tee -a /tmp/vmtest-evidence; }
modules_loaded() {
    local module
    for module in ipmi_msghandler ipmi_devintf ipmi_si usb_storage; do
        grep -q "^$module " /proc/modules && printf '%s ' "$module"
    done
    return 0
}
staging_rules() {
    ls /etc/udev/rules.d /lib/udev/rules.d /run/udev/rules.d 2>/dev/null | grep -i secupd
}
# What the library makes while it runs and removes before it returns: samples
# the loaded modules, the /dev/secostupd-* links and the vfat mounts, with
# shell builtins only so that a short mount is not missed between samples.
watch_guest() {
    local seen="" line device directory type rest link module loaded
    while :; do
        loaded=""
        while read -r module rest; do
            case " ipmi_msghandler ipmi_devintf ipmi_si usb_storage " in
                *" $module "*) loaded="$loaded$module " ;;
            esac
        done </proc/modules
        lines=("modules: $loaded")
        for link in /dev/secostupd-*; do
            [ -L "$link" ] && lines+=("link: $link -> $(readlink "$link")")
        done
        while read -r device directory type rest; do
            [ "$type" = vfat ] && lines+=("mount: $device on $directory ($rest)")
        done </proc/mounts
        for line in "${lines[@]}"; do
            case $seen in *"|$line|"*) ;; *) seen="$seen|$line|"; evidence "while running: $line" ;; esac
        done
        sleep 0.02
    done
}

arguments=(--json)
expected_status=0
expected_text='"'
case $name in
    passthrough)
        modprobe -a ipmi_msghandler ipmi_devintf ipmi_si
        arguments=(ipmi OrinStatus) expected_text="completion code: 0x00" ;;
    modules-not-loaded)
        arguments=(ipmi OstrelCapability) expected_text="completion code: 0x00" ;;
    *)
        modprobe -a ipmi_msghandler ipmi_devintf ipmi_si ;;
esac
[ -f "$repository/vmtest/scenarios/$name.expect" ] && . "$repository/vmtest/scenarios/$name.expect"

modules_before=$(modules_loaded)
evidence "modules before: ${modules_before:-none}"
dmesg_lines=$(dmesg | wc -l)
watch_guest &
watcher=$!
cd "$package"
started=$(date +%s%N)
output=$(./updatehost "${arguments[@]}" 2>&1)
status=$?
finished=$(date +%s%N)
kill "$watcher"
wait "$watcher" 2>/dev/null
dmesg | awk -v since="$dmesg_lines" 'NR > since' | grep -E 'usb-storage|\] sd|sd [0-9]|\[sd[a-z]+\]|FAT-fs' |
    sed 's/^/vmtest-evidence: kernel: /'
echo "$output" | sed 's/^/vmtest-record: /'
evidence "updatehost ${arguments[*]} took $(((finished - started) / 1000000)) ms, exit status $status"

evidence "modules after: $(modules_loaded)"
check "exit status $expected_status" '[ "$status" = "$expected_status" ]'
check "record shows $expected_text" 'grep -qF -- "$expected_text" <<<"$output"'
check "nothing mounted" '! awk "\$3 == \"vfat\"" /proc/mounts | grep -q .'
check "no /dev/secostupd-* link" '! ls /dev/secostupd-* >/dev/null 2>&1'
check "staging rules removed" '[ -z "$(staging_rules)" ]'
check "modules as before (${modules_before:-none})" '[ "$(modules_loaded)" = "$modules_before" ]'
[ "$(type -t extra_checks)" = function ] && extra_checks
[ "$failures" = 0 ] && echo "vmtest-result: pass" || echo "vmtest-result: FAIL ($failures)"
