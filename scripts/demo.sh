#!/usr/bin/env bash
# The main job: build the setup program with the sample payload, then install and uninstall the
# product on a fresh simulated machine, showing what each run leaves behind.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh >/dev/null

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
        sed 's/^/   /' "$machine/services.txt"
    else
        echo "   (no services registered)"
    fi
    echo "   control codes the service received:"
    grep -o 'JovixZIL control [0-9]* -> [0-9]*' "$machine/journal.log" | sed 's/^/     /' || true
}

# Runs the setup program, reports its exit status and how long it took.
run_setup() {
    local start end status=0
    start=$(date +%s%N)
    "$setup" "$1" || status=$?
    end=$(date +%s%N)
    printf '\n   exit status %d, %d ms\n' "$status" $(((end - start) / 1000000))
    return "$status"
}

section "simulated machine: $machine"
section "$setup /I"
run_setup /I
section "run log ($log)"
show_log
section "installed tree"
(cd "$machine/C" && find "Program Files (x86)" | sort | sed 's/^/   /' | head -20)
echo "   ... $(find "$program_dir" -type f | wc -l) files, $(find "$program_dir/ICONs" -type f | wc -l) of them in ICONs"
section "service"
show_service

: >"$machine/journal.log"
section "$setup /U"
run_setup /U
section "run log ($log)"
show_log
section "after the uninstall"
for path in "$program_dir" "$temp_dir"; do
    if [ -e "$path" ]; then echo "   still there: $path"; else echo "   gone: $path"; fi
done
section "service"
show_service
