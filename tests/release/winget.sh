#!/usr/bin/env bash
# The winget manifests beside the release files: they parse as YAML 1.1 readers parse them, and
# what they say is what the program does. Their version is the one the installer carries, their
# hash the packed installer's, their exit codes the program's own, and the entry they tell winget
# to match (key name, name, publisher, version) is the one the program writes: the host build of
# the same tree installs on a fresh simulated machine and its registry is read. The set written
# again for a signed file takes the signed file's hash and version, and refuses a VERSION that
# is not the installer's, a file that names no version and one that names two.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
win32=${1:-$root/build/win32}
host=${2:-$root/build/host}
for needed in "$win32/ZIL_Setup.exe" "$win32/winget" "$host/ZIL_Setup"; do
    if [ ! -e "$needed" ]; then
        echo "FAIL $needed is missing: run scripts/build.sh"
        exit 1
    fi
done
for tool in osslsigncode openssl; do
    command -v "$tool" >/dev/null || { echo "FAIL $tool is not installed"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/machine"
ZIL_MACHINE=$work/machine ZIL_CLOCK=virtual ZIL_UI=none "$host/ZIL_Setup" /I
status=$?
if [ "$status" -ne 0 ]; then
    echo "FAIL the host program's install ended $status"
    exit 1
fi
check() {  # MANIFEST_DIR INSTALLER
    python3 "$root/tests/release/winget_check.py" "$1" "$2" "$work/machine/registry.txt" \
        "$root/setup/SetupExitCode.h" "$root/res/ProductVersion.h.in"
}
failures=0
check "$win32/winget" "$win32/ZIL_Setup.exe" || failures=$((failures + 1))

write() {  # INSTALLER OUTPUT_DIR [-DVERSION=...]
    cmake -DINSTALLER="$1" -DOUTPUT_DIR="$2" -DSOURCE_DIR="$root" "${@:3}" \
        -DINSTALLER_URL=https://www.example.com/zil/ZIL_Setup.exe \
        -P "$root/cmake/WriteWingetManifests.cmake" >"$work/write.log" 2>&1
}
refused() {  # WHAT OUTPUT_DIR, right after write
    if [ "$?" -ne 0 ] && [ ! -e "$2" ]; then
        echo "ok   refused: $1: $(sed -n '2s/^ *//p' "$work/write.log")"
    else
        echo "FAIL not refused, or manifests written: $1"
        failures=$((failures + 1))
    fi
}
prefix=$(sed -n 's/^#define ZIL_PRODUCT_VERSION_MARK_PREFIX "\(.*\)"$/\1/p' \
    "$root/res/ProductVersion.h.in")

# The set for the signed file, as a release writes it before publishing.
signed=$work/ZIL_Setup-signed.exe
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=ZIL throw-away test signer" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 &&
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "ZIL Setup" -h sha256 \
        -in "$win32/ZIL_Setup.exe" -out "$signed" >"$work/sign.log" 2>&1 ||
    {
        cat "$work/openssl.log" "$work/sign.log"
        echo "FAIL the installer could not be signed"
        exit 1
    }
version=$(sed -n 's/^PackageVersion: "\(.*\)"$/\1/p' "$win32/winget/ZIL.ZIL.yaml")
if write "$signed" "$work/signed"; then
    echo "ok   the set is written again for the signed file"
    if check "$work/signed" "$signed" >"$work/signed.log"; then
        echo "ok   the signed file's set passes the same checks, with the signed file's hash"
    else
        cat "$work/signed.log"
        failures=$((failures + 1))
    fi
else
    cat "$work/write.log"
    echo "FAIL the set could not be written for the signed file"
    failures=$((failures + 1))
fi
if write "$signed" "$work/same" -DVERSION="$version"; then
    echo "ok   the signed file's own version $version is accepted"
else
    cat "$work/write.log"
    echo "FAIL -DVERSION=$version, the signed file's own, was refused"
    failures=$((failures + 1))
fi
write "$signed" "$work/other" -DVERSION="$version.1"
refused "-DVERSION=$version.1 for an installer of $version" "$work/other"
write "$root/res/ProductVersion.h.in" "$work/none"
refused "a file that names no version" "$work/none"
{ cat "$signed"; printf '%s9.9\0' "$prefix"; } >"$work/two.exe"
write "$work/two.exe" "$work/two"
refused "a file that names two versions" "$work/two"

# A version that a YAML 1.1 reader would take for a number if it were not quoted: the signed
# file's own, replaced in place (padded with NULs) by 1.10, or by 1.0 where 1.10 is too long.
ten=$( ((${#version} >= 4)) && echo 1.10 || echo 1.0)
python3 - "$signed" "$work/ten.exe" "$prefix" "$version" "$ten" <<'PY'
import sys
source, target, prefix, old, new = sys.argv[1:]
data = open(source, "rb").read()
old, new = (prefix + old + "\0").encode(), (prefix + new + "\0").encode()
assert data.count(old) == 1, "the signed file does not name its version once"
open(target, "wb").write(data.replace(old, new.ljust(len(old), b"\0")))
PY
if [ "$?" -eq 0 ] && write "$work/ten.exe" "$work/ten" -DVERSION=$ten; then
    python3 "$root/tests/release/winget_check.py" --versions "$work/ten" "$ten" ||
        failures=$((failures + 1))
else
    cat "$work/write.log"
    echo "FAIL no set for an installer of version $ten"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
