#!/usr/bin/env bash
# Signs the Windows builds' setup programs (PE32 from build/win32, PE32+ from build/win64) with a
# throw-away self-signed certificate, as a vendor signs a release, and checks:
# - osslsigncode verifies the signature;
# - sfxpack lists, verifies and extracts the signed file exactly as the unsigned one (extract
#   runs the setup program's extractor with the signed file as its module), and verify reports
#   the certificate table and where the archive ends;
# - a signed file whose certificate table lies (runs past the end, overlaps the archive, starts
#   in the headers) is refused with 1001 and nothing is extracted.
# It needs the Windows builds (scripts/build.sh), osslsigncode and openssl; without them it fails.
set -uo pipefail
cd "$(dirname "$0")/../.."

failures=0
fail() {
    echo "signing: FAIL: $*"
    failures=$((failures + 1))
}

for tool in osslsigncode openssl python3; do
    command -v "$tool" >/dev/null || { echo "signing: FAIL: $tool is not installed"; exit 1; }
done
sfxpack=build/host/sfxpack
for file in "$sfxpack" build/win32/ZIL_Setup.exe build/win64/ZIL_Setup.exe; do
    [ -f "$file" ] || { echo "signing: FAIL: $file is missing (run scripts/build.sh)"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=ZIL throw-away test signer" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
    { cat "$work/openssl.log"; echo "signing: FAIL: openssl could not make a certificate"; exit 1; }

# Rewrites the security directory of a PE file: lie FILE ADDRESS-EXPRESSION SIZE-EXPRESSION,
# where the expressions see the table's true address a, size s and the file's length n.
lie() {
    python3 - "$@" <<'PY'
import struct, sys
path, address, size = sys.argv[1:4]
data = bytearray(open(path, "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
optional = pe + 24
plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
entry = optional + (144 if plus else 128)
a, s = struct.unpack_from("<II", data, entry)
n = len(data)
struct.pack_into("<II", data, entry, eval(address) & 0xFFFFFFFF, eval(size) & 0xFFFFFFFF)
open(path, "wb").write(data)
PY
}

for tree in win32 win64; do
    unsigned=build/$tree/ZIL_Setup.exe
    signed=$work/$tree-signed.exe
    if ! osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "ZIL Setup" -h sha256 \
        -in "$unsigned" -out "$signed" >"$work/sign.log" 2>&1; then
        cat "$work/sign.log"
        fail "$tree: osslsigncode could not sign $unsigned"
        continue
    fi
    osslsigncode verify -in "$signed" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log"; fail "$tree: osslsigncode does not verify the signed file"; }
    grep -q "Signature verification: ok" "$work/verify.log" ||
        fail "$tree: osslsigncode did not report a good signature"

    "$sfxpack" list "$unsigned" >"$work/unsigned.list" || fail "$tree: cannot list the unsigned file"
    "$sfxpack" list "$signed" >"$work/signed.list" || fail "$tree: cannot list the signed file"
    cmp -s "$work/unsigned.list" "$work/signed.list" ||
        fail "$tree: the signed file lists other entries than the unsigned one"
    entries=$(wc -l <"$work/unsigned.list")
    [ "$entries" -gt 0 ] || fail "$tree: no entries listed"

    report=$("$sfxpack" verify "$signed")
    status=$?
    echo "$report" | head -n 1
    [ "$status" -eq 0 ] || fail "$tree: verify refused the signed file: $report"
    echo "$report" | grep -q "result 1002" || fail "$tree: verify gave no success: $report"
    echo "$report" | grep -q "ends at $(stat -c %s "$unsigned")," ||
        fail "$tree: verify puts the archive's end elsewhere than the unsigned file's end"
    echo "$report" | grep -q "certificate table of .* which ends the file" ||
        fail "$tree: verify does not report the certificate table"

    rm -rf "$work/out-unsigned" "$work/out-signed"
    "$sfxpack" extract "$unsigned" "$work/out-unsigned" >/dev/null ||
        fail "$tree: cannot extract the unsigned file"
    "$sfxpack" extract "$signed" "$work/out-signed" >"$work/extract.log" ||
        fail "$tree: cannot extract the signed file: $(cat "$work/extract.log")"
    grep -qx "$entries files extracted successfully" "$work/extract.log" ||
        fail "$tree: extracting the signed file said: $(cat "$work/extract.log")"
    diff -r "$work/out-unsigned" "$work/out-signed" >/dev/null ||
        fail "$tree: the signed file's entries differ from the unsigned file's"

    for case in "a s+8:size past the end" "a-64 s+64:start inside the archive" \
        "0x40 n-0x40:start in the headers" "a+8 s:start moved past the end"; do
        expressions=${case%%:*}
        what=${case#*:}
        cp "$signed" "$work/lying.exe"
        lie "$work/lying.exe" ${expressions% *} ${expressions#* }
        report=$("$sfxpack" verify "$work/lying.exe")
        status=$?
        [ "$status" -eq 2 ] && echo "$report" | grep -q "result 1001" ||
            fail "$tree: a table whose $what was not refused with 1001: $report"
        rm -rf "$work/out-lying"
        "$sfxpack" extract "$work/lying.exe" "$work/out-lying" >/dev/null &&
            fail "$tree: a table whose $what was extracted"
        [ -z "$(ls -A "$work/out-lying" 2>/dev/null)" ] ||
            fail "$tree: a table whose $what left files behind"
    done
    echo "signing: $tree: signed, verified, $entries entries read through the signature, 4 lying tables refused"
done

[ "$failures" -eq 0 ] || { echo "signing: $failures failures"; exit 1; }
echo "signing: all checks passed"
