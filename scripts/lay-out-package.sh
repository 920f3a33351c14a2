#!/usr/bin/env bash
# lay-out-package.sh DIR UPDATEHOST LIBRARY SCENARIO-FILE
# Lays out a host package in DIR the way the host program finds it: the
# package skeleton, the host program and the library (under its own file
# name) side by side, then the scenario's package.* changes in file order.
# Prints the host program's arguments: the scenario's host.arguments, else
# --json. The demo, the end-to-end tests and the VM runner all lay out their
# packages here. The keys (see simulator/README.md, "Package and host"):
#
#   package.remove = PATH          removes a file or directory
#   package.empty = DIR            empties a directory
#   package.dir = PATH             makes a directory (and its parents)
#   package.file PATH = TEXT       writes a file (TEXT gets a line feed)
#   package.file PATH <<END        writes a file of the lines up to END
#   package.link PATH = TARGET     makes a symbolic link to TARGET
#   package.fifo = PATH            makes a named pipe
#   package.socket = PATH          makes a socket (bound, nobody listening)
#   host.arguments = WORDS         the host program's arguments
#   host.vm = yes                  the VM runner runs the scenario too (read there)
#
# PATHs are relative to DIR and stay inside it: no absolute path, no "..",
# and nothing is made or written through a link.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$1" host="$2" library="$3" scenario="$4"
mkdir -p "$dir"
cp -r "$root/package/." "$dir/"
cp "$host" "$dir/updatehost"
cp "$library" "$dir/$(basename "$library")"
dir=$(realpath "$dir")

line_number=0
fail() {
    echo "scenario $scenario:$line_number: $*" >&2
    exit 1
}

# The package's own path of a scenario PATH; refuses one that leaves it.
inside() {
    local path=$1 parent
    case "/$path/" in
        //) fail "missing path" ;;
        //*) fail "path must be relative to the package: '$path'" ;;
        */../* | */./*) fail "path must stay inside the package: '$path'" ;;
    esac
    parent=$(realpath -m "$dir/$(dirname "$path")")
    case "$parent/" in
        "$dir"/*) ;;
        *) fail "path leads out of the package through a link: '$path'" ;;
    esac
    echo "$dir/$path"
}

# apply NAME PATH VALUE: one package.NAME line (PATH empty for the
# package.NAME = VALUE form).
apply() {
    local name=$1 path=$2 value=$3 target
    case $name in
        remove | empty | dir | fifo | socket)
            [ -z "$path" ] || fail "expected 'package.$name = PATH'"
            target=$(inside "$value") ;;
        file | link)
            [ -n "$path" ] || fail "expected 'package.$name PATH = ...'"
            target=$(inside "$path") ;;
        *) fail "unknown key 'package.$name'" ;;
    esac
    case $name in
        remove) rm -rf -- "$target" ;;
        empty)
            if [ ! -d "$target" ] || [ -L "$target" ]; then fail "not a directory: '$value'"; fi
            find "$target" -mindepth 1 -delete ;;
        dir) mkdir -p -- "$target" ;;
        file) rm -f -- "$target" && printf '%s' "$value" >"$target" ;;
        link) ln -sfn -- "$value" "$target" ;;
        fifo) rm -f -- "$target" && mkfifo -- "$target" ;;
        socket)
            rm -f -- "$target"
            # perl is part of every Debian system; the bound name stays when it exits.
            perl -MIO::Socket::UNIX -e 'IO::Socket::UNIX->new(Local => $ARGV[0]) or die "$!\n"' \
                -- "$target" || fail "cannot make a socket: '$value'" ;;
    esac
}

trim() {
    local text=$1
    text=${text#"${text%%[![:blank:]]*}"}
    printf '%s' "${text%"${text##*[![:blank:]]}"}"
}

arguments=--json
terminator="" here_name="" here_path="" here_text=""
while IFS= read -r line || [ -n "$line" ]; do
    line_number=$((line_number + 1))
    line=${line%$'\r'}
    if [ -n "$terminator" ]; then
        if [ "$(trim "$line")" = "$terminator" ]; then
            [ -z "$here_name" ] || apply "$here_name" "$here_path" "$here_text"
            terminator=""
        else
            here_text+="$line"$'\n'
        fi
        continue
    fi
    line=$(trim "$line")
    # A here-document; the machine's own (file) is passed over whole.
    if [[ $line =~ ^(package\.([^[:blank:]=]+)|file)[[:blank:]]+([^[:blank:]]+)[[:blank:]]*\<\<[[:blank:]]*([^[:blank:]]+)$ ]]; then
        terminator=${BASH_REMATCH[4]} here_name=${BASH_REMATCH[2]} here_path=${BASH_REMATCH[3]}
        here_text="" here_start=$line_number
        continue
    fi
    [[ $line =~ ^(package|host)\. ]] || continue
    [[ $line == *=* ]] || fail "expected 'KEY = VALUE', got '$line'"
    read -r -a key <<<"${line%%=*}"
    value=$(trim "${line#*=}")
    case ${key[0]} in
        host.arguments) arguments=$value ;;
        host.vm) [ "$value" = yes ] || fail "'host.vm' must be yes, not '$value'" ;;
        host.*) fail "unknown key '${key[0]}'" ;;
        package.*)
            [ ${#key[@]} -le 2 ] || fail "expected 'package.NAME [PATH] = VALUE'"
            [ "${key[0]#package.}" = file ] && value+=$'\n'
            apply "${key[0]#package.}" "${key[1]:-}" "$value" ;;
    esac
done <"$scenario"
[ -z "$terminator" ] || { line_number=$here_start; fail "here-document is not closed by $terminator"; }
echo "$arguments"
