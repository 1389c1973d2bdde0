#!/usr/bin/env bash
# Builds the archive fuzz target with clang and runs it for a bounded time on a seed corpus
# of small archives (good ones, signed ones and near misses). Exit 0 only when it found no crash.
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

def raw(image, streams, records, version=b"1.10"):
    """Records as given, lies included: (offset, size, packed, name)."""
    directory = b"".join(struct.pack("<III", o, s, p) + n + struct.pack("<I", len(n)) for o, s, p, n in records)
    return image + b"".join(streams) + directory + struct.pack("<I", len(records)) + version + b"!QORA_SFX!"

def pe(plus):
    """PE headers as far as the security directory, padded to 512 bytes."""
    image = bytearray(512)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x84, 0x8664 if plus else 0x14C, 1, 0, 0, 0, 240 if plus else 224, 0)
    struct.pack_into("<H", image, 0x98, 0x20B if plus else 0x10B)
    struct.pack_into("<I", image, 0x98 + (108 if plus else 92), 16)
    return bytes(image)

def signed(data, plus):
    table = struct.pack("<IHH", 64, 0x200, 2) + b"\x30" * 56
    data = bytearray(data + table)
    struct.pack_into("<II", data, 0x98 + (144 if plus else 128), len(data) - len(table), len(table))
    return bytes(data)

text = b"".join(b"line %d of the readme\r\n" % i for i in range(300))
sa, sb = zlib.compress(b"alpha" * 40), zlib.compress(b"beta" * 30)
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
    "overlap": raw(b"MZ", [sa], [(2, 200, len(sa), b"a"), (2, 200, len(sa), b"b")]),
    "gap": raw(b"MZ", [sa, b"!", sb], [(2, 200, len(sa), b"a"), (3 + len(sa), 120, len(sb), b"b")]),
    "duplicate": raw(b"MZ", [sa, sb], [(2, 200, len(sa), b"a.txt"), (2 + len(sa), 120, len(sb), b"A.TXT")]),
    "icons": raw(b"MZ", [sa], [(2, 200, len(sa), b"ICONs")]),
    "com0": raw(b"MZ", [sa], [(2, 200, len(sa), b"COM0.txt")]),
    "superscript": raw(b"MZ", [sa], [(2, 200, len(sa), b"LPT\xb9")]),
    "garbage": raw(b"MZ", [sa, b"junk"], [(2, 200, len(sa) + 4, b"a")]),
    "packedlie": raw(b"MZ", [sa, sb], [(2, 200, len(sa) - 3, b"a"), (len(sa) - 1, 120, len(sb) + 3, b"b")]),
    "signed32": signed(archive([(b"a.txt", b"hello", None), (b"b.txt", text, None)], image=pe(False)), False),
    "signed64": signed(archive([(b"a.txt", b"hello", None)], image=pe(True)), True),
    "unsignedpe": archive([(b"a.txt", b"hello", None)], image=pe(False)),
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
