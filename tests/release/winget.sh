#!/usr/bin/env bash
# The winget manifests beside the release files: they parse as YAML, and what they say is what
# the program does. Their hash is the packed installer's, their exit codes the program's own,
# and the entry they tell winget to match (name, publisher, version) is the one the program
# writes: the host build of the same tree installs on a fresh simulated machine and its
# registry is read.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
win32=${1:-$root/build/win32}
host=${2:-$root/build/host}
for needed in "$win32/ZIL_Setup.exe" "$win32/winget" "$host/ZIL_Setup"; do
    if [ ! -e "$needed" ]; then
        echo "FAIL $needed is missing: run scripts/build.sh"
        exit 1
    fi
done
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
ZIL_MACHINE=$machine ZIL_CLOCK=virtual ZIL_UI=none "$host/ZIL_Setup" /I
status=$?
if [ "$status" -ne 0 ]; then
    echo "FAIL the host program's install ended $status"
    exit 1
fi
python3 "$root/tests/release/winget_check.py" "$win32/winget" "$win32/ZIL_Setup.exe" \
    "$machine/registry.txt" "$root/setup/SetupExitCode.h"
