#!/usr/bin/env bash
# A payload whose service says it is starting and never runs, installed with /I from a brand-new
# prefix: the setup program gives up within its bounded retries instead of hanging, runs the
# runtime redistributable once as the fallback, logs the fallback's lines and ends with 1603
# (67 here) without a box.
#   tests/wine/nostart.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup=$(wine_pack_service_variant ZIL_Service_never.exe) || exit 1
wine_new_prefix

echo "== ZIL_Setup.exe /I with a service that never starts"
start=$(date +%s%N)
# Two rounds of retries, each bounded by the 30 s that a starting service is given, and the
# steps around them: three minutes is a hang.
wine_run 180 "$setup" /I
wine_timing "/I (service never starts)" "$start"
expect "/I ends, with 1603" "$status" 67
expect "the runtime installer ran once" "$(grep -c ran "$redist_log" 2>/dev/null)" 1
expect "the service is still not running" "$(wine_service_state)" '2 START_PENDING'
log=$(wine_setup_log)
sed 's/^/     log: /' <<<"$log"
expect "log header names the failure" \
    "$(head -1 <<<"$log" | grep -o 'install (command line).*exit code 1603' | sed 's/, .*,/,/')" \
    'install (command line), exit code 1603'
expect "log holds the fallback to the runtime installer" \
    "$(grep -c -x 'Start Service Failed XXXXX Install Vcredist_x86 ' <<<"$log")" 1
expect "log holds the final failure" "$(grep -c -x 'Start ZIL Service Failed ' <<<"$log")" 1
expect "log holds no success" "$(grep -c 'Start Service Success' <<<"$log")" 0
expect "no box waits for a person" "$(xdotool search --name '^ZIL_Setup$' 2>/dev/null | wc -l)" 0

wine_verdict
