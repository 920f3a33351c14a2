#!/bin/bash
# Runs inside the guest, on the host's userland: lays out the scenario's host
# package (scripts/lay-out-package.sh), brings the guest into the scenario's
# starting state, runs updatehost with the scenario's arguments, and prints
# the record, the guest's own evidence (modules, device links and mounts seen
# while it ran) and one line per check: the scenario's expect lines about the
# record and the output (scenario-outcome; the guest has no machine trace),
# what the run left behind, and the checks of SCENARIO's .expect file, if
# any (a shell fragment defining extra_checks, and run_updates when the
# scenario runs the host otherwise than once: it calls run_update for the
# run that is judged).
#
# Of the scenario's machine keys the guest honours `module NAME = loadable`
# for the IPMI modules: such a module is not loaded at the start (all three
# are otherwise). The controller's keys reach simbmc.
#
#   guest-scenario.sh SCENARIO-FILE BUILD-DIR REPOSITORY
set -u
scenario=$1 build=$2 repository=$3
package=/tmp/vmtest-package output=/tmp/vmtest-output
rm -rf "$package"
if ! layout=$(bash "$repository/scripts/lay-out-package.sh" "$package" "$build/host/updatehost" \
    "$build/library/$(cat "$build/library/shipped-name.txt")" "$scenario"); then
    echo "vmtest-check FAILED: laying out the package"
    echo "vmtest-result: FAIL (1)"
    exit 1
fi
read -r -a arguments <<<"$layout"

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
    local rule
    for rule in /etc/udev/rules.d/* /lib/udev/rules.d/* /run/udev/rules.d/*; do
        case ${rule,,} in *secupd*) echo "$rule" ;; esac
    done
}
# What the library makes while it runs and removes before it returns: samples
# the loaded modules, the /dev/secostupd-* links and the vfat mounts, with
# shell builtins only so that a short mount is not missed between samples.
watch_guest() {
    local seen="" line device directory type rest link module loaded watched
    watched=" ipmi_msghandler ipmi_devintf ipmi_si usb_storage "
    while :; do
        loaded=""
        while read -r module rest; do
            case $watched in
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

for module in ipmi_msghandler ipmi_devintf ipmi_si; do
    grep -Eq "^module[[:blank:]]+${module}[[:blank:]]*=[[:blank:]]*loadable[[:blank:]]*$" "$scenario" ||
        modprobe "$module"
done
expect_file=${scenario%.scn}.expect
# shellcheck source=/dev/null # the scenario's own checks
[ -f "$expect_file" ] && . "$expect_file"

# The kernel's messages about the disk since line $1 of its log.
kernel_evidence() {
    dmesg | awk -v since="$1" 'NR > since' | grep -E 'usb-storage|\] sd|sd [0-9]|\[sd[a-z]+\]|FAT-fs' |
        sed 's/^/vmtest-evidence: kernel: /'
}
# The run judged: updatehost with the scenario's arguments, the guest watched
# meanwhile; sets status.
run_update() {
    local dmesg_lines watcher started finished
    dmesg_lines=$(dmesg | wc -l)
    watch_guest &
    watcher=$!
    started=$(date +%s%N)
    (cd "$package" && ./updatehost "${arguments[@]}" >"$output" 2>/tmp/vmtest-errors)
    status=$?
    finished=$(date +%s%N)
    kill "$watcher"
    wait "$watcher" 2>/dev/null
    kernel_evidence "$dmesg_lines"
    sed 's/^/vmtest-record: /' "$output" /tmp/vmtest-errors
    evidence "updatehost ${arguments[*]} took $(((finished - started) / 1000000)) ms, exit status $status"
}

modules_before=$(modules_loaded)
evidence "modules before: ${modules_before:-none}"
status=1
if [ "$(type -t run_updates)" = function ]; then
    run_updates
else
    run_update
fi

evidence "modules after: $(modules_loaded)"
if unmet=$("$build/library/scenario-outcome" --check --exit-status "$status" "$scenario" "$output" 2>&1); then
    check "the scenario's expect lines about the record and the output" true
else
    while IFS= read -r problem; do
        check "$problem" false
    done <<<"$unmet"
fi
check "nothing mounted" "! awk '\$3 == \"vfat\"' /proc/mounts | grep -q ."
check "no /dev/secostupd-* link" "! ls /dev/secostupd-* >/dev/null 2>&1"
check "staging rules removed" "[ -z \"\$(staging_rules)\" ]"
check "modules as before (${modules_before:-none})" "[ \"\$(modules_loaded)\" = \"\$modules_before\" ]"
[ "$(type -t extra_checks)" = function ] && extra_checks
[ "$failures" = 0 ] && echo "vmtest-result: pass" || echo "vmtest-result: FAIL ($failures)"
