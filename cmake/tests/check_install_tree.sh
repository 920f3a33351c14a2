#!/usr/bin/env bash
# check_install_tree.sh BUILD-DIR EXPECTED-LIST
# Installs the build into a scratch root under the /usr prefix and compares
# every file and link (type, mode, link target) with the expected list (where
# @PROJECT_VERSION@ stands for the build's version); then,
# where cpack and dpkg-deb are at hand, builds the Debian package and checks
# that it holds the same files and depends on the libraries the ELF files need.
set -euo pipefail
build="$1" listed="$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt"; exit 1; }
expected="$scratch/expected.txt"
sed "s/@PROJECT_VERSION@/$version/g" "$listed" >"$expected"

list_tree() {  # list_tree ROOT: one line per file or link, sorted
    (cd "$1" && { find . ! -type d ! -type l -printf '%y %m %P\n'; find . -type l -printf 'l %P -> %l\n'; } | sort)
}

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
status=0
if ! diff -u "$expected" <(list_tree "$scratch/root") >"$scratch/tree.diff"; then
    echo "the installed tree differs from $listed:"; cat "$scratch/tree.diff"; status=1
fi
# The host program must find the library through the link on the PATH.
[ -x "$scratch/root/usr/bin/updatehost" ] || { echo "usr/bin/updatehost does not lead to a program"; status=1; }

if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >"$scratch/cpack.log" 2>&1) ||
        { cat "$scratch/cpack.log"; exit 1; }
    deb=$(ls "$scratch"/deb/*.deb)
    mkdir "$scratch/unpacked"
    dpkg-deb -x "$deb" "$scratch/unpacked"
    if ! diff -u "$expected" <(list_tree "$scratch/unpacked") >"$scratch/deb.diff"; then
        echo "the Debian package's files differ from $listed:"; cat "$scratch/deb.diff"; status=1
    fi
    depends=$(dpkg-deb -f "$deb" Depends)
    packages=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
    for library in libc6 libstdc++6 libxml2; do
        grep -qxF "$library" <<<"$packages" || { echo "Depends lacks $library: $depends"; status=1; }
    done
fi
[ $status -eq 0 ] && echo "install tree ok: $(wc -l <"$expected") entries"
exit $status
