#!/usr/bin/env bash
# Builds the archive fuzz target with clang and runs it for a bounded time on a seed corpus
# of small archives (good ones, signed ones and near misses, written by fuzz_seeds from the
# product's writer). Exit 0 only when it found no crash.
#   FUZZ_SECONDS (default 60), FUZZ_BUILD_DIR (default build/fuzz)
# The corpus grows in $FUZZ_BUILD_DIR/corpus and is kept between runs; the long run is
#   FUZZ_SECONDS=3600 nice -n 10 tests/fuzz/run.sh
set -uo pipefail
cd "$(dirname "$0")/../.."

build=${FUZZ_BUILD_DIR:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DZIL_FUZZ=ON -DZIL_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target extractor_fuzzer fuzz_seeds -j 2 || exit 1

corpus=$build/corpus
"$build/tests/fuzz/fuzz_seeds" "$corpus" || exit 1

artifacts=$build/artifacts/
mkdir -p "$artifacts"
"$build/tests/fuzz/extractor_fuzzer" "$corpus" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$artifacts" -print_final_stats=1 2>&1 | tail -n 25
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    echo "fuzz: the target failed (status $status); reproducers in $artifacts"
    exit 1
fi
echo "fuzz: no crash in ${seconds}s"
