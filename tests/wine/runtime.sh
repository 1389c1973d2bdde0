#!/usr/bin/env bash
# The Windows programs are built without exceptions: a failed allocation, or a string or vector
# asked to grow past its limit, must still end the program as an uncaught exception did (exit
# code 3, a line on the standard error), never return into the caller. And the setup program's
# own CRC-32, which stands in for zlib's, gives zlib's values.
#   tests/wine/runtime.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
check=$WINE_BUILD/tests/release/RuntimeCheck.exe
wine_require "$check"
wine_new_prefix

run() {  # argument: prints the exit code, then what the program wrote
    local output status
    output=$(timeout 120 "$WINE" "$check" "$1" 2>&1 | tr -d '\r')
    status=${PIPESTATUS[0]}
    echo "$status $(head -1 <<<"$output")"
}

expect "operator new beyond the address space ends the program" "$(run new)" \
    "3 terminate called: out of memory"
expect "a string past its longest length ends the program" "$(run string)" \
    "3 terminate called: basic_string::_M_create"
expect "a vector past its largest size ends the program" "$(run vector)" \
    "3 terminate called: vector::reserve"
expect "the nothrow operator new answers null" "$(run nothrow)" "0 null"
expect "zero-byte requests get blocks of their own" "$(run empty)" "0 distinct"
# The standard check value of CRC-32, computed in two pieces, and the value of nothing.
expect "the program's own CRC-32 gives zlib's values" "$(run crc)" "0 cbf43926 00000000"

wine_verdict
