#!/usr/bin/env bash
# The single-setup lock cannot be taken first by another program, from a brand-new prefix: a
# program holds a mutex of the machine-wide name that setup programs used before
# (Global\ZIL_Setup_Running), as any user could make it; /I still installs (0); and while one
# setup waits in its dialog, a second one's /I still ends with 1618 (82 here). Setup takes that
# name only where the system gives no private namespace: there the squatter keeps every setup
# out, and this check fails, saying so, rather than pass by showing something else.
#   tests/wine/squat.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
holder="$WINE_BUILD/tests/wine/HoldMutex.exe"
wine_require "$setup" "$holder"
wine_new_prefix

echo "== does this system give a private namespace with an Administrators boundary?"
probe=$("$WINE" "$holder" --namespaces 2>&1 | tr -d '\r')
echo "     $probe"
if [ "$probe" != "private namespaces: yes" ]; then
    echo "FAIL this system gives no private namespace: setup falls back to the machine-wide name,"
    echo "     which anyone may take first; the lock's protection cannot be shown here"
    echo "     (tests/wine/KNOWN_DIFFERENCES.md)"
    failures=$((failures + 1))
fi

echo "== another program takes Global\\ZIL_Setup_Running first"
wine_start_holder holding "$holder" 'Global\ZIL_Setup_Running' 600
expect "the name is taken by the other program" "$(tr -d '\r' <"$held_out")" \
    'holding Global\ZIL_Setup_Running (made)'

echo "== ZIL_Setup.exe /I while it holds the name"
start=$(date +%s%N)
wine_run 240 "$setup" /I
wine_timing "/I beside the squatter" "$start"
expect "/I exits 0" "$status" 0
expect "the service runs" "$(wine_service_state)" '4 RUNNING'

echo "== a setup waits in its dialog; a second one's /I"
"$WINE" "$setup" >>"$WINE_CHECK_DIR/wine.out" 2>&1 &
first=$!
window=$(wine_find_window "ZIL Setup Program" 120 "$first")
expect "the first one's dialog appeared" "${window:+yes}" yes
wine_run 120 "$setup" /I
expect "the second one ends with 1618" "$status" 82
[ -n "$window" ] && wine_key "$window" Escape
wine_wait_for "$first" 20
expect "the first one closes with 1602" "$status" 66

wine_stop_holder
wine_verdict
