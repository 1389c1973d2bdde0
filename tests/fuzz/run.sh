#!/usr/bin/env bash
# Builds the archive fuzz target with clang and runs it for a bounded time on a seed corpus
# of small archives (good ones and near misses). Exit 0 only when it found no crash.
#   FUZZ_SECONDS (default 60), FUZZ_BUILD_DIR (default build/fuzz)
set -uo pipefail
cd "$(dirname "$0")/../.."

build=${FUZZ_BUILD_DIR:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DZIL_FUZZ=ON -DZIL_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target extractor_fuzzer -j 2 || exit 1

corpus=$build/corpus
mkdir -p "$corpus"
python3 - "$corpus" <<'PY'
import struct, sys, zlib, os
corpus = sys.argv[1]

def archive(entries, image=b"MZ", count=None, version=b"1.10"):
    data, records, offset = b"", b"", len(image)
    for name, payload, stream in entries:
        stream = stream if stream is not None else zlib.compress(payload, 6)
        records += struct.pack("<III", offset, len(payload), len(stream)) + name + struct.pack("<I", len(name))
        data += stream
        offset += len(stream)
    n = len(entries) if count is None else count
    return image + data + records + struct.pack("<I", n) + version + b"!QORA_SFX!"

text = b"".join(b"line %d of the readme\r\n" % i for i in range(300))
seeds = {
    "one": archive([(b"a.txt", b"hello", None)]),
    "three": archive([(b"x.bmp", bytes(range(256)) * 20, None), (b"readme.txt", text, None),
                      (b"empty", b"", None)]),
    "emptyname": archive([(b"", b"data", None)]),
    "count0": archive([], count=0),
    "count257": archive([(b"a", b"a", None)], count=257),
    "version": archive([(b"a", b"a", None)], version=b"1.11"),
    "device": archive([(b"CON.txt", b"x", None)]),
    "dotdot": archive([(b"..", b"x", None)]),
    "stored": archive([(b"s.bin", os.urandom(300), zlib.compress(os.urandom(300), 0))]),
    "badsize": archive([(b"a", b"abc", zlib.compress(b"abcd"))]),
    "trailer": b"\x00\x00\x00\x001.10!QORA_SFX!",
}
for name, data in seeds.items():
    with open(os.path.join(corpus, name), "wb") as f:
        f.write(data)
PY

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
