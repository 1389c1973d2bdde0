#!/usr/bin/env bash
# What Windows and a deployment tool see, from a brand-new prefix: after /I, Windows' own
# `reg query` shows the Apps & features entry with every value; an upgrade leaves exactly one
# entry; the QuietUninstallString, run as a tool runs it (the program it names started with its
# arguments, that process waited for, its exit code taken), ends 0 only once the program
# folder, the service, the entry (with a key that a tool made below it) and the kept setup
# program are gone; so does the kept program started through its short path; the
# QuietUninstallString with a file held open ends 3010 (194 here), with nothing of setup's left
# but what Windows deletes at the next restart. First of all, an install whose service cannot be registered
# after its entry was written (a JovixZIL that nothing runs, held open by another program, so
# that its removal only marks it) ends 1603 (67 here) and leaves no key: Wine's
# `uninstaller --list` shows nothing.
#   tests/wine/deploy.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
holder="$WINE_BUILD/tests/wine/HoldOpen.exe"
check="$WINE_BUILD/tests/wine/ServiceCheck.exe"
wine_require "$setup" "$holder" "$check"
wine_new_prefix
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZIL'

# The entry's values as "name type data" lines, from the 32-bit view a 32-bit program writes.
entry_values() {
    "$WINE" reg query "$key" /reg:32 2>/dev/null | tr -d '\r' |
        awk 'NF >= 2 && $2 ~ /^REG_/ { $1 = $1; print }'
}
# The short name Windows gives a long one in the folder, as `dir /x` shows it.
short_name() {  # folder, name
    "$WINE" cmd /c dir /x "$1" 2>/dev/null | tr -d '\r' | awk -v name="$2" '
        substr($0, length($0) - length(name)) == " " name {
            k = split(substr($0, 1, length($0) - length(name)), field, " ")
            if (field[k] ~ /~/) print field[k]
        }'
}
entry_value() {  # name
    entry_values | awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}

wine_hold_session

echo "== a first install that fails after its entry was written"
"$WINE" sc create JovixZIL binPath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1
wine_start_holder 'hold -> ' "$check" hold sleep:600000
expect "a JovixZIL is there and held" "$(grep -c 'hold -> 0 ' "$held_out")" 1
wine_run 300 "$setup" /I
expect "/I ends with 1603" "$status" 67
log=$(wine_setup_log)
expect "the entry was written" "$(grep -c '^ *[0-9]*  Write ZIL Uninstall Entry: ok$' <<<"$log")" 1
expect "the service could not be registered" \
    "$(grep -c -x 'Create ZIL Service Failed, error 1072 !!!' <<<"$log")" 1
expect "uninstaller --list shows nothing" "$("$WINE" uninstaller --list 2>/dev/null | tr -d '\r')" ""
expect "there is no key" "$("$WINE" reg query "$key" /reg:32 >/dev/null 2>&1 && echo there)" ""
expect "no program folder" "$(test -e "$program_dir" && echo there)" ""
# Once the other program lets go, the marked service goes, and the next run resumes the record
# that names it.
wine_stop_holder

wine_working_installation "$setup"
kept='C:\Program Files (x86)\ZIL\ZIL_Setup.exe'
echo "== the entry after /I"
expect "every value is there" "$(entry_values | awk '{ print $1 }' | sort | xargs)" \
    "DisplayIcon DisplayName DisplayVersion EstimatedSize InstallDate InstallLocation NoModify NoRepair Publisher QuietUninstallString UninstallString"
expect "DisplayName" "$(entry_value DisplayName)" "ZIL"
expect "Publisher" "$(entry_value Publisher)" "ZIL"
expect "DisplayVersion is the product's" "$(entry_value DisplayVersion)" \
    "$(sed -n 's/^#define ZIL_PRODUCT_VERSION "\(.*\)"$/\1/p' "$WINE_BUILD/generated/res/ProductVersion.h")"
expect "InstallLocation" "$(entry_value InstallLocation)" 'C:\Program Files (x86)\ZIL'
expect "UninstallString" "$(entry_value UninstallString)" "\"$kept\""
expect "QuietUninstallString" "$(entry_value QuietUninstallString)" "\"$kept\" /U"
expect "NoModify, NoRepair" "$(entry_value NoModify) $(entry_value NoRepair)" "0x1 0x1"
# Setup's own tools are gone by now; everything else in the folder was there when it was written.
installed=$(find "$program_dir" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
expect "EstimatedSize is the installed files' KiB, rounded up" "$(entry_value EstimatedSize)" \
    "$(printf '0x%x' $(((installed + 1023) / 1024)))"
expect "the kept setup program is the one that ran" \
    "$(cmp -s "$setup" "$program_dir/ZIL_Setup.exe" && echo same)" same

echo "== an upgrade"
wine_run 240 "$setup" /I
expect "/I exits 0" "$status" 0
expect "exactly one entry, nothing below it" \
    "$("$WINE" reg query "${key%\\ZIL}" /s /reg:32 2>/dev/null | tr -d '\r' | grep -ci '\\Uninstall\\ZIL')" 1

echo "== the QuietUninstallString, as a deployment tool runs it"
# Over a key that an inventory tool made below the entry, which goes with it.
"$WINE" reg add "$key\\Inventory" /v Seen /d 2024 /f /reg:32 >/dev/null 2>&1
expect "a tool's key is below the entry" \
    "$("$WINE" reg query "$key\\Inventory" /reg:32 >/dev/null 2>&1 && echo there)" there
quiet=$(entry_value QuietUninstallString)
program=$(sed -n 's/^"\([^"]*\)".*/\1/p' <<<"$quiet")
arguments=${quiet#\"$program\" }
wine_run 300 "$program" $arguments
expect "it exits 0" "$status" 0
expect "the program folder is gone" "$(test -e "$program_dir" && echo there)" ""
expect "the service is gone" "$(wine_service_state)" ""
expect "the entry is gone" "$("$WINE" reg query "$key" /reg:32 >/dev/null 2>&1 && echo there)" ""
expect "the log says so" "$(wine_setup_log | tail -1)" "Result: uninstall succeeded (exit code 0)"

echo "== the kept setup program started through its short path"
# Known by its file, not by how its path is spelled: it hands over to its copy as from the long
# path, so the program folder goes whole.
wine_run 240 "$setup" /I
expect "/I exits 0" "$status" 0
short="C:\\$(short_name 'C:\' 'Program Files (x86)')\\ZIL\\$(short_name "${kept%\\*}" ZIL_Setup.exe)"
expect "Windows gives it a short path" "$(tr -cd '~' <<<"$short")" "~~"
wine_run 300 "$short" /U
expect "it exits 0" "$status" 0
expect "the program folder is gone" "$(test -e "$program_dir" && echo there)" ""
expect "the entry is gone" "$("$WINE" reg query "$key" /reg:32 >/dev/null 2>&1 && echo there)" ""

echo "== the QuietUninstallString with a file held open"
wine_run 240 "$setup" /I
expect "/I exits 0" "$status" 0
wine_start_holder holding "$holder" 'C:\Program Files (x86)\ZIL\ZIL.ini' 600
wine_run 300 "$kept" /U
expect "/U ends with 3010 (194 here)" "$status" 194
expect "the log says a restart completes it" "$(wine_setup_log | tail -1)" \
    "Result: uninstall succeeded. A restart of Windows completes it. (exit code 3010)"
expect "the entry is gone" "$("$WINE" reg query "$key" /reg:32 >/dev/null 2>&1 && echo there)" ""
expect "the program folder is gone from its place" "$(test -e "$program_dir" && echo there)" ""
# Nothing of setup's is left but what waits for the restart: the folder moved out of the way
# and setup's own run folder, each named in Windows' list of deletions at the next restart.
pending=$("$WINE" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
    /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')
for left in "$drive_c/Program Files (x86)"/ZIL.* "$drive_c"/ZIL_Setup_temp* "$drive_c"/ZIL_Setup_run*; do
    [ -e "$left" ] || continue
    name=${left#"$drive_c"/}
    expect "${name} waits for the restart" "$(grep -qiF "${name//\//\\}" <<<"$pending" && echo waits)" waits
done
wine_stop_holder

wine_verdict
