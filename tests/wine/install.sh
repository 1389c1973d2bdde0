#!/usr/bin/env bash
# The setup program with the sample payload, end to end under Wine: "/I" installs the product
# and starts its service through Wine's service control manager, "/U" removes everything. Checks
# the exit codes, the installed tree, the service's registration, the control codes the real
# service logged, and the log file; prints how long each run took on the real clock.
#   tests/wine/install.sh            (ZIL_WINE_BUILD=<Windows build dir> to pick a build)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Every Wine program of the run shares one virtual display: a Wine session's desktop keeps the
# display of the program that started the session, and windows fail once that display is gone.
if [ -z "${ZIL_INSTALL_DISPLAY:-}" ]; then
    export ZIL_INSTALL_DISPLAY=1
    exec timeout 900 xvfb-run -a bash "$0" "$@"
fi
source "$here/lib.sh"
wine_setup
build=${ZIL_WINE_BUILD:-$WINE_BUILD}
setup="$build/ZIL_Setup.exe"
payload="$build/samples/payload"
if [ ! -f "$setup" ] || [ ! -d "$payload" ]; then
    echo "install: $setup or $payload missing; build $build first"
    exit 1
fi

temp_dir="$drive_c/ZIL_Setup_temp"
service_key='HKLM\System\CurrentControlSet\Services\JovixZIL'


# Runs the setup program; sets `status` and `elapsed` (milliseconds).
run_setup() {
    local start
    start=$(date +%s%N)
    timeout "${WINE_TIMEOUT:-180}" "$WINE" "$setup" "$@" >/dev/null 2>&1
    status=$?
    elapsed=$((($(date +%s%N) - start) / 1000000))
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

# Wine ends its services when the last ordinary program of the session ends. So: wait for any
# earlier session to end, then hold one open with a program that waits on a pipe, so that the
# service installed by /I still runs when /U comes. Only the writer process holds the pipe's
# writing end, so ending it ends the waiting program.
timeout 120 wineserver -w 2>/dev/null
keeper_pipe=$(mktemp -u /tmp/zil-wine-keeper.XXXXXX)
mkfifo "$keeper_pipe"
timeout 900 "$WINE" cmd /c pause <"$keeper_pipe" >/dev/null 2>&1 &
keeper=$!
sleep 900 >"$keeper_pipe" &
writer=$!
end_session() {
    kill "$writer" 2>/dev/null
    wait "$keeper" 2>/dev/null
    rm -f "$keeper_pipe"
    timeout 120 wineserver -w 2>/dev/null
}
trap end_session EXIT

# A machine without the product: an earlier failed run may have left any part of it.
"$WINE" sc stop JovixZIL >/dev/null 2>&1
"$WINE" sc delete JovixZIL >/dev/null 2>&1
rm -rf "$program_dir" "$temp_dir" "$control_log"
find "$drive_c" -name ZIL_Setup.log -delete 2>/dev/null

echo "== ZIL_Setup.exe /I"
run_setup /I
expect "/I exits 0" "$status" 0
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
expect "service running" "$("$WINE" sc query JovixZIL 2>/dev/null | tr -d '\r' |
    awk '$1 == "STATE" { print $3, $4 }')" '4 RUNNING'
expect "codes the service received" "$(xargs <"$control_log" 2>/dev/null)" '137 133'
log=$(log_text)
expect "log file names the install and its exit code" \
    "$(head -1 <<<"$log" | grep -o 'install (command line).*exit code 0' | sed 's/, .*,/,/')" \
    'install (command line), exit code 0'
expect "log file holds the start" "$(grep -c -x 'Start Service Success !!!' <<<"$log")" 1

echo "== ZIL_Setup.exe /U"
: >"$control_log"
run_setup /U
expect "/U exits 0" "$status" 0
echo "     uninstall took $elapsed ms"
expect "service registration gone" "$(registration | grep -c ImagePath)" 0
# The three codes, then the stop request that ends the service.
expect "codes the service received" "$(xargs <"$control_log" 2>/dev/null)" '139 140 138 1'
expect "program directory gone" "$(test -e "$program_dir" && echo there || echo gone)" gone
expect "temporary directory gone" "$(test -e "$temp_dir" && echo there || echo gone)" gone
log=$(log_text)
expect "log file ends the uninstall" "$(tail -1 <<<"$log")" 'Unistall ZIL Success !!!'

[ "$failures" -eq 0 ]
