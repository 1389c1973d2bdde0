#!/usr/bin/env bash
# A payload whose service says it is starting for 3 s (with a wait hint, as slow services do)
# before it runs, installed with /I from a brand-new prefix: the setup program waits for it
# instead of taking the pending state for a failure, so the install succeeds without the
# runtime installer's fallback, and /U removes it again.
#   tests/wine/slowstart.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup=$(wine_pack_service_variant ZIL_Service_slow.exe) || exit 1
wine_new_prefix
wine_hold_session

echo "== ZIL_Setup.exe /I with a service that takes 3 s to start"
start=$(date +%s%N)
wine_run 240 "$setup" /I
wine_timing "/I (service starts in 3 s)" "$start"
expect "/I exits 0" "$status" 0
expect "service running" "$(wine_service_state)" '4 RUNNING'
expect "the runtime installer did not run" \
    "$(test -e "$redist_log" && echo ran || echo 'not run')" 'not run'
log=$(wine_setup_log)
expect "log file holds the start" "$(grep -c -x 'Start Service Success !!!' <<<"$log")" 1
expect "log file holds no fallback" "$(grep -c 'Install Vcredist_x86' <<<"$log")" 0
# The codes after the start reach a service that runs.
expect "codes the service received" "$(xargs <"$control_log" 2>/dev/null)" '137 133'

echo "== ZIL_Setup.exe /U"
wine_run 240 "$setup" /U
expect "/U exits 0" "$status" 0
expect "program directory gone" "$(test -e "$program_dir" && echo there || echo gone)" gone

wine_verdict
