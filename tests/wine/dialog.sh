#!/usr/bin/env bash
# The Windows build's dialog under Wine on a virtual X display: started without an argument it
# comes up from template 102 with both bars reading 0%, a screenshot goes to build/dialog.png,
# and Esc closes it with the exit code of a dialog closed without a sequence (1602, 66 here).
# Started with an argument that matches no mode it shows the usage box and ends with 1639
# (103 here) once the box is answered.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
wine_setup
HOST_BUILD=${ZIL_HOST_BUILD:-$ZIL_ROOT/build/host}
WINE_BUILD=${ZIL_WINE_BUILD:-$WINE_BUILD}
SCREENSHOT=${ZIL_SCREENSHOT:-$ZIL_ROOT/build/dialog.png}
work=$(mktemp -d /tmp/zil-dialog.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "dialog: $*" >&2
    exit 1
}

mkdir "$work/payload"
printf 'ZIL readme\r\n' >"$work/payload/readme.txt"
"$HOST_BUILD/sfxpack" create -o "$work/ZIL_Setup.exe" --stub "$WINE_BUILD/zil-setup.exe" \
    "$work/payload" >/dev/null || fail "cannot pack the setup program"

# Runs inside the virtual display: start the program, wait for its window, look, answer.
session() {
    local caption=$1 key=$2 shot=$3
    shift 3
    local start pid window=""
    start=$(date +%s%N)
    "$WINE" "$work/ZIL_Setup.exe" "$@" >"$work/wine.out" 2>&1 &
    pid=$!
    for _ in $(seq 1 900); do
        window=$(xdotool search --name "^$caption\$" 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -z "$window" ]; then
        kill "$pid" 2>/dev/null
        echo "no-window"
        return 1
    fi
    echo "startup-ms $((($(date +%s%N) - start) / 1000000))"
    sleep 2  # the first paint
    xwininfo -root -tree >"$work/tree-$key.txt"
    [ -n "$shot" ] && import -window root "$shot"
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus "$window"
    xdotool key --clearmodifiers "$key"
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        echo "did-not-close"
        return 1
    fi
    wait "$pid"
    echo "exit $?"
}
export WINE work

run_session() {
    WINE_TIMEOUT=${WINE_TIMEOUT:-240}
    wine_wait_idle
    # xvfb-run's shell drops exported functions: the function travels as text.
    timeout "$WINE_TIMEOUT" xvfb-run -a -s "-screen 0 1024x768x24" \
        bash -c "$(declare -f session); session \"\$@\"" _ "$@"
}

mkdir -p "$(dirname "$SCREENSHOT")"
rm -f "$SCREENSHOT"
interactive=$(run_session "ZIL Setup Program" Escape "$SCREENSHOT")
echo "$interactive" | sed 's/^/dialog: /'
grep -q '^startup-ms' <<<"$interactive" || fail "the dialog did not appear"
grep -q '"ZIL Setup Program"' "$work/tree-Escape.txt" || fail "no window named ZIL Setup Program"
[ -s "$SCREENSHOT" ] || fail "no screenshot"
colours=$(identify -format '%k' "$SCREENSHOT")
[ "$colours" -gt 4 ] || fail "the screenshot is blank ($colours colours)"
grep -q '^exit 66$' <<<"$interactive" || fail "Esc did not end the dialog with 1602"

# The message box's caption is the program's name without its extension.
usage=$(run_session "ZIL_Setup" Return "" /X)
echo "$usage" | sed 's/^/usage: /'
grep -q '^exit 103$' <<<"$usage" || fail "the usage box did not end the run with 1639"

echo "dialog: exe $(stat -c %s "$WINE_BUILD/zil-setup.exe") bytes"
exit 0
