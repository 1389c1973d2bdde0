#!/usr/bin/env bash
# The whole test suite from a fresh checkout: packages, both builds, unit and sequence tests,
# the fuzz target for a bounded time, the release checks (size, two builds compared), the
# Windows builds signed, and the Windows build under Wine and Xvfb.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh || exit 1
scripts/build.sh || { echo "build failed"; exit 1; }

passed=0
failed=0
count() {  # name, exit status
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1)); echo "PASS $1"
    else
        failed=$((failed + 1)); echo "FAIL $1"
    fi
}

# A brand-new prefix per Windows build, made while the host's tests run; each Wine check copies
# one instead of spending half a minute under the emulator on `wineboot -i`.
mkdir -p build/wine/logs
rm -f build/wine/timings.txt
for build in win32 win64; do
    bash tests/wine/prefix.sh "$build" >"build/wine/logs/prefix-$build.log" 2>&1 &
    eval "prefix_$build=$!"
done

ctest --test-dir build/host --output-on-failure -j "$(nproc)" | tee build/ctest.log
ctest_status=${PIPESTATUS[0]}
ctest_passed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' build/ctest.log)
if [ -n "$ctest_passed" ]; then
    read -r total bad <<<"$ctest_passed"
    passed=$((passed + total - bad)); failed=$((failed + bad))
fi
[ "$ctest_status" -ne 0 ] && [ -z "$ctest_passed" ] && failed=$((failed + 1))

for check in tests/style/format.sh tests/fuzz/run.sh tests/signing/run.sh tests/wine/resources.sh \
    tests/release/stub_size.sh tests/release/reproducible.sh tests/release/winget.sh; do
    bash "$check"
    count "$check" $?
done

# The Wine checks: each scenario in a brand-new prefix of its own with its own wine server, so
# several run at once; three keep the two cores busy, since much of a check is waiting. The
# product's i686 build runs every scenario; its x86-64 twin runs the two that time both builds.
# Longest first, so the last one does not run alone.
for build in win32 win64; do
    pid_name=prefix_$build
    wait "${!pid_name}"
    status=$?
    cat "build/wine/logs/prefix-$build.log"
    count "tests/wine/prefix.sh $build" "$status"
done

wine_checks=(
    "services win32" "interactive win32" "dpi win32" "install win32" "slowstart win32" "damaged win32"
    "nostart win32" "dialog win32" "planted win32" "second win32" "runtime win32"
    "signed win32" "held win32" "swapped win32" "tempveto win32" "deploy win32" "account win32"
    "links win32" "redist win32"
    "install win64" "dialog win64"
)
run_wine_check() {  # name, build
    local log=build/wine/logs/$1-$2.log start=$SECONDS
    ZIL_WINE_TEMPLATE=$PWD/build/wine/$2/prefix/prefix bash "tests/wine/$1.sh" "$2" >"$log" 2>&1
    local status=$?
    echo "$status $((SECONDS - start))" >"$log.status"
}
wine_start=$SECONDS
for entry in "${wine_checks[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "${ZIL_WINE_JOBS:-3}" ]; do
        wait -n
    done
    run_wine_check $entry &
done
wait
for entry in "${wine_checks[@]}"; do
    read -r name build <<<"$entry"
    log=build/wine/logs/$name-$build.log
    echo "---- tests/wine/$name.sh $build"
    cat "$log"
    read -r status seconds <"$log.status" 2>/dev/null || status=1
    echo "     (${seconds:-?} s)"
    count "tests/wine/$name.sh $build" "$status"
done
echo "Wine checks: $((SECONDS - wine_start)) s in all"
if [ -f build/wine/timings.txt ]; then
    echo "Wine timings (ms):"
    sort build/wine/timings.txt | awk '{ build = $1; check = $2; ms = $NF; $1 = $2 = $NF = "";
        sub(/^ +/, ""); sub(/ +$/, ""); printf "  %-6s %-12s %-34s %7d\n", build, check, $0, ms }'
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
