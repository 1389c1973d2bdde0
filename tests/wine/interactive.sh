#!/usr/bin/env bash
# The dialog end to end, as a person uses it, from a brand-new prefix: the setup program started
# without an argument, Install clicked with the mouse, screenshots taken while it extracts a
# payload large enough to watch, and at the end. The pictures must show both bars with their
# fill and their percent text drawn in the other part's colour, the label changed to name a
# file, and the success box; once the box is answered the program ends with 0. The pictures stay
# in build/wine/interactive-<build>/.
#   tests/wine/interactive.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
probe="$WINE_BUILD/tests/wine/DialogProbe.exe"
wine_require "$probe"
shots=$WINE_WORK_ROOT/interactive-$WINE_BUILD_NAME
# Only this check's own pictures go: the DPI check keeps its pictures here too.
rm -f "$shots"/{before,end,total-caught,current-caught,two-coloured}.png "$shots"/during-*.png
mkdir -p "$shots" "$WINE_CHECK_DIR"

# The sample payload and four files of 8 MiB (32 MiB natively) that do not compress: enough work
# for the bars to be seen between their ends. Their names spread them over the archive's order,
# so that the total bar (a step per file) moves on while they are extracted.
payload=$WINE_CHECK_DIR/payload
rm -rf "$payload"
cp -r "$WINE_BUILD/samples/payload" "$payload" || wine_die "no staged sample payload"
big_files=(Button_Data.bin Chart_Data.bin Logo_Data.bin Status_Data.bin)
# Where the i686 loader runs natively rather than emulated, extraction is several times faster:
# the files are as many times larger, so that the pictures still catch the bars on their way.
big_mib=8
[ "$ZIL_WINE_ROUTE" = native ] && big_mib=32
for name in "${big_files[@]}"; do
    head -c $((big_mib << 20)) /dev/urandom >"$payload/$name"
done
setup=$WINE_CHECK_DIR/ZIL_Setup.exe
wine_pack "$setup" "$payload"
wine_new_prefix

# Where a control is on the screen and what it says: "ID LEFT TOP RIGHT BOTTOM TEXT".
probe() {  # caption, ids...
    "$WINE" "$probe" "$@" 2>>"$WINE_CHECK_DIR/wine.out" | tr -d '\r'
}
rect() {  # probe output, id
    awk -v id="$2" '$1 == id { print $2, $3, $4, $5 }' <<<"$1"
}
crop() {  # "LEFT TOP RIGHT BOTTOM" -> ImageMagick geometry
    read -r l t r b <<<"$1"
    echo "$((r - l))x$((b - t))+$l+$t"
}

echo "== the dialog, Install clicked"
start=$(date +%s%N)
"$WINE" "$setup" >>"$WINE_CHECK_DIR/wine.out" 2>&1 &
pid=$!
window=$(wine_find_window "ZIL Setup Program" 120) || wine_die "the dialog did not appear"
wine_timing first-window "$start"
controls=$(probe "ZIL Setup Program" 1000 1003 1005 1008)
echo "$controls" | sed 's/^/     /'
read -r left top right bottom <<<"$(rect "$controls" 1000)"
[ -n "${bottom:-}" ] || wine_die "cannot find the Install button"
import -window root "$shots/before.png"
xdotool mousemove --sync $(((left + right) / 2)) $(((top + bottom) / 2)) click 1

# Pictures several times a second until the success box comes; the label's text read on the way.
start=$(date +%s%N)
# The click may not have reached the program when the first probe reads: read until the label
# names a file, a few times at most.
for _ in 1 2 3 4 5 6 7 8 9 10; do
    probe "ZIL Setup Program" 1008 >"$WINE_CHECK_DIR/label.txt"
    grep -q '^1008 .* Extracting ' "$WINE_CHECK_DIR/label.txt" && break
done &
label_probe=$!
box=""
for n in $(seq -w 1 400); do
    import -window root "$shots/during-$n.png"
    box=$(xdotool search --name '^ZIL_Setup$' 2>/dev/null | head -1)
    [ -n "$box" ] && break
    kill -0 "$pid" 2>/dev/null || break
    [ "$ZIL_WINE_ROUTE" = native ] || sleep 0.2
done
wine_timing "interactive install" "$start"
wait "$label_probe"
expect "the success box appeared" "${box:+yes}" yes
if [ -n "$box" ]; then
    sleep 1  # its first paint
    import -window root "$shots/end.png"
    expect "the box says the install succeeded" \
        "$(probe ZIL_Setup 65535 | cut -d' ' -f6-)" 'Install ZIL Success'
    wine_key "$box" Return
fi
wine_wait_for "$pid" 60
expect "the answered box ends the program with 0" "$status" 0
expect "the product is installed" "$(test -f "$program_dir/${big_files[0]}" && echo yes)" yes

echo "== the pictures"
total=$(rect "$controls" 1003)
current=$(rect "$controls" 1005)
label=$(rect "$controls" 1008)
# For each bar, the picture taken when it was furthest from its ends, if it was then between 10%
# and 90% (of its half, for the current bar, which the extraction fills to its half).
declare -A best_margin=([total]=0 [current]=0) best_shot=() best_bar=()
two_coloured=""
while read -r shot total_bar current_bar; do
    for name in total current; do
        bar=${total_bar}
        [ "$name" = current ] && bar=${current_bar}
        read -r fraction _ _ on_fill on_back <<<"${bar//,/ }"
        margin=$(awk -v f="$fraction" -v top="$([ "$name" = current ] && echo 0.45 || echo 0.9)" \
            'BEGIN { m = f - 0.1; if (top - f < m) m = top - f; printf "%d", m * 1000 }')
        if [ "$margin" -gt "${best_margin[$name]}" ]; then
            best_margin[$name]=$margin best_shot[$name]=$shot best_bar[$name]=${bar//,/ }
        fi
        if [ "$on_fill" -gt 0 ] && [ "$on_back" -gt 0 ] && [ -z "$two_coloured" ]; then
            two_coloured=$shot
        fi
    done
done < <("$here/bars.py" "$total $current" "$shots"/during-*.png |
    awk '{ print $1, $2 "," $3 "," $4 "," $5 "," $6, $7 "," $8 "," $9 "," $10 "," $11 }')
for name in total current; do
    shot=${best_shot[$name]:-}
    echo "     the $name bar between its ends: ${shot:-none} (fraction fill back text-on-fill text-on-back: ${best_bar[$name]:-})"
    expect "a picture shows the $name bar between 10% and 90%" "${shot:+yes}" yes
    [ -n "$shot" ] || continue
    cp "$shot" "$shots/$name-caught.png"
    read -r fraction fill back on_fill on_back <<<"${best_bar[$name]}"
    expect "the $name bar's fill and background differ" "$([ "$fill" != "$back" ] && echo yes)" yes
    expect "the $name bar's percent text shows over it" \
        "$([ $((on_fill + on_back)) -gt 0 ] && echo yes)" yes
done
echo "     the percent text in both colours at once: ${two_coloured:-none}"
expect "a picture shows a percent text across the fill's edge, in both colours" \
    "${two_coloured:+yes}" yes
[ -n "$two_coloured" ] && cp "$two_coloured" "$shots/two-coloured.png"
# The label as the extraction of the current bar's picture showed it, against its first text.
if [ -n "${best_shot[current]:-}" ]; then
    label_before=$(convert "$shots/before.png" -crop "$(crop "$label")" -format '%#' info:)
    label_caught=$(convert "${best_shot[current]}" -crop "$(crop "$label")" -format '%#' info:)
fi

# The label's text is read from its window too: the picture shows only that it changed.
label_text=$(cut -d' ' -f6- "$WINE_CHECK_DIR/label.txt")
echo "     the label said: $label_text"
file=${label_text#Extracting }
expect "the label names a file of the payload" \
    "$([ "$file" != "$label_text" ] && [ -e "$payload/$file" ] && echo yes)" yes
expect "the label in the picture changed from its start" \
    "$([ -n "${label_caught:-}" ] && [ "$label_caught" != "$label_before" ] && echo yes)" yes

wine_verdict
