#!/usr/bin/env bash
# Extraction of the i686 setup program under Wine against its floor: extract_floor.exe, the same
# archive through the same reader, inflate and file layer with nothing else (no window, no
# progress, no pauses). Both run interleaved, round after round, on the sample payload and on a
# large one (the sample plus Wine's own i386 libraries, at least 100 MB); the table gives the
# medians, the throughput of each and their ratio, and the whole command-line run's time. The
# setup program's extraction time is read from its log: the step after the temporary folder's,
# less the one pause in which setup looks for that folder once it has made it. Every timed run
# starts with the disk's cache written out, so that none pays for the writes of the one before.
# Wine's own start and end of a program that does nothing is timed too: the part of the whole
# run that no program of ours can save. Last, the dialog with Install pressed extracts the large
# payload once or more.
#   bench/wine.sh [rounds [interactive rounds]]     (defaults 5 and 1)
# ZIL_BENCH_SETUP_STUB=path runs another bare setup program (an older build) in place of
# build/win32/zil-setup.exe. Needs build/win32 (with bench/extract_floor.exe) and
# build/host/sfxpack. Run by hand: it takes minutes under the emulator.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The Wine environment starts this script again with the build's name as its argument.
export ZIL_WINE_CHECK_NAME=${ZIL_WINE_CHECK_NAME:-bench}
export ZIL_BENCH_ROUNDS=${ZIL_BENCH_ROUNDS:-${1:-5}}
export ZIL_BENCH_DIALOG_ROUNDS=${ZIL_BENCH_DIALOG_ROUNDS:-${2:-1}}
source "$here/../tests/wine/lib.sh"
wine_enter win32
rounds=$ZIL_BENCH_ROUNDS
dialog_rounds=$ZIL_BENCH_DIALOG_ROUNDS
probe=$WINE_BUILD/tests/wine/DialogProbe.exe
stub=${ZIL_BENCH_SETUP_STUB:-$WINE_BUILD/zil-setup.exe}
floor=$WINE_BUILD/bench/extract_floor.exe
libraries=/usr/lib/i386-linux-gnu/wine/i386-windows
wine_require "$stub" "$floor" "$probe" "$WINE_BUILD/samples/payload" "$ZIL_ROOT/build/host/sfxpack" \
    "$libraries"
echo "setup program: $stub ($(stat -c %s "$stub") bytes)"

# The two payloads, packed behind the same bare program.
work=$WINE_CHECK_DIR/work
rm -rf "$work"
mkdir -p "$work/sample" "$work/large"
cp -r "$WINE_BUILD/samples/payload/." "$work/sample/"
cp -r "$WINE_BUILD/samples/payload/." "$work/large/"
# The largest libraries first, up to the archive's 256 entries and at least 100 MB.
count=$(ls "$work/large" | wc -l)
while read -r size path; do
    [ "$count" -ge 256 ] && break
    [ "$(du -sb "$work/large" | cut -f1)" -ge 110000000 ] && break
    cp "$path" "$work/large/" && count=$((count + 1))
done < <(find "$libraries" -maxdepth 1 -name '*.dll' -printf '%s %p\n' | sort -rn)
for payload in sample large; do
    "$ZIL_ROOT/build/host/sfxpack" create -o "$work/$payload.exe" --stub "$stub" \
        "$work/$payload"/* >/dev/null || wine_die "cannot pack the $payload payload"
    echo "$payload payload: $(ls "$work/$payload" | wc -l) files, $(du -sb "$work/$payload" |
        cut -f1) bytes, archive $(stat -c %s "$work/$payload.exe") bytes"
done
wine_new_prefix

windows_path() { echo "Z:${1//\//\\}"; }

# The pause after the temporary folder is made, before setup sees it there (once, as it is there
# at once).
folder_pause=$(sed -n 's/.*DIRECTORY_WAIT_PAUSE = \([0-9]*\);.*/\1/p' "$ZIL_ROOT/setup/FileOperations.h")
[ -n "$folder_pause" ] || wine_die "cannot read DIRECTORY_WAIT_PAUSE from setup/FileOperations.h"

# Milliseconds of the extraction in the newest log: from the temporary folder's step to the
# extraction's, less that pause.
extraction_ms() {
    wine_setup_log | awk -v pause="$folder_pause" '
        $2 == "Create" && $4 == "Temp" { t = $1 } $2 == "Extract" { print $1 - t - pause }'
}

# Milliseconds from the sequence's start to its last logged step: what of the whole run is the
# program's own.
sequence_ms() {
    wine_setup_log | awk '$1 ~ /^[0-9]+$/ && NF > 1 { t = $1 } END { print t }'
}

run_floor() {  # payload -> ms
    rm -rf "$drive_c/bench_out"
    mkdir -p "$drive_c/bench_out"
    sync
    "$WINE" "$floor" "$(windows_path "$work/$1.exe")" 'C:\bench_out' 2>>"$WINE_CHECK_DIR/wine.out" |
        tr -d '\r' | awk '/^floor:/ { print $(NF - 1) }'
}

run_setup() {  # payload -> "extraction-ms whole-ms sequence-ms"
    local start
    sync
    start=$(date +%s%N)
    wine_run 600 "$work/$1.exe" /I
    local whole=$((($(date +%s%N) - start) / 1000000))
    [ "$status" -eq 0 ] || echo "     /I exited $status" >&2
    echo "$(extraction_ms) $whole $(sequence_ms)"
    wine_run 600 "$work/$1.exe" /U  # the next round installs afresh
}

# What Wine itself takes to start and end a program that does nothing (the floor, asked for its
# usage): the part of the whole /I's time that no program of ours can save.
run_nothing() {  # -> ms
    local start
    sync
    start=$(date +%s%N)
    wine_run 60 "$floor"
    echo $((($(date +%s%N) - start) / 1000000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A floor_ms=([sample]="" [large]="") setup_ms=([sample]="" [large]="") whole_ms=([sample]="" [large]="")
nothing_ms=""
for round in $(seq 1 "$rounds"); do
    nothing_ms+="$(run_nothing) "
    for payload in sample large; do
        f=$(run_floor "$payload")
        read -r s w q <<<"$(run_setup "$payload")"
        echo "round $round $payload: floor $f ms, setup extraction $s ms, setup /I whole $w ms" \
            "(its sequence to the last step $q ms)"
        floor_ms[$payload]+="$f "
        setup_ms[$payload]+="$s "
        whole_ms[$payload]+="$w "
    done
done

echo
printf '%-7s %12s %10s %12s %10s %8s %12s\n' payload "floor ms" "MB/s" "setup ms" "MB/s" ratio "/I whole ms"
for payload in sample large; do
    bytes=$(du -sb "$work/$payload" | cut -f1)
    f=$(tr ' ' '\n' <<<"${floor_ms[$payload]}" | grep . | median)
    s=$(tr ' ' '\n' <<<"${setup_ms[$payload]}" | grep . | median)
    w=$(tr ' ' '\n' <<<"${whole_ms[$payload]}" | grep . | median)
    awk -v p="$payload" -v b="$bytes" -v f="$f" -v s="$s" -v w="$w" 'BEGIN {
        fr = f > 0 ? b / f / 1000 : 0; sr = s > 0 ? b / s / 1000 : 0
        ratio = fr > 0 ? sr / fr : 0
        printf "%-7s %12d %10.1f %12d %10.1f %8.2f %12d\n", p, f, fr, s, sr, ratio, w }'
done
echo "(ratio: the setup program's throughput over the floor's; medians of $rounds interleaved rounds)"
n=$(tr ' ' '\n' <<<"$nothing_ms" | grep . | median)
echo "Wine's own start and end of a program that does nothing: $n ms (median); the whole /I" \
    "less that: sample $(($(tr ' ' '\n' <<<"${whole_ms[sample]}" | grep . | median | cut -d. -f1) - ${n%.*})) ms"

# The dialog that a person watches, Install clicked: every width change painted.
for round in $(seq 1 "$dialog_rounds"); do
    "$WINE" "$work/large.exe" >>"$WINE_CHECK_DIR/wine.out" 2>&1 &
    pid=$!
    wine_find_window "ZIL Setup Program" 120 "$pid" >/dev/null || wine_die "the dialog did not appear"
    read -r left top right bottom < <("$WINE" "$probe" "ZIL Setup Program" 1000 2>/dev/null |
        tr -d '\r' | awk '$1 == 1000 { print $2, $3, $4, $5 }')
    [ -n "${bottom:-}" ] || wine_die "cannot find the Install button"
    xdotool mousemove --sync $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
    box=""
    for _ in $(seq 1 3000); do
        # The success box, captioned with the program's name.
        box=$(xdotool search --name '^large$' 2>/dev/null | head -1)
        [ -n "$box" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    [ -n "$box" ] && wine_key "$box" Return
    wine_wait_for "$pid" 120
    echo "dialog round $round, large payload: extraction $(extraction_ms) ms"
    wine_run 600 "$work/large.exe" /U
done
