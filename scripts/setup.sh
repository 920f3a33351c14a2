#!/usr/bin/env bash
# Installs what building, testing and the demo need on a Debian 12 machine
# (run as root). Does nothing when everything is already there.
set -euo pipefail
packages=(g++ cmake make pkg-config binutils libxml2-dev libgtest-dev libgmock-dev libbenchmark-dev
          dosfstools mtools ipmitool clang clang-tidy clang-format shellcheck libclang-rt-14-dev valgrind)
missing=()
# Packaging, the exported-interface check and fleet staging.
packages+=(dpkg-dev abigail-tools ansible-core python3)
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
