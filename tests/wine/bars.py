#!/usr/bin/env python3
"""Reads the dialog's progress bars out of screenshots.

    bars.py [--text-box] "LEFT TOP RIGHT BOTTOM [LEFT TOP RIGHT BOTTOM ...]" SHOT.png...

Each rectangle is a bar's window on the screen, border included. For each screenshot one line:
the file, then for each bar "FRACTION FILL BACK TEXT_ON_FILL TEXT_ON_BACK": the filled share of
its width, the fill and background colours (hex), and how many pixels of the middle rows are
drawn in the other part's colour, which is where the percent text shows. No colour is assumed:
the fill is the colour at the bar's left end, the background the colour at its right end.
With --text-box each bar's fields go on with where its percent text is, in screen coordinates:
"TEXT_LEFT,TEXT_TOP,TEXT_RIGHT,TEXT_BOTTOM" (one past the last pixel), "none" for no text.
"""
import subprocess
import sys


def load(path, left, top, right, bottom):
    """The screenshot's pixels inside the rectangle, addressed in screen coordinates."""
    width = right - left
    raw = subprocess.run(["convert", path, "-crop", f"{width}x{bottom - top}+{left}+{top}",
                          "+repage", "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    return left, top, width, raw


def pixel(image, x, y):
    left, top, width, raw = image
    at = 3 * ((y - top) * width + (x - left))
    return raw[at:at + 3].hex()


def bar(image, left, top, right, bottom):
    # One pixel of border on each side; the rows next to it are the bar's own edge.
    inner_left, inner_right = left + 1, right - 2
    inner_top, inner_bottom = top + 1, bottom - 2
    edge_row = inner_top + 1
    fill = pixel(image, inner_left, edge_row)
    back = pixel(image, inner_right, edge_row)
    filled = 0
    if fill != back:
        for x in range(inner_left, inner_right + 1):
            if pixel(image, x, edge_row) != fill:
                break
            filled += 1
    width = inner_right - inner_left + 1
    boundary = inner_left + filled
    text_on_fill = text_on_back = 0
    box = None
    for y in range(inner_top + 2, inner_bottom - 1):
        for x in range(inner_left, inner_right + 1):
            colour = pixel(image, x, y)
            if x < boundary and colour == back:
                text_on_fill += 1
            elif x >= boundary and colour == fill and fill != back:
                text_on_back += 1
            if colour != (fill if x < boundary else back):
                box = [x, y, x + 1, y + 1] if box is None else [
                    min(box[0], x), min(box[1], y), max(box[2], x + 1), max(box[3], y + 1)]
    return filled / width, fill, back, text_on_fill, text_on_back, box


def main():
    args = sys.argv[1:]
    text_box = args[0] == "--text-box"
    if text_box:
        args = args[1:]
    numbers = [int(n) for n in args[0].split()]
    rects = [numbers[i:i + 4] for i in range(0, len(numbers) - 3, 4)]
    bounds = (min(r[0] for r in rects), min(r[1] for r in rects),
              max(r[2] for r in rects), max(r[3] for r in rects))
    for path in args[1:]:
        image = load(path, *bounds)
        fields = [path]
        for rect in rects:
            fraction, fill, back, on_fill, on_back, box = bar(image, *rect)
            fields += [f"{fraction:.3f}", fill, back, str(on_fill), str(on_back)]
            if text_box:
                fields += [",".join(map(str, box)) if box else "none"]
        print(" ".join(fields))


if __name__ == "__main__":
    main()
