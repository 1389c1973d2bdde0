#!/usr/bin/env bash
# The dialog at 96, 144 and 192 DPI (Wine's LogPixels), from one brand-new prefix: each time the
# setup program starts without an argument, Install is clicked, and the program is stopped for a
# picture halfway through the extraction of one large file named ZIL_Service.exe. The pictures must show the window about 1.5 and
# 2 times its size at 96 DPI, each bar's percent text inside the bar and centred in it, and the
# current-file label with the whole of "Extracting ZIL_Service.exe" on one line (its ink eight
# times as wide as the label is high, and ending short of the label's edge). The run at
# 96 DPI also shows that Common Controls 6 comes from the side-by-side store. The pictures stay
# in build/wine/interactive-<build>/ as dpi-96.png, dpi-144.png and dpi-192.png.
#   tests/wine/dpi.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
# Room for the dialog at twice its size.
export ZIL_WINE_SCREEN=${ZIL_WINE_SCREEN:-1600x1200}
wine_enter "$@"
probe="$WINE_BUILD/tests/wine/DialogProbe.exe"
wine_require "$probe"
shots=$WINE_WORK_ROOT/interactive-$WINE_BUILD_NAME
rm -f "$shots"/dpi-*.png
mkdir -p "$shots" "$WINE_CHECK_DIR"
check_start=$(date +%s%N)

# One file that does not compress, large enough to be caught half extracted at every DPI.
payload=$WINE_CHECK_DIR/payload
rm -rf "$payload"
mkdir -p "$payload"
file_size=$((32 << 20))
head -c "$file_size" /dev/urandom >"$payload/ZIL_Service.exe"
setup=$WINE_CHECK_DIR/ZIL_Setup.exe
wine_pack "$setup" "$payload"
wine_new_prefix

probe() {  # ids...
    "$WINE" "$probe" "ZIL Setup Program" "$@" 2>>"$WINE_CHECK_DIR/wine.out" | tr -d '\r'
}
rect() {  # probe output, id
    awk -v id="$2" '$1 == id { print $2, $3, $4, $5 }' <<<"$1"
}
# The ink of a text on a plain background: "LEFT TOP RIGHT BOTTOM" of the pixels that differ from
# the rectangle's top-left one, in screen coordinates, or nothing.
ink() {  # picture, "LEFT TOP RIGHT BOTTOM"
    read -r l t r b <<<"$2"
    convert "$1" -crop "$((r - l))x$((b - t))+$l+$t" +repage -depth 8 txt:- | awk -v l="$l" -v t="$t" '
        NR == 1 { next }
        { split($1, at, "[,:]"); x = at[1]; y = at[2]
          if (NR == 2) { back = $3 }
          if ($3 != back) { if (!seen || x < x0) x0 = x; if (!seen || y < y0) y0 = y
                            if (!seen || x > x1) x1 = x; if (!seen || y > y1) y1 = y; seen = 1 } }
        END { if (seen) print x0 + l, y0 + t, x1 + l + 1, y1 + t + 1 }'
}
within() {  # value, low, high
    awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(v >= lo && v <= hi) }'
}

declare -A window_width window_height
for dpi in 96 144 192; do
    echo "== $dpi DPI"
    wine_wait_idle
    for key in 'HKCU\Control Panel\Desktop' \
        'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        "$WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >>"$WINE_CHECK_DIR/wine.out" 2>&1 ||
            wine_die "cannot set LogPixels under $key"
    done
    wine_wait_idle
    # What the stopped run before left half extracted must not be taken for this run's progress.
    rm -rf "$drive_c/ZIL_Setup_temp"
    start=$(date +%s%N)
    debug=$WINEDEBUG
    [ "$dpi" = 96 ] && debug=+loaddll
    WINEDEBUG=$debug "$WINE" "$setup" >"$WINE_CHECK_DIR/wine-$dpi.out" 2>&1 &
    pid=$!
    window=$(wine_find_window "ZIL Setup Program" 120 "$pid") || {
        expect "the dialog appeared at $dpi DPI" no yes
        # Whether the program ended or the window never came, and what Wine said meanwhile:
        # without them a failure seen once cannot be told from a slow machine.
        if kill -0 "$pid" 2>/dev/null; then
            echo "     no window after 120 s, the program still running"
            kill -KILL "$pid" 2>/dev/null
        else
            wait "$pid"
            echo "     the program ended first, exit code $?"
        fi
        tail -n 20 "$WINE_CHECK_DIR/wine-$dpi.out" | sed 's/^/     wine: /'
        "$WINESERVER" -k >/dev/null 2>&1
        continue
    }
    sleep 1  # the first paint
    controls=$(probe 0 1000 1003 1005 1008)
    echo "$controls" | sed 's/^/     /'
    read -r left top right bottom <<<"$(rect "$controls" 0)"
    window_width[$dpi]=$((right - left)) window_height[$dpi]=$((bottom - top))
    total=$(rect "$controls" 1003) current=$(rect "$controls" 1005) label=$(rect "$controls" 1008)
    read -r left top right bottom <<<"$(rect "$controls" 1000)"
    xdotool mousemove --sync $(((left + right) / 2)) $(((top + bottom) / 2)) click 1

    # The extraction takes a second or two: the program is stopped when a fifth to four fifths
    # of the file is out, and the picture shows what it last drew.
    shot="" label_text=""
    out=0
    for _ in $(seq 1 6000); do
        out=$(stat -c %s "$drive_c/ZIL_Setup_temp/ZIL_Service.exe" 2>/dev/null || echo 0)
        [ "$out" -ge $((file_size / 5)) ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    if [ "$out" -ge $((file_size / 5)) ] && [ "$out" -le $((file_size * 4 / 5)) ] &&
        kill -STOP "$pid" 2>/dev/null; then
        sleep 0.5  # what the X server still had to draw
        shot=$WINE_CHECK_DIR/during-$dpi.png
        import -window root "$shot"
        read -r _ _ _ _ _ total_box fraction _ _ _ _ current_box < <(
            "$here/bars.py" --text-box "$total $current" "$shot" | cut -d' ' -f2-)
        # The window's text lives in the wine server: it can be read while the program stands.
        label_text=$(probe 1008 | cut -d' ' -f6-)
        echo "     stopped with $out of $file_size bytes out; the current bar at $fraction"
    fi
    wine_timing "dpi $dpi" "$start"
    kill -KILL "$pid" 2>/dev/null
    "$WINESERVER" -k >/dev/null 2>&1
    wait "$pid" 2>/dev/null
    expect "a picture at $dpi DPI caught the extraction between its ends" "${shot:+yes}" yes
    [ -n "$shot" ] || continue
    cp "$shot" "$shots/dpi-$dpi.png"
    echo "     window ${window_width[$dpi]}x${window_height[$dpi]}, picture $shots/dpi-$dpi.png"

    for name in total current; do
        bar=$total box=$total_box
        [ "$name" = current ] && bar=$current box=$current_box
        read -r l t r b <<<"$bar"
        read -r tl tt tr tb <<<"${box//,/ }"
        echo "     the $name bar $l $t $r $b, its text ${box//,/ }"
        if [ "$box" = none ] || [ -z "${tb:-}" ]; then
            expect "the $name bar shows its percent text at $dpi DPI" no yes
            continue
        fi
        expect "the $name bar's text lies inside the bar at $dpi DPI" \
            "$([ "$tl" -gt "$l" ] && [ "$tr" -lt "$r" ] && [ "$tt" -gt "$t" ] && [ "$tb" -lt "$b" ] && echo yes)" yes
        # Centred: the text's middle within two pixels (at 96 DPI, more in step with the DPI) of
        # the bar's, across and down. (Sums of both ends: twice the distance of the middles.)
        slack=$((4 * dpi / 96))
        expect "the $name bar's text is centred at $dpi DPI" \
            "$(within $(((tl + tr) - (l + r))) -$slack $slack &&
                within $(((tt + tb) - (t + b))) -$slack $slack && echo yes)" yes
    done

    expect "the label names the file at $dpi DPI" "$label_text" "Extracting ZIL_Service.exe"
    # "Extracting ZIL_Service.exe" is some ten times as wide as the label is high; a label cut to
    # its first word, or wrapped, shows ink for a third of that at most.
    read -r il _ ir _ <<<"$(ink "$shot" "$label")"
    read -r ll lt lr lb <<<"$label"
    echo "     the label's ink from $il to $ir; the label $ll-$lr, $((lb - lt)) high"
    expect "the label shows the whole name at $dpi DPI" \
        "$([ -n "${ir:-}" ] && [ "$ir" -lt $((lr - 2)) ] && [ $((ir - il)) -ge $((8 * (lb - lt))) ] &&
            echo yes)" yes
done

if [ -n "${window_width[96]:-}" ]; then
    for dpi in 144 192; do
        [ -n "${window_width[$dpi]:-}" ] || continue
        wanted=$([ "$dpi" = 144 ] && echo "1.35 1.65" || echo "1.8 2.2")
        ratio=$(awk -v a="${window_width[$dpi]}" -v b="${window_width[96]}" \
            -v c="${window_height[$dpi]}" -v d="${window_height[96]}" 'BEGIN { printf "%.2f %.2f", a / b, c / d }')
        read -r across down <<<"$ratio"
        echo "     $dpi DPI: the window ${window_width[$dpi]}x${window_height[$dpi]}, $across x $down its size at 96 DPI"
        expect "the window at $dpi DPI scales with it" \
            "$(within "$across" $wanted && within "$down" $wanted && echo yes)" yes
    done
fi
expect "Common Controls 6 comes from the side-by-side store" \
    "$(grep -ci 'winsxs.*common-controls.*comctl32' "$WINE_CHECK_DIR/wine-96.out" | awk '{ print ($1 > 0) ? "yes" : "no" }')" yes
wine_timing "whole check" "$check_start"
wine_verdict
