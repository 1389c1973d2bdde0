#!/usr/bin/env bash
# The setup program with the sample payload, end to end under Wine from a brand-new prefix: "/I"
# installs the product and starts its service through Wine's service control manager, "/U"
# removes everything. Checks the exit codes, the installed tree, the service's registration,
# the control codes the real service logged, and the log file; prints how long each run took.
#   tests/wine/install.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
payload="$WINE_BUILD/samples/payload"
[ -f "$setup" ] && [ -d "$payload" ] || wine_die "$setup or $payload missing; build it first"
wine_new_prefix

temp_dir="$drive_c/ZIL_Setup_temp"
service_key='HKLM\System\CurrentControlSet\Services\JovixZIL'
registration() {
    "$WINE" reg query "$service_key" 2>/dev/null | tr -d '\r'
}
value() { registration | awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }

# The service installed by /I must still run when /U comes.
wine_hold_session

echo "== ZIL_Setup.exe /I"
start=$(date +%s%N)
wine_run 240 "$setup" /I
wine_timing /I "$start"
expect "/I exits 0" "$status" 0
expected=$( (cd "$payload" && ls) | grep -v -x -e Close_ZIL.exe -e MOFINS.exe -e MOFUINS.exe \
    -e mofcomp.exe -e vcredist_x86.exe | grep -v '\.mof$' |
    sed -E 's/^(.*\.(bmp|ico))$/ICONs\/\1/' | sort | xargs)
actual=$(cd "$program_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | xargs)
expect "program directory holds the payload less the setup-only files" "$actual" "$expected"
expect "temporary directory gone" "$(test -e "$temp_dir" && echo there || echo gone)" gone
expect "service image path, quoted" "$(value ImagePath)" \
    '"C:\Program Files (x86)\ZIL\ZIL_Service.exe"'
expect "service starts automatically" "$(value Start)" '0x2'
expect "service running" "$(wine_service_state)" '4 RUNNING'
expect "codes the service received" "$(xargs <"$control_log" 2>/dev/null)" '137 133'
expect "the runtime installer did not run for a service that started" \
    "$(test -e "$redist_log" && echo ran || echo 'not run')" 'not run'
log=$(wine_setup_log)
expect "log file names the install and its exit code" \
    "$(head -1 <<<"$log" | grep -o 'install (command line).*exit code 0' | sed 's/, .*,/,/')" \
    'install (command line), exit code 0'
expect "log file holds the start" "$(grep -c -x 'Start Service Success !!!' <<<"$log")" 1

echo "== ZIL_Setup.exe /U"
: >"$control_log"
start=$(date +%s%N)
wine_run 240 "$setup" /U
wine_timing /U "$start"
expect "/U exits 0" "$status" 0
expect "service registration gone" "$(registration | grep -c ImagePath)" 0
# The three codes, then the stop request that ends the service.
expect "codes the service received" "$(xargs <"$control_log" 2>/dev/null)" '139 140 138 1'
expect "program directory gone" "$(test -e "$program_dir" && echo there || echo gone)" gone
expect "temporary directory gone" "$(test -e "$temp_dir" && echo there || echo gone)" gone
log=$(wine_setup_log)
expect "log file holds the uninstall's success" "$(grep -c -x 'Unistall ZIL Success !!!' <<<"$log")" 1
expect "log file ends with the outcome" "$(tail -1 <<<"$log")" \
    'Result: uninstall succeeded (exit code 0)'

wine_verdict
