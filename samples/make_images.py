#!/usr/bin/env python3
"""Writes the sample payload's generated files: the product's images (.bmp), its icon (.ico)
and its small sensor database. Everything is a pure function of the file name, so two builds
produce the same bytes and the archive only changes when this script does.

    make_images.py OUTPUT_DIR --list     prints the names it would write, one a line
    make_images.py OUTPUT_DIR            writes them
"""
import struct
import sys
import zlib

# Families of images the product's dialogs and tray use; the counts add up to 77.
FAMILIES = [
    ("Tray", 12), ("Status", 14), ("Button", 16), ("Gauge", 10),
    ("Alarm", 9), ("Chart", 8), ("Logo", 8),
]
SIZES = [(96, 96), (128, 96), (112, 112), (96, 80), (120, 104)]

ICON_NAME = "ZIL.ico"
DATABASE_NAME = "ZIL_Sensors.db"


def image_names():
    names = []
    for family, count in FAMILIES:
        names += ["%s_%02d.bmp" % (family, i + 1) for i in range(count)]
    return names


def seed_of(name):
    return zlib.crc32(name.encode("ascii"))


def pixel(x, y, seed, width, height):
    # Two gradients and a ring: images that compress like real artwork rather than noise.
    r = (x * 255 // max(width - 1, 1) + (seed & 0xFF)) & 0xFF
    g = (y * 255 // max(height - 1, 1) + ((seed >> 8) & 0xFF)) & 0xFF
    cx, cy = width // 2, height // 2
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    ring = (min(width, height) // 3) ** 2
    b = 0xFF if abs(d2 - ring) < width * 2 else ((x ^ y) * 3 + (seed >> 16)) & 0xFF
    return b, g, r  # BMP rows hold blue, green, red


def bmp_bytes(name, index):
    width, height = SIZES[index % len(SIZES)]
    seed = seed_of(name)
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in range(height):  # bottom-up, as a positive height means
        row = bytearray()
        for x in range(width):
            row += bytes(pixel(x, y, seed, width, height))
        row += b"\0" * (stride - len(row))
        rows += row
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return header + info + rows


def ico_bytes():
    size = 32
    seed = seed_of(ICON_NAME)
    xor = bytearray()
    for y in range(size):
        for x in range(size):
            b, g, r = pixel(x, y, seed, size, size)
            xor += bytes((b, g, r, 0xFF))
    and_mask = b"\0" * (size * size // 8)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask),
                       0, 0, 0, 0)
    image = info + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def database_bytes():
    # A fixed-record table of the sensors the service watches: a header, then 64 records of
    # id, kind, threshold and a name padded to 24 bytes.
    kinds = [b"TEMP", b"FAN_", b"VOLT", b"DISK"]
    records = bytearray()
    for i in range(64):
        name = b"Sensor_%02d" % i
        records += struct.pack("<I4sf24s", i + 1, kinds[i % 4], 40.0 + i * 0.5, name)
    header = struct.pack("<8sII", b"ZILDB\x001\0", 64, zlib.crc32(records))
    return header + records


def outputs():
    files = {name: (lambda n=name, i=i: bmp_bytes(n, i)) for i, name in enumerate(image_names())}
    files[ICON_NAME] = ico_bytes
    files[DATABASE_NAME] = database_bytes
    return files


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    files = outputs()
    if "--list" in argv[2:]:
        print("\n".join(sorted(files)))
        return 0
    for name, make in sorted(files.items()):
        with open("%s/%s" % (argv[1], name), "wb") as out:
            out.write(make())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
