#!/usr/bin/env bash
# The setup program with the sample payload, end to end under Wine: "/I" installs the product
# and starts its service through Wine's service control manager, "/U" removes everything. Checks
# the exit codes, the installed tree, the service's registration, the control codes the real
# service logged, and the log file; prints how long each run took on the real clock.
#   tests/wine/install.sh            (ZIL_WINE_BUILD=<Windows build dir> to pick a build)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_setup
build=${ZIL_WINE_BUILD:-$WINE_BUILD}
setup="$build/ZIL_Setup.exe"
payload="$build/samples/payload"
if [ ! -f "$setup" ] || [ ! -d "$payload" ]; then
    echo "install: $setup or $payload missing; build $build first"
    exit 1
fi

drive_c=$(wine_c_drive)
program_dir="$drive_c/Program Files (x86)/ZIL"
temp_dir="$drive_c/ZIL_Setup_temp"
control_log="$drive_c/ZIL_Service_controls.log"
service_key='HKLM\System\CurrentControlSet\Services\JovixZIL'
failures=0

expect() {  # what, got, wanted
    if [ "$2" == "$3" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1"
        echo "     got:    $2"
        echo "     wanted: $3"
        failures=$((failures + 1))
    fi
}

# Runs the setup program; prints its exit status and sets `elapsed` (milliseconds).
run_setup() {
    local start status
    start=$(date +%s%N)
    wine_run "$setup" "$@" >/dev/null 2>&1
    status=$?
    elapsed=$((($(date +%s%N) - start) / 1000000))
    echo "$status"
}

registration() {
    "$WINE" reg query "$service_key" 2>/dev/null | tr -d '\r'
}

# The newest ZIL_Setup.log in the prefix: Wine's temporary folder is the user's.
log_text() {
    local log
    log=$(find "$drive_c" -name ZIL_Setup.log -printf '%T@ %p\n' 2>/dev/null | sort -n | tail -1 |
        cut -d' ' -f2-)
    [ -n "$log" ] && tr -d '\r' <"$log"
}

# A machine without the product: an earlier failed run may have left any part of it.
"$WINE" sc stop JovixZIL >/dev/null 2>&1
"$WINE" sc delete JovixZIL >/dev/null 2>&1
rm -rf "$program_dir" "$temp_dir" "$control_log"
find "$drive_c" -name ZIL_Setup.log -delete 2>/dev/null

echo "== ZIL_Setup.exe /I"
expect "/I exits 0" "$(run_setup /I)" 0
echo "     install took $elapsed ms"
expected=$( (cd "$payload" && ls) | grep -v -x -e Close_ZIL.exe -e MOFINS.exe -e MOFUINS.exe \
    -e mofcomp.exe -e vcredist_x86.exe | grep -v '\.mof$' |
    sed -E 's/^(.*\.(bmp|ico))$/ICONs\/\1/' | sort | xargs)
actual=$(cd "$program_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | xargs)
expect "program directory holds the payload less the setup-only files" "$actual" "$expected"
expect "temporary directory gone" "$(test -e "$temp_dir" && echo there || echo gone)" gone
value() { registration | awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
expect "service image path, quoted" "$(value ImagePath)" \
    '"C:\Program Files (x86)\ZIL\ZIL_Service.exe"'
expect "service starts automatically" "$(value Start)" '0x2'
# The codes reach the service only while it runs: they show that it started.
expect "codes the service received" "$(tr '\n' ' ' <"$control_log" 2>/dev/null)" '137 133 '
log=$(log_text)
expect "log file names the install and its exit code" \
    "$(head -1 <<<"$log" | grep -o 'install (command line).*exit code 0' | sed 's/, .*,/,/')" \
    'install (command line), exit code 0'
expect "log file holds the start" "$(grep -c -x 'Start Service Success !!!' <<<"$log")" 1

echo "== ZIL_Setup.exe /U"
rm -f "$control_log"
expect "/U exits 0" "$(run_setup /U)" 0
echo "     uninstall took $elapsed ms"
expect "service registration gone" "$(registration | grep -c ImagePath)" 0
expect "program directory gone" "$(test -e "$program_dir" && echo there || echo gone)" gone
expect "temporary directory gone" "$(test -e "$temp_dir" && echo there || echo gone)" gone
log=$(log_text)
expect "log file ends the uninstall" "$(tail -1 <<<"$log")" 'Unistall ZIL Success !!!'

[ "$failures" -eq 0 ]
