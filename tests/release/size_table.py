#!/usr/bin/env python3
"""What the bare 32-bit setup program's bytes are made of, by origin, read from its link map.

    tests/release/size_table.py [IMAGE [MAP]]      prints the table (Markdown)
    tests/release/size_table.py --readme [...]     writes it into README.md's release section

IMAGE defaults to build/win32/zil-setup.exe, MAP to the map beside it (the build writes one).
Code is what lands in .text, data what lands in .data and .rdata; imports are the import tables
(.idata pieces, which the layout puts among the constants); resources and relocations are their
sections; the rest of the file is headers and the padding of each section
to the file alignment.
"""

import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
README = os.path.join(ROOT, "README.md")
BEGIN = "<!-- size table: tests/release/size_table.py --readme -->"
END = "<!-- end of size table -->"

# The first pattern that matches an input file names its origin; the order is the table's.
ORIGINS = [
    # One unit of the link-time optimiser: the program with the library templates it uses and
    # zlib's inflate (some 10.5 KB of it when linked as plain objects).
    ("the program, zlib's inflate and the templates they use", [r"ltrans", r"CMakeFiles/", r"libzil_"]),
    ("the C++ library", [r"libstdc\+\+", r"libsupc\+\+"]),
    ("libgcc", [r"libgcc"]),
    ("the mingw start-up code and C runtime", [r"crt2\.o", r"crtbegin\.o", r"crtend\.o", r"libmingw", r"libmsvcrt", r"_e?rtr\d+\.o"]),
]
OTHER = "other libraries"
CODE_SECTIONS = {".text"}
DATA_SECTIONS = {".data", ".rdata"}
IMPORTS = "imports"
WHOLE_SECTIONS = [(".rsrc", "resources"), (".reloc", "relocations")]


def origin_of(path):
    for name, patterns in ORIGINS:
        if any(re.search(pattern, path) for pattern in patterns):
            return name
    return OTHER


def read_map(path):
    """Input section sizes by (origin, output section), and each output section's size."""
    pieces = {}
    outputs = {}
    output = None
    pending = None  # an input section whose name took the whole line
    started = False
    with open(path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                started = True
                continue
            if not started:
                continue
            head = re.match(r"^(\.\S+|/DISCARD/)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)", line)
            if head:
                output = head.group(1)
                outputs[output] = int(head.group(3), 16)
                continue
            if re.match(r"^\S", line):
                output = None  # LOAD lines and the like
                continue
            if pending is not None:
                line = pending + line
                pending = None
            if re.match(r"^ \S+$", line) and not line.startswith(" *"):
                pending = line
                continue
            piece = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            # Sections the link dropped are listed at address 0.
            if piece and output and not piece.group(1).startswith("*") and int(piece.group(2), 16):
                if piece.group(1).startswith(".idata"):
                    key = (IMPORTS, output)
                else:
                    key = (origin_of(piece.group(4)), output)
                pieces[key] = pieces.get(key, 0) + int(piece.group(3), 16)
    return pieces, outputs


def table(image, map_path):
    pieces, outputs = read_map(map_path)
    rows = []
    counted = 0
    for name in [origin for origin, _ in ORIGINS] + [OTHER]:
        code = sum(size for (origin, section), size in pieces.items()
                   if origin == name and section in CODE_SECTIONS)
        data = sum(size for (origin, section), size in pieces.items()
                   if origin == name and section in DATA_SECTIONS)
        if code or data:
            rows.append((name, f"{code:,}", f"{data:,}", code + data))
            counted += code + data
    imports = sum(size for (origin, _), size in pieces.items() if origin == IMPORTS)
    rows.append((IMPORTS, "", "", imports))
    counted += imports
    for section, name in WHOLE_SECTIONS:
        size = outputs.get(section, 0)
        rows.append((name, "", "", size))
        counted += size
    total = os.path.getsize(image)
    rows.append(("headers and padding to the file alignment", "", "", total - counted))
    text = ["| origin | code | data | bytes |", "|---|---:|---:|---:|"]
    text += [f"| {name} | {code} | {data} | {size:,} |" for name, code, data, size in rows]
    text.append(f"| **{os.path.basename(image)}** | | | **{total:,}** |")
    return "\n".join(text)


def write_readme(text):
    with open(README, encoding="utf-8") as file:
        readme = file.read()
    if BEGIN not in readme or END not in readme:
        sys.exit(f"size_table: {README} has no size table section to replace")
    before, rest = readme.split(BEGIN, 1)
    after = rest.split(END, 1)[1]
    with open(README, "w", encoding="utf-8") as file:
        file.write(before + BEGIN + "\n\n" + text + "\n\n" + END + after)


def main(arguments):
    readme = arguments[:1] == ["--readme"]
    if readme:
        arguments = arguments[1:]
    image = arguments[0] if arguments else os.path.join(ROOT, "build/win32/zil-setup.exe")
    map_path = arguments[1] if len(arguments) > 1 else os.path.splitext(image)[0] + ".map"
    for path in (image, map_path):
        if not os.path.isfile(path):
            sys.exit(f"size_table: {path} is missing: build the 32-bit release first")
    text = table(image, map_path)
    if readme:
        write_readme(text)
    print(text)


if __name__ == "__main__":
    main(sys.argv[1:])
