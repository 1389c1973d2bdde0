#!/usr/bin/env bash
# The setup program as a deployment tool runs it, on a fresh simulated machine: /I installs the
# sample payload and starts the service, /U removes everything again.
#   done_check.sh [path of ZIL_Setup]
set -uo pipefail

setup=${1:-$(dirname "$0")/../../build/host/ZIL_Setup}
machine=$(mktemp -d /tmp/zil-done.XXXXXX)
trap 'rm -rf "$machine"' EXIT
export ZIL_MACHINE=$machine ZIL_CLOCK=virtual ZIL_UI=none
unset ZIL_INPUT

failures=0
check() {  # description, command...
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

program="$machine/C/Program Files (x86)/ZIL"
# A fresh 64-bit Windows: the folder for 32-bit programs and the temporary folder exist.
mkdir -p "$machine/C/Program Files (x86)" "$machine/C/Windows/Temp"
payload=$(mktemp -d /tmp/zil-payload.XXXXXX)
trap 'rm -rf "$machine" "$payload"' EXIT
"$(dirname "$setup")/sfxpack" extract "$setup" "$payload" >/dev/null || {
    echo "FAIL cannot list the payload of $setup"
    exit 1
}

"$setup" /I
check "/I exits 0" test $? -eq 0

# The program directory holds the payload less setup's own files, the images in ICONs, and the
# setup program kept to uninstall with.
expected=$( ( (cd "$payload" && ls) | grep -v -x -e Close_ZIL.exe -e MOFINS.exe -e MOFUINS.exe \
    -e mofcomp.exe -e vcredist_x86.exe | grep -v '\.mof$' |
    sed -E 's/^(.*\.(bmp|ico))$/ICONs\/\1/'; echo ZIL_Setup.exe) | sort)
actual=$(cd "$program" && find . -type f | sed 's|^\./||' | sort)
check "program directory holds the payload less the setup-only files" test "$expected" = "$actual"
images=$(cd "$payload" && ls | grep -c -E '\.(bmp|ico)$')
check "ICONs holds all $images images" test "$(ls "$program/ICONs" | wc -l)" -eq "$images"

services=$machine/services.txt
check "service JovixZIL registered" grep -q -x 'service JovixZIL' "$services"
check "image path quoted" grep -q -x -F 'image "C:\Program Files (x86)\ZIL\ZIL_Service.exe"' "$services"
check "automatic start" grep -q -x 'start-type 2' "$services"
check "running" grep -q -E '^(state 4|pending 4 )' "$services"
codes=$(grep -o 'JovixZIL control 1[0-9][0-9] -> 0' "$machine/journal.log" | awk '{print $3}' | xargs)
check "service received 137 then 133 (got: $codes)" test "$codes" = "137 133"
check "C:\\ZIL_Setup_temp gone" test ! -e "$machine/C/ZIL_Setup_temp"
log="$machine/C/Windows/Temp/ZIL_Setup.log"
check "log file holds the run log" grep -q 'Start Service Success !!!' "$log"

: >"$machine/journal.log"
"$setup" /U
check "/U exits 0" test $? -eq 0
check "service gone" bash -c "! grep -q 'service JovixZIL' '$services'"
check "program directory gone" test ! -e "$program"
check "temporary directory gone" test ! -e "$machine/C/ZIL_Setup_temp"
codes=$(grep -o 'JovixZIL control 1[0-9][0-9] -> 0' "$machine/journal.log" | awk '{print $3}' | xargs)
check "service received 139, 140, 138 (got: $codes)" test "$codes" = "139 140 138"
check "log file holds the uninstall's run log" grep -q 'Unistall ZIL Success !!!' "$log"

[ "$failures" -eq 0 ]
