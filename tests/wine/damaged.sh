#!/usr/bin/env bash
# A copy of the setup program with one byte flipped inside a stream, run with /I over a working
# installation from a brand-new prefix, with a folder planted where setup once kept the old
# installation during an upgrade: it ends with 1620 (84 here) before it removes anything, so the
# installed files and the running service are as they were, and nothing planted was taken for
# an upgrade to bring back. Then a folder planted where an upgrade now sets the old folder aside:
# /I and /U work and leave it alone.
#   tests/wine/damaged.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
wine_require "$setup"
wine_new_prefix

# The stream of the first entry, which the setup program extracts last: a byte in its middle.
damaged=$WINE_CHECK_DIR/ZIL_Setup.exe
cp "$setup" "$damaged"
read -r offset packed name < <("$ZIL_ROOT/build/host/sfxpack" list "$setup" | awk -F'\t' 'NR == 1 { print $2, $4, $5 }')
[ -n "${packed:-}" ] && [ "$packed" -gt 2 ] || wine_die "cannot read the archive's first entry"
at=$((offset + packed / 2))
old=$(od -An -tu1 -j "$at" -N1 "$damaged" | tr -d ' ')
printf "$(printf '\\%03o' $((old ^ 0xff)))" | dd of="$damaged" bs=1 seek="$at" conv=notrunc status=none
echo "     flipped the byte at $at, inside the stream of $name"
expect "the damaged copy differs from the original in one byte" "$(cmp -l "$setup" "$damaged" | wc -l)" 1

wine_hold_session
wine_working_installation "$setup"
before=$(wine_program_tree)

echo "== the damaged copy's /I over it, a folder planted at C:\\ZIL_Setup_temp\\ZIL.previous"
mkdir -p "$drive_c/ZIL_Setup_temp/ZIL.previous"
echo "someone else's" >"$drive_c/ZIL_Setup_temp/ZIL.previous/planted.txt"
: >"$control_log"
wine_run 240 "$damaged" /I
expect "the damaged copy's /I ends with 1620" "$status" 84
expect "the installed files are untouched" "$(wine_program_tree)" "$before"
expect "the service still runs" "$(wine_service_state)" '4 RUNNING'
expect "the service received no code" "$(xargs <"$control_log" 2>/dev/null)" ''
expect "no temporary directory is left" \
    "$(test -e "$drive_c/ZIL_Setup_temp" && echo there || echo gone)" gone
log=$(wine_setup_log)
expect "log header names the failure" \
    "$(head -1 <<<"$log" | grep -o 'install (command line).*exit code 1620' | sed 's/, .*,/,/')" \
    'install (command line), exit code 1620'

expect "nothing planted reached the program folder" \
    "$(find "$program_dir" -name planted.txt | wc -l)" 0

# Only administrators can write beside the program folder, and Wine makes every file the running
# account's: a folder there is setup's own leftover, which the next run finishes.
echo "== a folder left at C:\\Program Files (x86)\\ZIL.previous: /I finishes it"
planted="$drive_c/Program Files (x86)/ZIL.previous"
mkdir -p "$planted"
echo "someone else's" >"$planted/planted.txt"
wine_run 240 "$setup" /I
expect "/I exits 0" "$status" 0
expect "the service runs" "$(wine_service_state)" '4 RUNNING'
expect "the leftover folder is gone" "$(test -e "$planted" && echo there || echo gone)" gone
wine_run 240 "$setup" /U
expect "/U exits 0" "$status" 0
expect "the program folder is gone" "$(test -e "$program_dir" && echo there || echo gone)" gone

wine_verdict
