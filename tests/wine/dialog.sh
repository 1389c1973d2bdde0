#!/usr/bin/env bash
# The Windows build's dialog under Wine on a virtual X display, from a brand-new prefix: started
# without an argument it comes up from template 102 (a screenshot goes to build/wine/), and Esc
# closes it with the exit code of a dialog closed without a sequence (1602, 66 here). Started
# with an argument that matches no mode it shows the usage box and ends with 1639 (103 here)
# once the box is answered; in a window station that nobody sees (a service's) it shows no box and
# ends with 1639 at once, the message on its standard error and in the log file. Prints the time
# to the first window.
#   tests/wine/dialog.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
wine_new_prefix
work=$WINE_CHECK_DIR
screenshot=$WINE_WORK_ROOT/dialog-$WINE_BUILD_NAME.png

mkdir -p "$work/payload"
printf 'ZIL readme\r\n' >"$work/payload/readme.txt"
wine_pack "$work/ZIL_Setup.exe" "$work/payload"

echo "== no argument: the dialog, closed with Esc"
start=$(date +%s%N)
"$WINE" "$work/ZIL_Setup.exe" >>"$work/wine.out" 2>&1 &
pid=$!
if window=$(wine_find_window "ZIL Setup Program" 120); then
    wine_timing first-window "$start"
    sleep 2  # the first paint
    xwininfo -root -tree >"$work/tree.txt"
    rm -f "$screenshot"
    import -window root "$screenshot"
    expect "a window named ZIL Setup Program" "$(grep -c '"ZIL Setup Program"' "$work/tree.txt")" 1
    colours=$(identify -format '%k' "$screenshot" 2>/dev/null)
    expect "the screenshot shows more than a blank screen" "$([ "${colours:-0}" -gt 4 ] && echo yes)" yes
    wine_key "$window" Escape
fi
expect "the dialog appeared" "${window:+yes}" yes
wine_wait_for "$pid" 20
expect "Esc ends the dialog with 1602" "$status" 66

echo "== an argument that matches no mode: the usage box"
wine_wait_idle
"$WINE" "$work/ZIL_Setup.exe" /X >>"$work/wine.out" 2>&1 &
pid=$!
# The message box's caption is the program's name without its extension.
if window=$(wine_find_window "ZIL_Setup" 120); then
    sleep 1
    wine_key "$window" Return
fi
expect "the usage box appeared" "${window:+yes}" yes
wine_wait_for "$pid" 20
expect "the answered box ends the run with 1639" "$status" 103
echo "== the same in a window station that nobody sees: no box, the message on stderr and in the log"
hidden="$WINE_BUILD/tests/wine/HiddenStation.exe"
wine_require "$hidden"
wine_wait_idle
# The program is started by a Windows program, so by its Windows name (Z: is the root).
setup_path="Z:${work//\//\\}\\ZIL_Setup.exe"
timeout 60 "$WINE" "$hidden" "$setup_path" /S >"$work/hidden.out" 2>&1
status=$?
out=$(tr -d '\r' <"$work/hidden.out")
echo "$out" | sed 's/^/     /'
expect "the station is not visible" "$(head -1 <<<"$out")" "visible 0"
# A box there would wait for ever: the timeout would end the run (124).
expect "the run ends with 1639 at once" "$status" 103
expect "the usage message goes to stderr" \
    "$(grep -c '^Please use /I or /i to Install , use /U or /u to Uninstall$' <<<"$out")" 1
expect "the log file carries the message before its details" \
    "$(wine_setup_log | grep -A1 '^Please use /I' | tail -1)" "Details:"
echo "     exe $(stat -c %s "$WINE_BUILD/zil-setup.exe") bytes"

wine_verdict
