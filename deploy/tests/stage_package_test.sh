#!/usr/bin/env bash
# stage_package_test.sh SOURCE-DIR UPDATEHOST LIBRARY SIMULATOR
# Runs the fleet playbook against localhost inside the simulated machine: the
# simulator is preloaded into updatehost alone (Ansible's own async wrapper
# would count its waits as the machine's), once on a healthy controller, where
# the host must come out changed, and once on a controller without staging
# storage, where it must come out failed and stop the play.
set -euo pipefail
# Absolute paths: the host runs in the package directory, and a preload the
# loader cannot find would let the update reach the real machine.
source_dir=$(realpath -e "$1") updatehost=$(realpath -e "$2") library=$(realpath -e "$3")
simulator=$(realpath -e "$4")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ANSIBLE_LOCAL_TEMP="$scratch/ansible-local" ANSIBLE_REMOTE_TEMP="$scratch/ansible-remote" \
       ANSIBLE_ASYNC_DIR="$scratch/ansible-async" ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 \
       ANSIBLE_HOST_KEY_CHECKING=0 HOME="$scratch" LC_ALL=C.UTF-8

failures=0
# scenario | playbook status | recap | the host's report, read from updatehost's JSON
for row in "healthy|0|changed=2 .*failed=0|success, changed true, exit status 0" \
           "no-staging-storage|2|changed=1 .*failed=1|update-failed, changed false, exit status 1; error 71 in environment"; do
    IFS='|' read -r name expected_status recap report <<<"$row"
    scenario="$source_dir/simulator/scenarios/$name.scn"
    bash "$source_dir/scripts/lay-out-package.sh" "$scratch/$name" "$updatehost" "$library" \
        "$scenario" >/dev/null
    mkdir -p "$scratch/$name-sandbox"
    wrapper=$(printf '["env", "LD_PRELOAD=%s", "SIMMACHINE_SCENARIO=%s", "SIMMACHINE_TRACE=%s", "SIMMACHINE_SANDBOX=%s"]' \
        "$simulator" "$scenario" "$scratch/$name-trace.jsonl" "$scratch/$name-sandbox")
    status=0
    ansible-playbook -i localhost, -c local -e ansible_python_interpreter=/usr/bin/python3 \
        -e package_dir="$scratch/$name" -e remote_package_dir="$scratch/$name-staged" \
        -e stage_poll_seconds=1 -e "{\"updatehost_wrapper\": $wrapper}" \
        "$source_dir/deploy/stage-package.yml" >"$scratch/$name.log" 2>&1 || status=$?
    if [ "$status" != "$expected_status" ] || ! grep -Eq "localhost +: ok=.* $recap" "$scratch/$name.log" ||
       ! grep -qF "\"msg\": \"$report" "$scratch/$name.log"; then
        echo "FAIL $name: playbook status $status (expected $expected_status), recap not $recap or report not $report"
        cat "$scratch/$name.log"; failures=$((failures + 1))
    else
        echo "ok   $name: $(grep -o '"msg": .*' "$scratch/$name.log" | head -1)"
    fi
done
echo "$((2 - failures)) passed, $failures failed"
[ $failures -eq 0 ]
