#!/usr/bin/env bash
# What the Windows executables carry, read back from the built files: a console-subsystem
# image importing only System32 libraries, the manifest for its processor (elevation, supported
# Windows versions, DPI awareness, Common Controls 6), the version resource (English UK, code page
# 1200), icon 128 in 32x32 and 16x16 with 16 colours, dialog template 102 and the string table.
set -uo pipefail
ZIL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
failures=0
checked=0

fail() {
    echo "resources: $1: $2" >&2
    failures=$((failures + 1))
}

# The dump must hold the line (fixed text).
expect() {
    local exe=$1 dump=$2 line=$3
    grep -qF -- "$line" <<<"$dump" || fail "$exe" "missing: $line"
}

check() {
    local exe=$1 prefix=$2 arch=$3 magic=$4
    local dump headers
    dump=$("$prefix-windres" -i "$exe" -J coff -O rc 2>&1) || {
        fail "$exe" "windres cannot read it"
        return
    }
    headers=$("$prefix-objdump" -p "$exe")
    grep -qE "^Magic\s+$magic" <<<"$headers" || fail "$exe" "not a $magic image"
    grep -qE '^Subsystem\s+00000003\s+\(Windows CUI\)' <<<"$headers" ||
        fail "$exe" "not a console-subsystem image"
    # Only libraries that every Windows keeps in System32: the DLL search is restricted to it
    # at start-up, and anything else (zlib1.dll, a C++ runtime) would be missing on a real
    # machine or could be planted beside the download. Wine ships some of them, so a run under
    # Wine would not notice.
    local dll
    for dll in $(awk '/DLL Name:/ {print toupper($3)}' <<<"$headers" | sort -u); do
        case "$dll" in
            KERNEL32.DLL | USER32.DLL | GDI32.DLL | ADVAPI32.DLL | SHELL32.DLL | COMCTL32.DLL | MSVCRT.DLL) ;;
            *) fail "$exe" "imports $dll, which Windows does not provide" ;;
        esac
    done

    expect "$exe" "$dump" 'LANGUAGE 9, 2'
    # Manifest.
    expect "$exe" "$dump" '1 24 /* RT_MANIFEST */'
    expect "$exe" "$dump" 'requestedExecutionLevel level=""requireAdministrator"" uiAccess=""false""'
    expect "$exe" "$dump" "assemblyIdentity version=\"\"1.0.0.0\"\" processorArchitecture=\"\"$arch\"\" name=\"\"ExeName\"\" type=\"\"win32\"\""
    expect "$exe" "$dump" '<description>elevate execution level</description>'
    local os
    for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
        4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
        8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
        expect "$exe" "$dump" "<supportedOS Id=\"\"{$os}\"\"/>"
    done
    expect "$exe" "$dump" '>PerMonitorV2</dpiAwareness>'
    expect "$exe" "$dump" '>true/pm</dpiAware>'
    expect "$exe" "$dump" 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'
    # Version.
    expect "$exe" "$dump" 'BLOCK "080904b0"'
    expect "$exe" "$dump" 'VALUE "Translation", 0x809, 1200'
    expect "$exe" "$dump" 'VALUE "FileVersion", "1.00"'
    expect "$exe" "$dump" 'VALUE "ProductVersion", "1.00"'
    expect "$exe" "$dump" 'VALUE "InternalName", "Extractor"'
    expect "$exe" "$dump" 'VALUE "PrivateBuild", "96"'
    expect "$exe" "$dump" 'VALUE "SpecialBuild", "96"'
    # Icon 128: two images, 32 and 16 pixels square, 16 colours, 4 bits per pixel.
    expect "$exe" "$dump" '128 14 /* RT_GROUP_ICON */'
    expect "$exe" "$dump" '"\040\040\020\000", 1, 4,'
    expect "$exe" "$dump" '"\020\020\020\000", 1, 4,'
    # Dialog 102: WS_POPUP WS_VISIBLE WS_CAPTION WS_SYSMENU DS_MODALFRAME DS_3DLOOK DS_CENTER
    # DS_SETFONT, and every control with its id, class, style and place.
    expect "$exe" "$dump" '102 DIALOGEX 0, 0, 271, 118'
    expect "$exe" "$dump" 'STYLE 0x90c808c4'
    expect "$exe" "$dump" 'CAPTION "ZIL Setup Program"'
    expect "$exe" "$dump" 'FONT 10, "MS Sans Serif"'
    local control
    while IFS= read -r control; do
        expect "$exe" "$dump" "$control"
    done <<'CONTROLS'
CONTROL "Install", 1000, "BUTTON", 0x50010001, 219, 33, 45, 14
CONTROL "&Uninstall", 1001, "BUTTON", 0x50010000, 219, 60, 45, 14
CONTROL "", 1002, "EDIT", 0x40a10084, 19, 79, 197, 12
CONTROL "Close ZIL", 1006, "BUTTON", 0x40010000, 65, 92, 45, 14
CONTROL "E&xit", 2, "BUTTON", 0x40010000, 113, 92, 45, 14
CONTROL 128, -1, "STATIC", 0x50000003, 7, 5, 20, 20
CONTROL "ZIL Setup Program", 1009, "STATIC", 0x50020001, 37, 14, 175, 10
CONTROL "Progress1", 1003, "MSCTLS_PROGRESS32", 0x50800000, 17, 34, 194, 14
CONTROL "Progress1", 1005, "MSCTLS_PROGRESS32", 0x50800000, 17, 61, 193, 14
CONTROL "Total Progress", 1007, "STATIC", 0x50020000, 16, 24, 46, 8
CONTROL "Current File", 1008, "STATIC", 0x50020000, 18, 51, 193, 8
CONTROL "&Test", 1004, "BUTTON", 0x40010001, 162, 92, 45, 14
CONTROL "Launch ZIL", 1010, "BUTTON", 0x40010000, 19, 92, 45, 14
CONTROLS
    local count
    count=$(sed -n '/^102 DIALOGEX/,/^END/p' <<<"$dump" | grep -c '^ *CONTROL')
    [ "$count" -eq 13 ] || fail "$exe" "dialog 102 has $count controls, not 13"
    # The string table.
    expect "$exe" "$dump" '1, "ZIL Setup Program."'
    expect "$exe" "$dump" '3, "Archive contins no data. Extraction cannot continue."'
    expect "$exe" "$dump" '4, "Extractor Experienced Problems Creating Output File. Please ensure that you have enough space on the target drive."'
    expect "$exe" "$dump" '5, "Internal Error"'
    expect "$exe" "$dump" '6, "%d files extracted successfully"'
    expect "$exe" "$dump" '7, "Archive data is damaged. Extraction cannot continue."'
    expect "$exe" "$dump" '8, "Extractor could not read the archive or write an output file.'
    checked=$((checked + 1))
}

win32=${ZIL_WIN32_BUILD:-$ZIL_ROOT/build/win32}
win64=${ZIL_WIN64_BUILD:-$ZIL_ROOT/build/win64}
for exe in "$win32/zil-setup.exe" "$win32/ZIL_Setup.exe"; do
    [ -f "$exe" ] && check "$exe" i686-w64-mingw32 X86 010b
done
for exe in "$win64/zil-setup.exe" "$win64/ZIL_Setup.exe"; do
    [ -f "$exe" ] && check "$exe" x86_64-w64-mingw32 amd64 020b
done
if [ "$checked" -eq 0 ]; then
    echo "resources: no Windows executable built" >&2
    exit 1
fi
echo "resources: $checked executables checked, $failures problems"
[ "$failures" -eq 0 ]
