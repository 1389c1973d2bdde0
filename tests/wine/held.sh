#!/usr/bin/env bash
# An upgrade while another program holds a file of the installation open without sharing it, run
# with /I over a working installation from a brand-new prefix: it ends with 1603 (67 here)
# before it changes anything, so the installed files and the running service are as they were;
# once the file is free, the same /I upgrades. Then an upgrade cut off once its old folder was set
# aside (the program's own upgrade steps, in a process that ends there): the next /I proves the
# record and the folder through Windows' own owner and identity, brings the folder back, and
# upgrades.
#   tests/wine/held.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
holder="$WINE_BUILD/tests/wine/HoldOpen.exe"
wine_require "$setup" "$holder"
wine_new_prefix

wine_hold_session
wine_working_installation "$setup"
before=$(wine_program_tree)

echo "== another program holds ZIL.ini open without sharing it"
wine_start_holder holding "$holder" 'C:\Program Files (x86)\ZIL\ZIL.ini' 600
expect "the file is held" "$(grep -c holding "$held_out")" 1

echo "== ZIL_Setup.exe /I while it is held"
wine_run 240 "$setup" /I
expect "/I ends with 1603" "$status" 67
expect "the installed files are untouched" "$(wine_program_tree)" "$before"
expect "the service still runs" "$(wine_service_state)" '4 RUNNING'
log=$(wine_setup_log)
expect "the log names the file held open" \
    "$(grep -c 'ZIL.ini: held open by another program' <<<"$log")" 1
expect "nothing is left set aside" \
    "$(ls "$drive_c/Program Files (x86)" | grep -c 'ZIL\.')" 0

echo "== the file is free again: /I upgrades"
wine_stop_holder
"$WINE" taskkill /f /im HoldOpen.exe >/dev/null 2>&1
wine_run 240 "$setup" /I
expect "/I exits 0" "$status" 0
expect "the service runs" "$(wine_service_state)" '4 RUNNING'

echo "== an upgrade cut off with the old folder set aside"
check="$WINE_BUILD/tests/wine/ServiceCheck.exe"
"$WINE" "$check" stop upgrade removeservice setaside >"$WINE_CHECK_DIR/cut.out" 2>&1
expect "the cut-off steps succeeded" "$(grep -c -- '-> 0 ' "$WINE_CHECK_DIR/cut.out")" 4
expect "the record and the set-aside folder are there" \
    "$(ls "$drive_c/Program Files (x86)" | grep 'ZIL\.' | xargs)" 'ZIL.previous ZIL.upgrade'
wine_run 240 "$setup" /I
expect "/I exits 0" "$status" 0
expect "the log says the upgrade was resumed" \
    "$(wine_setup_log | grep -c 'Restore Interrupted ZIL Upgrade Success !!!')" 1
expect "nothing is left set aside" "$(ls "$drive_c/Program Files (x86)" | grep -c 'ZIL\.')" 0
expect "the service runs" "$(wine_service_state)" '4 RUNNING'

wine_verdict
