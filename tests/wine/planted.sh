#!/usr/bin/env bash
# Libraries planted beside the setup program under system libraries' names, from a brand-new
# prefix: none may be loaded into it. Wine prefers its own copy of a library it ships, where
# Windows takes the first file of that name on the search path (the program's folder first,
# for any library that is not one of the system's known ones), so each library is set to
# native-first, which Windows does for all such libraries. A program that does not restrict its
# search loads the planted library first: that shows this check can see a load at all. Then the
# setup program starts beside each planted library in turn.
#   tests/wine/planted.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
planted="$WINE_BUILD/tests/wine/PlantedDll.dll"
loader="$WINE_BUILD/tests/wine/LoadProbe.exe"
wine_require "$setup" "$planted" "$loader"
wine_new_prefix

# The download folder: the setup program, the probe, and one planted library at a time.
folder=$drive_c/Downloads
plant_log=$drive_c/ZIL_planted.log
mkdir -p "$folder"
loaded_by() {  # program
    cat "$plant_log" 2>/dev/null | tr -d '\r' | grep -c "$1\$"
}
cp "$setup" "$loader" "$folder/"

# Runs the setup program with an argument that matches no mode: it starts as for any run, shows
# the usage box, and ends with 1639 once the box is answered.
run_setup_beside() {  # library
    rm -f "$folder"/*.dll "$plant_log"
    cp "$planted" "$folder/$1"
    WINEDLLOVERRIDES="${1%.dll}=n,b" "$WINE" 'C:\Downloads\ZIL_Setup.exe' /X \
        >>"$WINE_CHECK_DIR/wine.out" 2>&1 &
    local pid=$! window
    window=$(wine_find_window ZIL_Setup 60 "$pid") && sleep 1 && wine_key "$window" Return
    wine_wait_for "$pid" 30
}

echo "== a program that does not restrict its search, and one that does"
rm -f "$plant_log"
cp "$planted" "$folder/uxtheme.dll"
WINEDLLOVERRIDES="uxtheme=n,b" wine_run 60 'C:\Downloads\LoadProbe.exe' uxtheme.dll
expect "a program loads the library planted beside it" \
    "$(loaded_by LoadProbe.exe)" 1
rm -f "$plant_log"
WINEDLLOVERRIDES="uxtheme=n,b" wine_run 60 'C:\Downloads\LoadProbe.exe' --system32-only uxtheme.dll
expect "Wine honours the restriction to System32 for what is loaded after it" \
    "$(loaded_by LoadProbe.exe)" 0

# The restriction comes first in the program, but its imports are resolved before any of its
# code runs: an imported comctl32, which is not one of Windows' known libraries, would be
# searched for in the program's folder first, and Wine's comctl32 loads uxtheme (not a known
# library either) as it starts. The program loads comctl32 after the restriction instead. The
# known libraries (kernel32, user32, shell32, ole32, ...) come only from System32 on Windows;
# Wine does not protect them that way, so planting them shows nothing about Windows.
for library in comctl32.dll uxtheme.dll; do
    echo "== the setup program beside a planted $library"
    run_setup_beside "$library"
    echo "     exit $status; $(cat "$plant_log" 2>/dev/null | tr -d '\r' | head -1)"
    expect "the planted $library is not loaded" \
        "$(loaded_by ZIL_Setup.exe)" 0
    expect "the program runs as without it (1639 after the usage box)" "$status" 103
done

wine_verdict
