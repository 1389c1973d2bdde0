#!/usr/bin/env bash
# A payload whose service runs only once the runtime is installed, and whose runtime installer
# ends 3010 (a restart completes it), installed with /I from a brand-new prefix: the first start
# fails, the runtime installer runs once, the second start succeeds, and the run ends 3010
# (194 here) with the runtime named in the log as what the restart completes. The restart it
# asked for is no file: on Windows nothing at the run's end may take it for one that has gone.
#   tests/wine/redist.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
payload=$WINE_CHECK_DIR/payload
setup=$WINE_CHECK_DIR/ZIL_Setup.exe
rm -rf "$payload"
mkdir -p "$WINE_CHECK_DIR"
cp -r "$WINE_BUILD/samples/payload" "$payload" || wine_die "no staged sample payload"
cp "$WINE_BUILD/samples/service/ZIL_Service_runtime.exe" "$payload/ZIL_Service.exe" ||
    wine_die "no ZIL_Service_runtime.exe"
cp "$WINE_BUILD/samples/vcredist_restart.exe" "$payload/vcredist_x86.exe" ||
    wine_die "no vcredist_restart.exe"
wine_pack "$setup" "$payload"
wine_new_prefix

echo "== ZIL_Setup.exe /I with a service that needs the runtime, whose installer ends 3010"
start=$(date +%s%N)
wine_run 180 "$setup" /I
wine_timing "/I (the runtime asks for a restart)" "$start"
expect "/I ends with 3010 (194 here)" "$status" 194
expect "the runtime installer ran once" "$(grep -c ran "$redist_log" 2>/dev/null)" 1
log=$(wine_setup_log)
sed 's/^/     log: /' <<<"$log"
expect "the details give the runtime installer's code" \
    "$(grep -c -x '  *[0-9]*  Install Runtime: exit code 3010' <<<"$log")" 1
expect "the details name the runtime as what the restart completes" \
    "$(grep -c -x '  *[0-9]*  Waits For The Next Restart: the runtime redistributable (its installer ended 3010)' <<<"$log")" 1
expect "nothing is taken for gone before the restart" \
    "$(grep -c 'No Longer Waits For The Next Restart' <<<"$log")" 0
expect "the log's last line states the restart" "$(tail -1 <<<"$log")" \
    "Result: install succeeded. A restart of Windows completes it. (exit code 3010)"

wine_verdict
