# Shared by the Wine checks. Each check is one scenario on one Windows build, run as a new
# machine would see it: a brand-new prefix of its own under build/wine/, one virtual display,
# and the product started only once the prefix's first session has ended.
#   source tests/wine/lib.sh; wine_enter "$@"; wine_new_prefix; "$WINE" "$setup" /I
# A check takes the build to run as its first argument: win32 (the product, the default) or
# win64 (its x86-64 twin).
set -uo pipefail

ZIL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
WINE_WORK_ROOT=$ZIL_ROOT/build/wine
WINE_LOADER32=/usr/lib/wine/wine
WINE_LOADER64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
QEMU_I386=${ZIL_QEMU_I386:-/usr/bin/qemu-i386-static}
SHIM_SOURCE=$ZIL_ROOT/tests/wine/qemu/noreplace.c
SHIM_ROOT=$WINE_WORK_ROOT/qemu
# Both word sizes' copies of the shim, found by the loader through $LIB
# (lib/i386-linux-gnu or lib/x86_64-linux-gnu on this distribution).
SHIM_PRELOAD="$SHIM_ROOT/\$LIB/zil-noreplace.so"

wine_die() {
    echo "$WINE_CHECK: $*" >&2
    exit 1
}

# Ends the check unless every path given exists (a file or a folder) in the build it runs.
wine_require() {
    local path
    for path in "$@"; do
        [ -e "$path" ] || wine_die "$path missing; build it first"
    done
}

# Runs the calling check inside the environment its build needs, then returns with WINE,
# WINE_BUILD (the Windows build's folder), WINE_BUILD_NAME and WINE_CHECK set. The check is
# started again (same script, same arguments) inside a user and mount namespace when 32-bit
# programs need the emulator, and inside its own virtual X display.
wine_enter() {
    # A check that runs another's script under a name of its own says so in ZIL_WINE_CHECK_NAME.
    WINE_CHECK=${ZIL_WINE_CHECK_NAME:-$(basename "$0" .sh)}
    WINE_BUILD_NAME=${1:-${ZIL_WINE_BUILD_NAME:-win32}}
    case "$WINE_BUILD_NAME" in
        win32) WINE_LOADER=$WINE_LOADER32 ;;
        win64) WINE_LOADER=$WINE_LOADER64 ;;
        *) wine_die "unknown build '$WINE_BUILD_NAME' (win32 or win64)" ;;
    esac
    export ZIL_WINE_BUILD_NAME=$WINE_BUILD_NAME
    WINE_BUILD=${ZIL_WINE_BUILD:-$ZIL_ROOT/build/$WINE_BUILD_NAME}
    WINE_CHECK_DIR=$WINE_WORK_ROOT/$WINE_BUILD_NAME/$WINE_CHECK
    wine_require "$WINE_BUILD"

    if [ -z "${ZIL_WINE_ROUTE:-}" ]; then
        wine_choose_route "$@"
    fi
    if [ "$ZIL_WINE_ROUTE" = qemu ] && [ -z "${ZIL_WINE_ROUTE_READY:-}" ]; then
        wine_prepare_emulator
    fi
    if [ -z "${ZIL_WINE_DISPLAY:-}" ]; then
        export ZIL_WINE_DISPLAY=1
        # xvfb-run looks for a free display from the number given; checks that start together
        # start looking at different numbers, so that two do not take the same one at once.
        local first_display=$((100 + $(cksum <<<"$WINE_CHECK $WINE_BUILD_NAME" | cut -d' ' -f1) % 400))
        exec timeout "${ZIL_WINE_CHECK_TIMEOUT:-900}" xvfb-run -a -n "$first_display" \
            -s "-screen 0 ${ZIL_WINE_SCREEN:-1024x768}x24" bash "$0" "$@"
    fi
    WINE=$WINE_LOADER
    export WINE WINE_BUILD WINE_BUILD_NAME WINE_CHECK
    echo "$WINE_CHECK: build $WINE_BUILD_NAME ($(wine_build_words)), route $(wine_route_text)"
}

wine_build_words() {
    case "$WINE_BUILD_NAME" in
        win32) echo "the i686 product" ;;
        win64) echo "its x86-64 twin" ;;
    esac
}

wine_route_text() {
    case "$ZIL_WINE_ROUTE" in
        native) echo "native" ;;
        qemu) echo "32-bit Linux programs under $QEMU_I386 in a private binfmt_misc" ;;
    esac
}

# The i686 build needs Wine's 32-bit loader, a 32-bit Linux program. Where the kernel runs it,
# nothing more is needed; where it refuses, the emulator runs it. Where neither works the check
# fails: running the x86-64 twin instead would test a program that nobody ships.
wine_choose_route() {
    if [ "$WINE_BUILD_NAME" = win64 ] || wine_loader_runs; then
        export ZIL_WINE_ROUTE=native
        return
    fi
    [ -x "$QEMU_I386" ] || wine_die "this kernel cannot run 32-bit programs and $QEMU_I386 is missing (scripts/deps.sh installs it)"
    unshare --user --map-root-user --mount true 2>/dev/null ||
        wine_die "this kernel cannot run 32-bit programs, and no user namespace can be made for the emulator's private binfmt_misc"
    wine_build_shim
    export ZIL_WINE_ROUTE=qemu
    # A private binfmt_misc needs a mount namespace, which a user namespace grants; the
    # registration then lives and dies with this check and touches no other program.
    exec unshare --user --map-root-user --mount bash "$0" "$@"
}

# The loader runs when it can tell its version.
wine_loader_runs() {
    "$WINE_LOADER" --version 2>/dev/null | grep -q '^wine-'
}

# Builds the preload shim from source when it is missing or older than its source.
wine_build_shim() {
    local lib
    for lib in "lib/i386-linux-gnu:-m32" "lib/x86_64-linux-gnu:-m64"; do
        local dir=$SHIM_ROOT/${lib%%:*} flag=${lib##*:}
        if [ ! "$dir/zil-noreplace.so" -nt "$SHIM_SOURCE" ]; then
            mkdir -p "$dir"
            # Several checks may start at once: each builds its own copy and renames it in place.
            gcc "$flag" -O2 -Wall -Wextra -shared -fPIC -o "$dir/zil-noreplace.so.$$" \
                "$SHIM_SOURCE" || wine_die "cannot build the preload shim ($flag; gcc-multilib?)"
            mv -f "$dir/zil-noreplace.so.$$" "$dir/zil-noreplace.so"
        fi
    done
}

# Inside the namespace: hands every i386 ELF program (executable or shared object, as Wine's
# loader is) to the emulator. F opens the emulator now, so Wine's re-executions and child
# processes find it whatever their root or mounts.
wine_prepare_emulator() {
    local misc=/proc/sys/fs/binfmt_misc
    mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null ||
        wine_die "cannot mount a private binfmt_misc (kernel 6.7 or later is needed)"
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":zil-i386:M::$magic:$mask:$QEMU_I386:F" >"$misc/register" ||
        wine_die "cannot register the emulator in the private binfmt_misc"
    export LD_PRELOAD=$SHIM_PRELOAD
    export ZIL_WINE_ROUTE_READY=1
    wine_loader_runs || wine_die "Wine's 32-bit loader does not run under $QEMU_I386 either"
}

# Makes a prefix as on a machine that never saw Wine: created, then left until its first session
# has ended, since right after `wineboot -i` the session runs two service managers that do not
# know each other's services.
wine_boot_prefix() {  # what to call its timing
    "$WINESERVER" -k >/dev/null 2>&1  # a server left by an earlier, killed run of this check
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINE_CHECK_DIR"
    local start
    start=$(date +%s%N)
    timeout 300 "$WINE" wineboot -i >"$WINE_CHECK_DIR/wineboot.log" 2>&1 ||
        wine_die "wineboot -i failed or timed out (see $WINE_CHECK_DIR/wineboot.log)"
    wine_wait_idle || wine_die "the new prefix's first session did not end"
    [ -f "$WINEPREFIX/system.reg" ] || wine_die "wineboot -i made no registry"
    wine_timing "$1" "$start"
}

# A brand-new prefix for this check. Made here, or copied from ZIL_WINE_TEMPLATE: a prefix that
# prefix.sh made the same way and that no program has run in since, so the copy is byte for
# byte what `wineboot -i` would make, without its half minute under the emulator.
wine_new_prefix() {
    export WINEPREFIX=$WINE_CHECK_DIR/prefix
    local template=${ZIL_WINE_TEMPLATE:-}
    if [ -n "$template" ] && [ -f "$template/system.reg" ]; then
        "$WINESERVER" -k >/dev/null 2>&1
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINE_CHECK_DIR"
        local start
        start=$(date +%s%N)
        cp -a "$template" "$WINEPREFIX" || wine_die "cannot copy the prefix $template"
        wine_timing prefix-copy "$start"
    else
        wine_boot_prefix prefix-creation
    fi
    trap wine_leave EXIT
    drive_c=$WINEPREFIX/drive_c
    program_dir="$drive_c/Program Files (x86)/ZIL"
    control_log="$drive_c/ZIL_Service_controls.log"
    redist_log="$drive_c/ZIL_Redist_runs.log"
}

# Wine ends its services when the last ordinary program of the session ends. To keep an
# installed service running from one setup run to the next, a program that waits on a pipe
# holds the session open; only the writer holds the pipe's writing end, so ending the writer
# ends the waiting program.
wine_hold_session() {
    local pipe=$WINE_CHECK_DIR/keeper.pipe
    rm -f "$pipe"
    mkfifo "$pipe"
    "$WINE" cmd /c pause <"$pipe" >/dev/null 2>&1 &
    session_keeper=$!
    sleep 900 >"$pipe" &
    session_writer=$!
}

wine_release_session() {
    kill "$session_writer" 2>/dev/null
    wait "$session_keeper" 2>/dev/null
    rm -f "$WINE_CHECK_DIR/keeper.pipe"
}

# Ends what is left of this check's session (a service that never started keeps one alive)
# and drops the prefix of a check that passed; a failed check keeps it for a look.
wine_leave() {
    local status=$?
    [ -n "${session_writer:-}" ] && wine_release_session
    "$WINESERVER" -k >/dev/null 2>&1
    if [ "$status" -eq 0 ] && [ -z "${ZIL_WINE_KEEP_PREFIX:-}" ]; then
        rm -rf "$WINEPREFIX"
    fi
    exit "$status"
}

# Waits until the prefix's wine server has ended. A wait that times out is a failed check: what
# comes next would meet a session that should have gone.
wine_wait_idle() {  # seconds
    timeout "${1:-120}" "$WINESERVER" -w >/dev/null 2>&1 && return 0
    echo "FAIL the wine server did not end within ${1:-120} s"
    failures=$((failures + 1))
    return 1
}

# Prints one timing of this build and keeps it for the run's summary.
wine_timing() {  # what, start (date +%s%N)
    local ms=$((($(date +%s%N) - $2) / 1000000))
    echo "     timing $WINE_BUILD_NAME $1: $ms ms"
    mkdir -p "$WINE_WORK_ROOT"
    echo "$WINE_BUILD_NAME $WINE_CHECK $1 $ms" >>"$WINE_WORK_ROOT/timings.txt"
}

# Starts a program of the check's that holds something (a file, a name, a service) until it is
# killed, and waits up to a minute for its output to show READY; the output stays in $held_out.
wine_start_holder() {  # ready text, program, arguments...
    local ready=$1
    shift
    held_out=$WINE_CHECK_DIR/holder.out
    "$WINE" "$@" >"$held_out" 2>&1 &
    holder_pid=$!
    for _ in $(seq 1 120); do
        grep -q "$ready" "$held_out" 2>/dev/null && break
        sleep 0.5
    done
}

wine_stop_holder() {
    kill "$holder_pid" 2>/dev/null
    wait "$holder_pid" 2>/dev/null
}

# Runs the program; sets `status` (its exit code, modulo 256 as Wine passes it on).
wine_run() {  # timeout seconds, program, arguments...
    local limit=$1
    shift
    timeout "$limit" "$WINE" "$@" >>"$WINE_CHECK_DIR/wine.out" 2>&1
    status=$?
}

# The newest ZIL_Setup.log in the prefix (Wine's temporary folder is the user's), without CRs.
wine_setup_log() {
    local log
    log=$(find "$drive_c" -name ZIL_Setup.log -printf '%T@ %p\n' 2>/dev/null | sort -n | tail -1 |
        cut -d' ' -f2-)
    [ -n "$log" ] && tr -d '\r' <"$log"
}

# The product installed with /I and its service running: where a check over an installation
# starts.
wine_working_installation() {  # setup
    echo "== ZIL_Setup.exe /I: the working installation"
    wine_run 240 "$1" /I
    expect "/I exits 0" "$status" 0
    expect "service running" "$(wine_service_state)" '4 RUNNING'
}

# The program folder's files, their sizes and times, as one line that changes when any does.
wine_program_tree() {
    (cd "$program_dir" 2>/dev/null && find . -type f -printf '%p %s %T@\n' | sort | md5sum)
}

wine_service_state() {
    "$WINE" sc query JovixZIL 2>/dev/null | tr -d '\r' | awk '$1 == "STATE" { print $3, $4 }'
}

# Packs a copy of the setup program over a staged payload folder.
wine_pack() {  # output, payload folder
    "$ZIL_ROOT/build/host/sfxpack" create -o "$1" --stub "$WINE_BUILD/zil-setup.exe" "$2" \
        >/dev/null || wine_die "cannot pack $1"
}

# One check of a scenario: counts a failure and shows both values when they differ.
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

# The scenario's verdict, as its exit status.
wine_verdict() {
    if [ "$failures" -eq 0 ]; then
        echo "$WINE_CHECK ($WINE_BUILD_NAME): all checks passed"
        return 0
    fi
    echo "$WINE_CHECK ($WINE_BUILD_NAME): $failures checks failed"
    return 1
}

# Waits for a top-level window of this caption on the check's display; prints its X id. Gives
# up early when the program that should show it has ended.
wine_find_window() {  # caption, seconds, [pid]
    local window _
    for _ in $(seq 1 $((${2:-90} * 10))); do
        window=$(xdotool search --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$window" ] && echo "$window" && return 0
        [ -n "${3:-}" ] && ! kill -0 "$3" 2>/dev/null && return 1
        sleep 0.1
    done
    return 1
}

# Presses a key in a window, as a person at the keyboard would.
wine_key() {  # window, key
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus "$1"
    xdotool key --clearmodifiers "$2"
}

# Waits for a background program to end; sets `status`, or kills it and sets 124.
wine_wait_for() {  # pid, seconds
    local _
    for _ in $(seq 1 $((${2:-10} * 10))); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$1" 2>/dev/null; then
        kill "$1"
        wait "$1" 2>/dev/null
        status=124
        return 1
    fi
    wait "$1"
    status=$?
}

# Stages the sample payload with the named variant of the service as ZIL_Service.exe and packs
# a setup program over it; prints the setup program's path.
wine_pack_service_variant() {  # variant program name (ZIL_Service_slow.exe, ...)
    local payload=$WINE_CHECK_DIR/payload setup=$WINE_CHECK_DIR/ZIL_Setup.exe
    rm -rf "$payload"
    mkdir -p "$WINE_CHECK_DIR"
    cp -r "$WINE_BUILD/samples/payload" "$payload" || wine_die "no staged sample payload"
    cp "$WINE_BUILD/samples/service/$1" "$payload/ZIL_Service.exe" || wine_die "no $1"
    wine_pack "$setup" "$payload"
    echo "$setup"
}
