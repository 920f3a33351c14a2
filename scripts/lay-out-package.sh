#!/usr/bin/env bash
# lay-out-package.sh DIR UPDATEHOST LIBRARY SCENARIO-FILE
# Lays out a host package in DIR the way the host program finds it: the
# package skeleton, the host program and the library side by side. A few
# scenarios need another package than the sample one; they get it here, so
# that the demo and the end-to-end tests run them alike. Prints the host
# program's extra arguments for the scenario (none for most).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$1" host="$2" library="$3" scenario="$4"
mkdir -p "$dir"
cp -r "$root/package/." "$dir/"
cp "$host" "$dir/updatehost"
cp "$library" "$dir/vaduzivorirezoz.so.20.06.00"
case "$(basename "$scenario")" in
    gpg.scn)
        # The controller's GPG method wants the descriptor's detached signature.
        echo "-----BEGIN PGP SIGNATURE-----" >"$dir/package.xml.sign" ;;
    package-without-descriptor.scn)
        rm "$dir/package.xml" ;;
    package-without-error-codes.scn)
        rm "$dir/ErrorCodes.xml" ;;
    package-empty-payload.scn)
        find "$dir/payload" -mindepth 1 -delete ;;
    package-pci-device.scn)
        sed -i 's|^\( *\)</Device>|\1  <PCIInfo deviceID="0534" vendorID="1028" subDeviceID="0000" subVendorID="1028"/>\n\1</Device>|' \
            "$dir/package.xml" ;;
    debug-log.scn)
        mkdir "$dir/vekdebuglog" ;;
    two-updates.scn | two-updates-first-refused.scn)
        echo "--updates 2" ;;
esac
