#!/usr/bin/env bash
# The main job: build the setup program with the sample payload, then install the product from
# its dialog with Install clicked and uninstall it with /U on a fresh simulated machine, showing
# the dialog's bars and labels as they move and what each run leaves behind.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# The simulated machine needs only the host build of the packed setup program.
scripts/build.sh host zil-setup-packed >/dev/null

setup=build/host/ZIL_Setup
machine=$(mktemp -d /tmp/zil-machine.XXXXXX)
export ZIL_MACHINE=$machine ZIL_CLOCK=real ZIL_UI=${ZIL_UI:-text}
unset ZIL_INPUT
program_dir="$machine/C/Program Files (x86)/ZIL"
temp_dir="$machine/C/ZIL_Setup_temp"
# A fresh 64-bit Windows: the folder for 32-bit programs and the temporary folder exist.
mkdir -p "$machine/C/Program Files (x86)" "$machine/C/Windows/Temp"
log="$machine/C/Windows/Temp/ZIL_Setup.log"

section() { printf '\n== %s\n' "$*"; }

# The log file uses Windows line ends; the terminal does not need them.
show_log() { tr -d '\r' <"$log"; }

show_service() {
    if [ -s "$machine/services.txt" ]; then
        awk '$1 == "service" { printf "   %s", $2 }
             $1 == "image" { sub(/^image /, ""); printf ", image %s", $0 }
             $1 == "start-type" { printf ", start type %s%s", $2, $2 == 2 ? " (automatic)" : "" }
             $1 == "state" { printf ", state %s%s\n", $2, $2 == 4 ? " (running)" : "" }' \
            "$machine/services.txt"
    else
        echo "   JovixZIL: not registered"
    fi
    echo "   requests the service received (1 is a stop):"
    grep -o 'JovixZIL control [0-9]* -> [0-9]*' "$machine/journal.log" | sed 's/^/     /' || true
}

show_entry() {
    if grep -qi 'Uninstall\\ZIL\]' "$machine/registry.txt" 2>/dev/null; then
        sed 's/^/   /' "$machine/registry.txt"
    else
        echo "   no entry"
    fi
}

# Runs a setup program (the download, or the one the install kept), reports its exit status
# and how long it took.
run_setup() {  # program, [argument]
    local start end status=0
    start=$(date +%s%N)
    "$@" || status=$?
    end=$(date +%s%N)
    printf '\n   exit status %d, %d ms\n' "$status" $(((end - start) / 1000000))
    return "$status"
}

section "simulated machine: $machine"
# A command-line run collapses its window and never shows it, so its bars paint nothing; the
# dialog shows the install as a person sees it. The person clicks Install (ZIL_INPUT) and then
# leaves the keyboard: should the run fail, the dialog that waits is closed, not waited on.
section "$setup, Install clicked in its dialog"
ZIL_INPUT=click:1000 run_setup "$setup" </dev/null
section "run log ($log)"
show_log
section "installed tree: C:\\Program Files (x86)\\ZIL"
(cd "$program_dir" && find . -maxdepth 1 -type f | sed 's|^\./|   |' | sort)
echo "   ICONs: $(find "$program_dir/ICONs" -type f | wc -l) images"
section "service"
show_service
section "Apps & features (registry.txt, the 32-bit view of HKLM)"
show_entry

: >"$machine/journal.log"
kept="$program_dir/ZIL_Setup.exe"
# Windows needs no execute bit; the host does.
chmod +x "$kept"
section "the kept setup program /U, as Apps & features' QuietUninstallString runs it"
run_setup "$kept" /U
section "run log ($log)"
show_log
section "after the uninstall"
for path in "$program_dir" "$temp_dir"; do
    if [ -e "$path" ]; then echo "   still there: $path"; else echo "   gone: $path"; fi
done
section "service"
show_service
section "Apps & features"
show_entry
