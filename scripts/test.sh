#!/usr/bin/env bash
# The whole test suite from a fresh checkout: packages, both builds, unit and sequence tests,
# the fuzz target for a bounded time, the Windows build signed, and under Wine and Xvfb.
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

ctest --test-dir build/host --output-on-failure -j "$(nproc)" | tee build/ctest.log
ctest_status=${PIPESTATUS[0]}
ctest_passed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' build/ctest.log)
if [ -n "$ctest_passed" ]; then
    read -r total bad <<<"$ctest_passed"
    passed=$((passed + total - bad)); failed=$((failed + bad))
fi
[ "$ctest_status" -ne 0 ] && [ -z "$ctest_passed" ] && failed=$((failed + 1))

for check in tests/fuzz/run.sh tests/signing/run.sh tests/wine/*.sh; do
    [ "$check" = tests/wine/lib.sh ] && continue  # shared by the checks, not one itself
    bash "$check"
    count "$check" $?
done

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
