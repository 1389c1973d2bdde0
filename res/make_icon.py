#!/usr/bin/env python3
"""Draws the program's icon, 32x32 and 16x16 pixels in the 16 standard colours, and writes it
as res/setup.ico. The picture: a blue box holding a white Z above a green progress bar, on a
transparent background."""
import struct
import sys
from pathlib import Path

# The 16 colours of the standard Windows palette, in palette order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, LIME, BLUE, WHITE = 0, 4, 8, 10, 12, 15
CLEAR = None


def draw(size):
    """The picture as rows of palette indexes (None: transparent), top row first."""
    s = size / 32.0
    pixels = [[CLEAR] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < size and 0 <= y < size:
                    pixels[y][x] = colour

    box(2, 2, 30, 30, NAVY)      # the frame
    box(3, 3, 29, 29, BLUE)      # the face
    box(8, 6, 24, 9, WHITE)      # Z: top stroke
    box(8, 18, 24, 21, WHITE)    # Z: bottom stroke
    for step in range(10):       # Z: the diagonal, from top right to bottom left
        x = 21 - step * 13 / 9
        box(x, 9 + step * 0.9, x + 3.5, 10 + step * 0.9 + 0.5, WHITE)
    box(6, 23, 26, 28, GREY)     # the bar's trough
    box(7, 24, 19, 27, LIME)     # the bar, two thirds full
    return pixels


def bitmap(size):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour rows and the 1-bit mask."""
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_rows = []
    mask_rows = []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        nibbles = [BLACK if p is CLEAR else p for p in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colour_rows.append(data.ljust((len(data) + 3) // 4 * 4, b"\0"))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is CLEAR else 0)
        mask = bits.to_bytes(size // 8, "big")
        mask_rows.append(mask.ljust((len(mask) + 3) // 4 * 4, b"\0"))
    return header + palette + b"".join(colour_rows) + b"".join(mask_rows)


def icon(sizes):
    images = [bitmap(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


if __name__ == "__main__":
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("setup.ico")
    target.write_bytes(icon([32, 16]))
