#!/usr/bin/env bash
# Unix symbolic links where setup clears folders, from a brand-new prefix: one inside
# C:\ZIL_Setup_temp to a folder outside the prefix with files in it, then a program folder that
# is itself such a link. Wine opens every handle through a Unix link and deletes or renames what
# it points at (KNOWN_DIFFERENCES.md): setup must take the link for one by its attributes and
# leave it be. /I and /U then never touch the folder behind it; the temporary folder that holds
# the link is moved aside for the restart (3010), and a program folder that is such a link can be
# neither set aside nor removed (1603, nothing of the target touched).
#   tests/wine/links.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
wine_require "$setup"
wine_new_prefix

theirs=$WINE_CHECK_DIR/theirs
rm -rf "$theirs"
mkdir -p "$theirs/sub"
echo "someone else's" >"$theirs/a.txt"
echo "someone else's too" >"$theirs/sub/b.txt"
tree_of() { (cd "$theirs" 2>/dev/null && find . -printf '%p %s\n' | sort | md5sum); }
before=$(tree_of)
plant_in_temp() {
    mkdir -p "$drive_c/ZIL_Setup_temp"
    ln -sfn "$theirs" "$drive_c/ZIL_Setup_temp/theirs"
}

echo "== a link in C:\\ZIL_Setup_temp: ZIL_Setup.exe /I"
plant_in_temp
wine_run 240 "$setup" /I
expect "/I ends with 3010 (194 here): the folder with the link goes at the restart" "$status" 194
expect "the folder behind the link is as it was" "$(tree_of)" "$before"
expect "the service runs" "$(wine_service_state)" '4 RUNNING'
wine_setup_log | grep 'ZIL_Setup_temp' | sed 's/^/     log: /'

echo "== a link in C:\\ZIL_Setup_temp: ZIL_Setup.exe /U"
plant_in_temp
wine_run 240 "$setup" /U
expect "/U ends with 3010 (194 here)" "$status" 194
expect "the folder behind the link is as it was" "$(tree_of)" "$before"
expect "the program folder is gone" "$(test -e "$program_dir" && echo there || echo gone)" gone

echo "== the program folder is a link: ZIL_Setup.exe /I"
rm -rf "$program_dir"
mkdir -p "$(dirname "$program_dir")"
ln -s "$theirs" "$program_dir"
wine_run 240 "$setup" /I
# Under Wine the link can be neither renamed nor removed as a link: the upgrade cannot set the
# folder aside, and ends as a failed one does, with nothing of the target touched.
expect "/I ends with 1603 (67 here)" "$status" 67
expect "the folder behind the link is as it was" "$(tree_of)" "$before"
expect "the program folder is still the link" "$(readlink "$program_dir")" "$theirs"
wine_setup_log | grep -i 'error 681\|ZIL Directory' | sed 's/^/     log: /'

echo "== the program folder is a link: ZIL_Setup.exe /U"
wine_run 240 "$setup" /U
expect "/U ends with 1603 (67 here): the program folder stays" "$status" 67
expect "the folder behind the link is as it was" "$(tree_of)" "$before"
expect "the log names the link" \
    "$(wine_setup_log | grep -c 'ZIL: not setup.s own, left alone')" 1

rm -f "$program_dir"
wine_verdict
