#!/usr/bin/env bash
# The setup file swapped while /I runs, from a brand-new prefix: the setup program lies in a
# folder its user owns (a download folder); once C:\ZIL_Setup_temp appears, the file is renamed
# and another archive put under its name, as that user could. The install reads on from the file
# it started from: it ends 0 with the vendor's files, and nothing of the other archive is
# installed.
#   tests/wine/swapped.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
wine_require "$WINE_BUILD/ZIL_Setup.exe" "$WINE_BUILD/samples/payload"
wine_new_prefix

downloads=$WINE_CHECK_DIR/Downloads
mkdir -p "$downloads"
setup=$downloads/ZIL_Setup.exe
cp "$WINE_BUILD/ZIL_Setup.exe" "$setup"

echo "== the other archive: the sample payload with a file of its own and another ZIL.ini"
other=$WINE_CHECK_DIR/other
rm -rf "$other"
cp -r "$WINE_BUILD/samples/payload" "$other" || wine_die "no staged sample payload"
echo "planted" >"$other/Planted.txt"
echo "planted" >"$other/ZIL.ini"
wine_pack "$WINE_CHECK_DIR/Other_Setup.exe" "$other"

wine_hold_session
echo "== ZIL_Setup.exe /I, swapped once the temporary folder appears"
start=$(date +%s%N)
timeout 300 "$WINE" "$setup" /I >>"$WINE_CHECK_DIR/wine.out" 2>&1 &
run=$!
swapped=no
for _ in $(seq 1 1200); do
    if [ -d "$drive_c/ZIL_Setup_temp" ]; then
        mv "$setup" "$setup.moved" && cp "$WINE_CHECK_DIR/Other_Setup.exe" "$setup" && swapped=yes
        break
    fi
    kill -0 "$run" 2>/dev/null || break
    sleep 0.1
done
wait "$run"
status=$?
wine_timing "/I with the file swapped" "$start"
expect "the file was swapped while /I ran" "$swapped" yes
expect "/I exits 0" "$status" 0
expect "the vendor's ZIL.ini is installed" \
    "$(cmp -s "$program_dir/ZIL.ini" "$WINE_BUILD/samples/payload/ZIL.ini" && echo same)" same
expect "nothing of the other archive is installed" \
    "$(test -e "$program_dir/Planted.txt" && echo installed || echo absent)" absent
expect "the service runs" "$(wine_service_state)" '4 RUNNING'

wine_verdict
