#!/usr/bin/env bash
# stage_package_test.sh SOURCE-DIR UPDATEHOST LIBRARY SIMULATOR
# Runs the fleet playbook against localhost inside the simulated machine: the
# simulator is preloaded into updatehost alone (Ansible's own async wrapper
# would count its waits as the machine's). A healthy controller, where the
# host must come out changed; one without staging storage, where it must come
# out failed and stop the play; a host where an update runs (the test holds
# the update lock), which is skipped; an update killed mid-stage, whose
# failure says not to retry yet; a staging directory another user prepared,
# and a time limit below the bound of one update, both refused before
# anything is copied. Then the playbook's defaults: the time bound is
# updatehost's, and the staging directory lies where only root may write.
set -euo pipefail
# Absolute paths: the host runs in the package directory, and a preload the
# loader cannot find would let the update reach the real machine.
source_dir=$(realpath -e "$1") updatehost=$(realpath -e "$2") library=$(realpath -e "$3")
simulator=$(realpath -e "$4")
playbook="$source_dir/deploy/stage-package.yml"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ANSIBLE_LOCAL_TEMP="$scratch/ansible-local" ANSIBLE_REMOTE_TEMP="$scratch/ansible-remote" \
       ANSIBLE_ASYNC_DIR="$scratch/ansible-async" ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 \
       ANSIBLE_HOST_KEY_CHECKING=0 HOME="$scratch" LC_ALL=C.UTF-8

failures=0 cases=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

# The update's process id, once the scenario's pause holds it; then kills it.
kill_when_paused() {
    local paused=$1/paused
    for _ in $(seq 600); do
        if [ -s "$paused" ]; then
            kill -KILL "$(cat "$paused")"
            return
        fi
        sleep 0.1
    done
}

# name | scenario | setup | playbook status | recap | message the play prints
while IFS='|' read -r name scenario setup expected_status recap message; do
    cases=$((cases + 1))
    scenario_file="$source_dir/simulator/scenarios/$scenario.scn"
    package="$scratch/$name-package" staging="$scratch/$name-staging" sandbox="$scratch/$name-sandbox"
    bash "$source_dir/scripts/lay-out-package.sh" "$package" "$updatehost" "$library" \
        "$scenario_file" >/dev/null
    mkdir -p "$sandbox/run"
    extra=()
    case "$setup" in
        lock-held)
            exec {lock}>"$sandbox/run/vaduzivorirezoz.lock"
            flock -n "$lock"
            echo $$ >&"$lock" ;;
        kill-mid-stage)
            scenario_file="$scratch/$name.scn"
            echo "pause_before = ipmi SecureStageUpdateSHA" >"$scenario_file" ;;
        staging-prepared)
            mkdir -m 0755 "$staging"
            chown 65534:65534 "$staging" ;;
        short-limit)
            extra=(-e stage_timeout_seconds=3600) ;;
    esac
    wrapper=$(printf '["env", "LD_PRELOAD=%s", "SIMMACHINE_SCENARIO=%s", "SIMMACHINE_TRACE=%s", "SIMMACHINE_SANDBOX=%s"]' \
        "$simulator" "$scenario_file" "$scratch/$name-trace.jsonl" "$sandbox")
    ansible-playbook -i localhost, -c local -e ansible_python_interpreter=/usr/bin/python3 \
        -e package_dir="$package" -e remote_staging_dir="$staging" \
        -e stage_poll_seconds=1 -e "{\"updatehost_wrapper\": $wrapper}" "${extra[@]}" \
        "$playbook" >"$scratch/$name.log" 2>&1 &
    play=$!
    [ "$setup" = kill-mid-stage ] && kill_when_paused "$sandbox"
    status=0
    wait "$play" || status=$?
    message=${message//PID/$$} message=${message//STAGING/$staging}
    [ "$setup" = lock-held ] && exec {lock}>&-
    if [ "$status" != "$expected_status" ] || ! grep -Eq "localhost +: ok=.* $recap" "$scratch/$name.log" ||
       ! grep -qF "\"msg\": \"$message" "$scratch/$name.log"; then
        fail "$name: playbook status $status (expected $expected_status), recap not $recap or no message $message"
        cat "$scratch/$name.log"
    elif [ "$setup" = staging-prepared ] && [ -n "$(ls -A "$staging")" ]; then
        fail "$name: something was copied into the prepared directory"
    elif [ "$setup" = short-limit ] && [ -e "$staging" ]; then
        fail "$name: the staging directory was made although the limit was refused"
    elif [ -d "$staging" ] && [ "$(stat -c '%u %a' "$staging")" != "0 700" ] && [ "$setup" != staging-prepared ]; then
        fail "$name: the staging directory is not root's alone: $(stat -c '%u %a' "$staging")"
    else
        echo "ok   $name: $(grep -o '"msg": .*' "$scratch/$name.log" | tail -1)"
    fi
done <<'EOF'
healthy|healthy||0|changed=[0-9]+ .*failed=0|success, changed true, exit status 0
no-staging-storage|no-staging-storage||2|failed=1|update-failed, changed false, exit status 1; error 71 in environment
update-running|healthy|lock-held|0|failed=0|skipped: an update is already running here (process PID)
killed-mid-stage|healthy|kill-mid-stage|2|failed=1|the update was stopped before it ended
staging-directory-prepared-by-another-user|healthy|staging-prepared|2|failed=1|STAGING exists but is not root's own private directory (owner uid 65534, mode 0755)
short-time-limit|healthy|short-limit|2|failed=1|stage_timeout_seconds 3600 is shorter than the
EOF

# The defaults: the playbook's time bound and limit are updatehost's, stated
# in its header too, and the staging directory's parent is root's alone.
cases=$((cases + 1))
help=$("$updatehost" --help)
bound=$(sed -n 's/.*ends by itself within \([0-9]*\) s.*/\1/p' <<<"$help")
limit=$(sed -n 's/.* \([0-9]*\) s leaves room.*/\1/p' <<<"$help")
default_of() { sed -n "s/^    $1: \\(.*\\)$/\\1/p" "$playbook"; }
parent=$(dirname "$(default_of remote_staging_dir)")
if [ -z "$bound" ] || [ "$(default_of update_time_bound_seconds)" != "$bound" ] ||
   [ "$(default_of stage_timeout_seconds)" != "$limit" ] || ! grep -q "^#.*within $bound s\.$" "$playbook" ||
   ! grep -q "^#.*The default, $limit s" "$playbook"; then
    fail "defaults: the playbook's bound or limit is not updatehost's ($bound s, $limit s)"
elif [ "$(stat -c '%u %a' "$parent")" != "0 755" ] && [ "$(stat -c '%u %a' "$parent")" != "0 700" ]; then
    fail "defaults: $parent, the staging directory's parent, is not root's alone: $(stat -c '%u %a' "$parent")"
else
    echo "ok   defaults: limit $limit s over the bound of $bound s, staging below $parent"
fi
echo "$((cases - failures)) passed, $failures failed"
[ $failures -eq 0 ]
