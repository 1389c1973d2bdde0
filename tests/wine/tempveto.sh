#!/usr/bin/env bash
# A C:\ZIL_Setup_temp that setup cannot clear, from a brand-new prefix over a working
# installation: another program holds a file in it open without sharing it. /U still removes
# the product (0), the held file stays, and the log says what became of the folder. (Wine takes
# every folder for the running account's, so this folder counts as setup's own here: that an
# ordinary user's is never scheduled for the restart is the simulated machine's to show.)
#   tests/wine/tempveto.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
holder="$WINE_BUILD/tests/wine/HoldOpen.exe"
wine_require "$setup" "$holder"
wine_new_prefix

wine_hold_session
wine_working_installation "$setup"

echo "== C:\\ZIL_Setup_temp with a file another program holds open"
mkdir -p "$drive_c/ZIL_Setup_temp"
echo "someone else's" >"$drive_c/ZIL_Setup_temp/theirs.txt"
wine_start_holder holding "$holder" 'C:\ZIL_Setup_temp\theirs.txt' 600
expect "the file is held" "$(grep -c holding "$held_out")" 1

echo "== ZIL_Setup.exe /U"
start=$(date +%s%N)
wine_run 240 "$setup" /U
wine_timing "/U with the temporary folder held" "$start"
# The held folder is moved aside for the restart to delete: done, and a restart completes it.
expect "/U ends with 3010 (194 here)" "$status" 194
expect "the service is gone" "$(wine_service_state)" ""
expect "the program folder is gone" "$(test -e "$program_dir" && echo there || echo gone)" gone
expect "the held file is still there" \
    "$(find "$drive_c" -maxdepth 2 -name theirs.txt -path '*ZIL_Setup_temp*' | wc -l)" 1
log=$(wine_setup_log)
echo "$log" | grep 'ZIL_Setup_temp' | sed 's/^/     log: /'
pending=$("$WINE" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
    /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' | grep -c ZIL_Setup_temp)
echo "     PendingFileRenameOperations lines naming ZIL_Setup_temp: $pending"

wine_stop_holder
"$WINE" taskkill /f /im HoldOpen.exe >/dev/null 2>&1
wine_verdict
