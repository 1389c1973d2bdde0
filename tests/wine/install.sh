#!/usr/bin/env bash
# The setup program with the sample payload, end to end under Wine from a brand-new prefix: "/I"
# installs the product and starts its service through Wine's service control manager, "/U"
# removes everything. Checks the exit codes, the installed tree, the service's registration,
# the control codes the real service logged, and the log file; prints how long each run took.
#   tests/wine/install.sh [win32|win64]
# With ZIL_WINE_SIGNED=1 (tests/wine/signed.sh) it runs a copy signed as a vendor signs a release.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
setup="$WINE_BUILD/ZIL_Setup.exe"
payload="$WINE_BUILD/samples/payload"
wine_require "$setup" "$payload"
wine_new_prefix

if [ -n "${ZIL_WINE_SIGNED:-}" ]; then
    # A throw-away certificate of this run's own, and the signature checked as a user's Windows
    # would check it.
    signer=$WINE_CHECK_DIR/signer
    mkdir -p "$signer"
    openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=ZIL throw-away test signer" \
        -keyout "$signer/key.pem" -out "$signer/cert.pem" >"$signer/openssl.log" 2>&1 ||
        wine_die "openssl could not make a certificate (see $signer/openssl.log)"
    # osslsigncode will not overwrite the copy that an earlier run of this check signed.
    rm -f "$WINE_CHECK_DIR/ZIL_Setup.exe"
    osslsigncode sign -certs "$signer/cert.pem" -key "$signer/key.pem" -n "ZIL Setup" \
        -h sha256 -in "$setup" -out "$WINE_CHECK_DIR/ZIL_Setup.exe" >"$signer/sign.log" 2>&1 ||
        wine_die "osslsigncode could not sign $setup (see $signer/sign.log)"
    setup=$WINE_CHECK_DIR/ZIL_Setup.exe
    expect "the signature verifies" \
        "$(osslsigncode verify -CAfile "$signer/cert.pem" -in "$setup" 2>&1 |
            grep -c '^Signature verification: ok')" 1
fi

temp_dir="$drive_c/ZIL_Setup_temp"
service_key='HKLM\System\CurrentControlSet\Services\JovixZIL'
registration() {
    "$WINE" reg query "$service_key" 2>/dev/null | tr -d '\r'
}
value() { registration | awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }

# The service installed by /I must still run when /U comes.
wine_hold_session

# /LOG= after /I, as winget passes it, with a blank in the path.
mkdir -p "$drive_c/zil logs"
echo "== ZIL_Setup.exe /I /LOG=C:\zil logs\install.log"
start=$(date +%s%N)
wine_run 240 "$setup" /I '/LOG=C:\zil logs\install.log'
wine_timing /I "$start"
expect "/I exits 0" "$status" 0
# The payload less the setup-only files, and the setup program kept to uninstall with.
expected=$( ( (cd "$payload" && ls) | grep -v -x -e Close_ZIL.exe -e MOFINS.exe -e MOFUINS.exe \
    -e mofcomp.exe -e vcredist_x86.exe | grep -v '\.mof$' |
    sed -E 's/^(.*\.(bmp|ico))$/ICONs\/\1/'; echo ZIL_Setup.exe) | sort | xargs)
actual=$(cd "$program_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | xargs)
expect "program directory holds the payload less the setup-only files, and the setup program" \
    "$actual" "$expected"
expect "temporary directory gone" "$(test -e "$temp_dir" && echo there || echo gone)" gone
expect "service image path, quoted" "$(value ImagePath)" \
    '"C:\Program Files (x86)\ZIL\ZIL_Service.exe"'
expect "service starts automatically" "$(value Start)" '0x2'
expect "service running" "$(wine_service_state)" '4 RUNNING'
expect "codes the service received" "$(xargs <"$control_log" 2>/dev/null)" '137 133'
expect "the runtime installer did not run for a service that started" \
    "$(test -e "$redist_log" && echo ran || echo 'not run')" 'not run'
log=$(wine_setup_log)
expect "log file names the install and its exit code" \
    "$(head -1 <<<"$log" | grep -o 'install (command line).*exit code 0' | sed 's/, .*,/,/')" \
    'install (command line), exit code 0'
expect "log file holds the start" "$(grep -c -x 'Start Service Success !!!' <<<"$log")" 1
expect "log file names where /LOG= wrote it" \
    "$(grep -c -x -F '  log: also written to C:\zil logs\install.log' <<<"$log")" 1
expect "/LOG= wrote the same log there" \
    "$(tr -d '\r' <"$drive_c/zil logs/install.log" 2>/dev/null)" "$log"

echo "== ZIL_Setup.exe /U"
: >"$control_log"
start=$(date +%s%N)
wine_run 240 "$setup" /U
wine_timing /U "$start"
expect "/U exits 0" "$status" 0
expect "service registration gone" "$(registration | grep -c ImagePath)" 0
# The three codes, then the stop request that ends the service.
expect "codes the service received" "$(xargs <"$control_log" 2>/dev/null)" '139 140 138 1'
expect "program directory gone" "$(test -e "$program_dir" && echo there || echo gone)" gone
expect "temporary directory gone" "$(test -e "$temp_dir" && echo there || echo gone)" gone
log=$(wine_setup_log)
expect "log file holds the uninstall's success" "$(grep -c -x 'Unistall ZIL Success !!!' <<<"$log")" 1
expect "log file ends with the outcome" "$(tail -1 <<<"$log")" \
    'Result: uninstall succeeded (exit code 0)'

wine_verdict
