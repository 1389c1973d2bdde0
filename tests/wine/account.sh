#!/usr/bin/env bash
# A JovixZIL that an administrator set to log on as NT AUTHORITY\LocalService keeps that account
# through a failed upgrade, from a brand-new prefix. Over the working installation, with the
# service set to LocalService and another program holding a handle to it, /I removes the old
# registration, which Windows then only marks for deletion, so the new service cannot be
# registered (1072) and neither can the old one again: the run ends with 1603 (67 here), the
# installed files as they were, and the record names the registration. Once the other program
# lets go, what the next run does first (the resume of that record, and the restore of a run that
# fails after it, through the program's own steps) registers the service again under
# LocalService with its image and start type, and starts it; the next /I then upgrades.
#   tests/wine/account.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
config="$WINE_BUILD/tests/wine/ServiceConfig.exe"
check="$WINE_BUILD/tests/wine/ServiceCheck.exe"
wine_require "$setup" "$config" "$check"

wine_new_prefix

# The registration as the service control manager reports it, one field a line.
registration() {
    "$WINE" "$config" JovixZIL show 2>/dev/null | tr -d '\r'
}

wine_hold_session
wine_working_installation "$setup"

echo "== the service set to log on as NT AUTHORITY\\LocalService"
expect "the account is set" "$("$WINE" "$config" JovixZIL account 'NT AUTHORITY\LocalService' |
    tr -d '\r')" "account set"
before=$(registration)
sed 's/^/     before: /' <<<"$before"
expect "it logs on as LocalService" "$(grep '^account ' <<<"$before")" \
    'account NT AUTHORITY\LocalService'
expect "it runs" "$(grep '^state ' <<<"$before")" 'state 4'
tree=$(wine_program_tree)

echo "== another program holds a handle to the service"
wine_start_holder 'hold -> ' "$check" hold sleep:600000
expect "the service is held" "$(grep -c 'hold -> 0 ' "$held_out")" 1

echo "== ZIL_Setup.exe /I while it is held"
start=$(date +%s%N)
wine_run 300 "$setup" /I
wine_timing "/I (the old service held open)" "$start"
expect "/I ends with 1603" "$status" 67
log=$(wine_setup_log)
sed 's/^/     log: /' <<<"$log"
expect "the old registration was removed" \
    "$(grep -c '^ *[0-9]*  Delete ZIL Service: ok$' <<<"$log")" 1
expect "the new service could not be registered" \
    "$(grep -c -x 'Create ZIL Service Failed, error 1072 !!!' <<<"$log")" 1
expect "the log names the registration not given back" \
    "$(grep -c -x 'JovixZIL registration: not given back, error 1072 !!!' <<<"$log")" 1
expect "the installed files are as they were" "$(wine_program_tree)" "$tree"
expect "the record stays for the next run" \
    "$(ls "$drive_c/Program Files (x86)" | grep 'ZIL\.' | xargs)" 'ZIL.upgrade'

echo "== the other program lets go; the next run's resume, and its restore"
wine_stop_holder
"$WINE" taskkill /f /im ServiceCheck.exe >/dev/null 2>&1
"$WINE" "$check" resume giveback >"$WINE_CHECK_DIR/resume.out" 2>&1
sed 's/^/     /' "$WINE_CHECK_DIR/resume.out"
expect "the resume and the restore succeeded" "$(grep -c -E '^(resume|giveback) -> 0 ' \
    "$WINE_CHECK_DIR/resume.out")" 2
after=$(registration)
sed 's/^/     after:  /' <<<"$after"
expect "registered again with its image, start type and account" \
    "$(grep -v '^state ' <<<"$after")" "$(grep -v '^state ' <<<"$before")"
expect "it runs again" "$(grep '^state ' <<<"$after")" 'state 4'

echo "== ZIL_Setup.exe /I: the upgrade, now that nothing holds the service"
wine_run 300 "$setup" /I
expect "/I exits 0" "$status" 0
expect "the service runs" "$(wine_service_state)" '4 RUNNING'
expect "nothing is left beside the program folder" \
    "$(ls "$drive_c/Program Files (x86)" | grep -c 'ZIL\.')" 0

wine_verdict
