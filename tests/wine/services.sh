#!/usr/bin/env bash
# The setup program's service operations against Wine's service control manager, a real one that
# none of us wrote: ServiceCheck.exe runs the program's own code (the Windows platform and the
# setup dialog's operations) step by step on the sample service, and this script checks each
# step's result and status line, the registration, and the control codes the service logged.
# One brand-new prefix for all the steps: each group starts by removing what the last one left.
#   tests/wine/services.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
check="$WINE_BUILD/tests/wine/ServiceCheck.exe"
service="$WINE_BUILD/samples/service/ZIL_Service.exe"
wine_require "$check" "$service"
wine_new_prefix

# Runs the steps in one Wine session: Wine ends its service processes when its last ordinary
# program ends, so a service only keeps running within one ServiceCheck run.
run_steps() {
    timeout "${WINE_TIMEOUT:-180}" "$WINE" "$check" "$@" 2>/dev/null | tr -d '\r'
}

# Line N of a run's output less its step name: "<result> | <status>".
step() {  # output, N
    local line
    line=$(sed -n "$2p" <<<"$1")
    echo "${line#* -> }"
}

fresh_machine() {
    run_steps stop delete >/dev/null
    rm -f "$control_log"
    mkdir -p "$program_dir"
    cp "$service" "$program_dir/ZIL_Service.exe"
}

echo "== the service's life through the program's operations"
fresh_machine
out=$(run_steps query create create start query control:139 close launch stop query delete query)
echo "$out" | sed 's/^/     /'
expect "query without a service" "$(step "$out" 1)" '1060 | Service Not Exist !!!\r\n'
expect "create" "$(step "$out" 2)" '0 | Request Successed !!!\r\n'
expect "create again" "$(step "$out" 3)" '1073 | ERROR_SERVICE_EXISTS = 1073\r\n'
expect "start with retries" "$(step "$out" 4)" '0 | Query Code = Running --> 4\r\n'
expect "query running" "$(step "$out" 5)" '4 | Query Code = Running --> 4\r\n'
expect "control 139" "$(step "$out" 6)" '0 | ControlService Success... \r\n'
expect "Close ZIL" "$(step "$out" 7)" '0 | ControlService Success... \r\n'
expect "Launch ZIL" "$(step "$out" 8)" '0 | ControlService Success... \r\n'
expect "stop with retries" "$(step "$out" 9)" '0 | Query Code = STOP --> 1\r\n'
expect "query stopped" "$(step "$out" 10)" '1 | Query Code = STOP --> 1\r\n'
expect "delete a stopped service" "$(step "$out" 11)" '0 | Request Successed !!!\r\n'
expect "query after the deletion" "$(step "$out" 12)" '1060 | Service Not Exist !!!\r\n'
# The service writes each code before its handler returns, and ControlService waits for that.
expect "codes the service received" "$(tr '\n' ' ' <"$control_log" 2>/dev/null)" '139 139 133 1 '

echo "== the registration"
fresh_machine
run_steps create >/dev/null
registration=$("$WINE" reg query 'HKLM\System\CurrentControlSet\Services\JovixZIL' 2>/dev/null | tr -d '\r')
value() { awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' <<<"$registration"; }
expect "image path, quoted" "$(value ImagePath)" '"C:\Program Files (x86)\ZIL\ZIL_Service.exe"'
expect "display name" "$(value DisplayName)" 'JovixZIL'
expect "own process" "$(value Type)" '0x10'
expect "automatic start" "$(value Start)" '0x2'
expect "normal error control" "$(value ErrorControl)" '0x1'

echo "== deletion of a running service"
fresh_machine
# The deletion does not wait for the stop; the service goes once its process has ended, which
# under the emulator and a busy machine can take seconds.
out=$(run_steps create start control:140 delete sleep:5000 query control:138)
echo "$out" | sed 's/^/     /'
expect "delete stops and deletes" "$(step "$out" 4)" '0 | Request Successed !!!\r\n'
expect "gone once stopped and closed" "$(step "$out" 6)" '1060 | Service Not Exist !!!\r\n'
expect "no control after the deletion" "$(step "$out" 7)" '0 | Open Service Failed... \r\n'
expect "codes the service received" "$(tr '\n' ' ' <"$control_log" 2>/dev/null)" '140 1 '

echo "== a service marked for deletion while a handle holds it"
fresh_machine
out=$(run_steps create hold delete create delete)
echo "$out" | sed 's/^/     /'
expect "delete marks it" "$(step "$out" 3)" '0 | Request Successed !!!\r\n'
expect "no new service of its name" "$(step "$out" 4)" '1072 | Service Mark Delete = 1072 !!!\r\n'
expect "no second deletion" "$(step "$out" 5)" '1072 | Service Mark Delete = 1072 !!!\r\n'
out=$(run_steps query)
expect "gone once the holder has ended" "$(step "$out" 1)" '1060 | Service Not Exist !!!\r\n'

echo "== a service whose program is missing"
fresh_machine
rm -f "$program_dir/ZIL_Service.exe"
out=$(run_steps create start control:139 delete)
echo "$out" | sed 's/^/     /'
expect "six starts fail with the last request's code" "$(step "$out" 2)" \
    '2 | Query Code = STOP --> 1\r\n'
expect "control of a stopped service" "$(step "$out" 3)" '0 | ControlService Failed... \r\n'
expect "delete it" "$(step "$out" 4)" '0 | Request Successed !!!\r\n'

echo "== programs and the one-setup lock"
out=$(run_steps 'run:C:\windows\system32\hostname.exe' 'run:C:\no\such\program.exe' lock lock)
expect "RunAndWait of a program" "$(step "$out" 1)" '1 | '
expect "RunAndWait of a missing program" "$(step "$out" 2)" '0 | '
# Windows says 2 and Wine 1400; the program only asks whether the start failed.
out2=$(run_steps 'exec:C:\no\such\program.exe')
expect "the start of a missing program fails" "$(step "$out2" 1 | grep -c '^0 ')" '0'
expect "the lock, taken" "$(step "$out" 3)" '1 | '
expect "the lock, taken again by its holder" "$(step "$out" 4)" '1 | '
# The holder says it has the lock by leaving a file, and keeps it for long enough that the second
# program, slow to start under an emulator, meets it held.
holder_output=$(mktemp)
rm -f "$drive_c/ZIL_lock_taken"
run_steps lock 'run:C:\windows\system32\cmd.exe|/c echo x> C:\ZIL_lock_taken' sleep:20000 \
    >"$holder_output" &
holder=$!
for _ in $(seq 1 600); do
    [ -e "$drive_c/ZIL_lock_taken" ] && break
    sleep 0.1
done
out=$(run_steps lock)
wait "$holder"
expect "a second setup program gets no lock" "$(step "$out" 1)" '0 | '
expect "while the first holds it" "$(step "$(cat "$holder_output")" 1)" '1 | '
rm -f "$holder_output"

echo "== file operations: directories, moves, setup tools"
run_steps stop delete >/dev/null
temp_dir="$drive_c/ZIL_Setup_temp"
rm -rf "$program_dir" "$temp_dir"
mkdir -p "$temp_dir/data" "$program_dir/ICONs"
for name in ZIL_Service.exe Close_ZIL.exe MOFINS.exe vcredist_x86.exe ZARN_ZIL.mof \
    Uninst_ZARN_ZIL.mof ZIL.ini logo.bmp tray.ico; do
    echo "new $name" >"$temp_dir/$name"
done
echo "new inner" >"$temp_dir/data/inner.db"
echo "old service" >"$program_dir/ZIL_Service.exe"
echo "old logo" >"$program_dir/ICONs/logo.bmp"
out=$(run_steps 'ensure:C:\Program Files (x86)\ZIL' 'ensure:C:\Program Files (x86)\ZIL\ICONs' \
    movefiles deletetools deletetemp)
expect "temporary directory gone" "$(ls -d "$temp_dir" 2>/dev/null)" ''
expect "program directory after the moves and the tool deletion" \
    "$(cd "$program_dir" && find . -type f | sort | tr '\n' ' ')" \
    './ICONs/logo.bmp ./ICONs/tray.ico ./ZIL.ini ./ZIL_Service.exe ./data/inner.db '
expect "files replaced without asking" \
    "$(cat "$program_dir/ZIL_Service.exe" "$program_dir/ICONs/logo.bmp" | tr '\n' ' ')" \
    'new ZIL_Service.exe new logo.bmp '
run_steps deleteprogram >/dev/null
expect "program directory deleted" "$(ls -d "$program_dir" 2>/dev/null)" ''

echo "== the sweep after the runtime installer"
rm -f "$drive_c"/eula.* "$drive_c"/install.* "$drive_c"/VC_RED.* "$drive_c"/vcredist.*
echo old >"$drive_c/eula.old.txt"
echo old >"$drive_c/vcredist.keep"
leave='/c echo x> C:\eula.1033.txt & echo x> C:\install.ini & echo x> C:\VC_RED.cab'
leave+=' & echo x> C:\vcredist.bmp'
out=$(run_steps "run:C:\\windows\\system32\\cmd.exe|$leave" sweep)
expect "the installer ran" "$(step "$out" 1)" '1 | '
expect "only what it left is swept" \
    "$(cd "$drive_c" && ls -d eula.* install.* VC_RED.* vcredist.* 2>/dev/null | tr '\n' ' ')" \
    'eula.old.txt vcredist.keep '
rm -f "$drive_c/eula.old.txt" "$drive_c/vcredist.keep"

run_steps stop delete >/dev/null
wine_verdict
