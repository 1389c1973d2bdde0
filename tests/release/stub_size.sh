#!/usr/bin/env bash
# The bare 32-bit setup program (build/win32/zil-setup.exe, or the image named): at most 91,648
# bytes (179 blocks of 512), and it loads no library but Windows' own (no C++ runtime, thread or
# zlib DLL that a download folder could supply). What its bytes are made of:
# tests/release/size_table.py, whose table the README carries.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
stub=${1:-$root/build/win32/zil-setup.exe}
name=$(basename "$stub")
# What keeps the program this small is its build, not the shape of its code: inflate from
# source without gzip, a layout and a start-up of its own, arguments pushed without stack probes
# (README, "Release"). A change that needs more room states its cost where it raises this.
limit=91648
# Libraries that Windows always loads from its system folder (its known DLLs), wherever the
# program is started from. Any other import, even a Windows library such as comctl32, would be
# looked for beside the setup program before it can restrict the search.
windows_dlls="advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
              shell32.dll shlwapi.dll user32.dll"

if [ ! -f "$stub" ]; then
    echo "FAIL $stub is missing: run scripts/build.sh"
    exit 1
fi
headers=$(i686-w64-mingw32-objdump -p "$stub") || { echo "FAIL $stub is not a PE image"; exit 1; }
if ! grep -q "file format pei-i386" <<<"$headers"; then
    echo "FAIL $stub is not a 32-bit image"
    exit 1
fi

failures=0
size=$(stat -c %s "$stub")
if [ "$size" -le "$limit" ]; then
    echo "ok   $name is $size bytes, limit $limit ($((limit - size)) to spare)"
else
    echo "FAIL $name is $size bytes, $((size - limit)) over the limit of $limit"
    failures=$((failures + 1))
fi

imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr '[:upper:]' '[:lower:]' | sort -u | xargs)
foreign=""
for dll in $imports; do
    [[ " $(echo $windows_dlls) " == *" $dll "* ]] || foreign="$foreign $dll"
done
if [ -z "$imports" ]; then
    echo "FAIL $name imports nothing: the import table was not read"
    failures=$((failures + 1))
elif [ -n "$foreign" ]; then
    echo "FAIL $name imports$foreign, which Windows does not bring"
    failures=$((failures + 1))
else
    echo "ok   $name imports only $imports"
fi
[ "$failures" -eq 0 ]
