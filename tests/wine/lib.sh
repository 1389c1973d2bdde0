# Shared by the Wine checks: picks the Windows build that this host's Wine can run, prepares a
# warm prefix, and waits for its server to end between sessions.
#   source tests/wine/lib.sh; wine_setup; "$WINE" "$WINE_BUILD/zil-setup.exe" /I
set -uo pipefail

ZIL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$ZIL_ROOT/build/wine-prefix}

wine_setup() {
    # Wine's 32-bit loader is itself a 32-bit Linux program; where the kernel refuses those,
    # the x86-64 build of the same sources is what Wine can show us.
    if wine "$ZIL_ROOT/build/win32/sfxpack.exe" --version >/dev/null 2>&1; then
        WINE=wine
        WINE_BUILD=$ZIL_ROOT/build/win32
    else
        WINE=/usr/lib/wine/wine64
        WINE_BUILD=$ZIL_ROOT/build/win64
    fi
    export WINE WINE_BUILD
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        timeout 300 "$WINE" wineboot -i >/dev/null 2>&1
        # The first start of a program in a fresh prefix is slow enough to time out a service
        # start; start one trivial program to warm it.
        timeout 120 "$WINE" cmd /c exit >/dev/null 2>&1
    fi
    wine_wait_idle
}

# Waits until the prefix's wine server has ended. A server that is still up holds a session
# whose desktop belongs to the display of the program that started it: a program started under
# a new virtual display would join that session and fail to create its windows.
wine_wait_idle() {
    timeout 60 /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
}

# The Windows path of the prefix's C: drive on the host.
wine_c_drive() {
    echo "$WINEPREFIX/drive_c"
}

# Where the product lands in the prefix, and where the sample service logs its control codes.
drive_c=$(wine_c_drive)
program_dir="$drive_c/Program Files (x86)/ZIL"
control_log="$drive_c/ZIL_Service_controls.log"

# One check of a Wine script: counts a failure and shows both values when they differ.
failures=0
expect() {  # what, got, wanted
    if [ "$2" == "$3" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1"
        echo "     got:    $2"
        echo "     wanted: $3"
        failures=$((failures + 1))
    fi
}
