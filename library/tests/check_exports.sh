#!/usr/bin/env bash
# Checks the library's dynamic symbol table: the three entry points under the
# names the host resolves, the device record's members, and nothing else; and
# the file name the host loads.
#
#   check_exports.sh LIBRARY EXPECTED-FILE-NAME
set -euo pipefail
library="$1" name="$2"
[ "$(basename "$library")" = "$name" ] || { echo "unexpected file name: $library, not $name"; exit 1; }
symbols=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
status=0
for required in GetDeviceExecutionUpdateMethod ProcessIPMICommandRequest _Z19InitializeKORLoggerv \
                _ZN11CDeviceInfoC1Ev _ZN11CDeviceInfo9getStatusEv _ZN11CDeviceInfo11getErrorMsgB5cxx11Ev; do
    grep -qx "$required" <<<"$symbols" || { echo "missing export: $required"; status=1; }
done
unexpected=$(grep -v -x -E 'GetDeviceExecutionUpdateMethod|ProcessIPMICommandRequest|_Z19InitializeKORLoggerv|_ZN(K)?11CDeviceInfo.*' <<<"$symbols" || true)
if [ -n "$unexpected" ]; then
    echo "symbols that must not be exported:"; echo "$unexpected"; status=1
fi
[ $status -eq 0 ] && echo "exports ok: $(wc -l <<<"$symbols") symbols"
exit $status
