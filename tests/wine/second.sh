#!/usr/bin/env bash
# A second setup program started while one runs, from a brand-new prefix: while the first waits
# in its dialog, "/I" of a second ends at once with 1618 (82 here) and installs nothing; the
# first is still there to close.
#   tests/wine/second.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
wine_require "$setup"
wine_new_prefix

echo "== the first setup program, waiting in its dialog"
"$WINE" "$setup" >>"$WINE_CHECK_DIR/wine.out" 2>&1 &
first=$!
window=$(wine_find_window "ZIL Setup Program" 120)
expect "the first one's dialog appeared" "${window:+yes}" yes

echo "== the second, with /I"
start=$(date +%s%N)
wine_run 120 "$setup" /I
wine_timing "second setup's /I" "$start"
expect "the second one ends with 1618" "$status" 82
expect "it installed nothing" "$(test -e "$program_dir" && echo there || echo nothing)" nothing
expect "the first one still runs" "$(kill -0 "$first" 2>/dev/null && echo runs)" runs

[ -n "$window" ] && wine_key "$window" Escape
wine_wait_for "$first" 20
expect "the first one closes with 1602" "$status" 66

wine_verdict
