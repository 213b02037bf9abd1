#!/usr/bin/env python3
"""Draws the demo driver's pictures from the pixel art below and writes them beside this
script: the three tray icons (32-bit with alpha and an AND mask; each with images of 16,
24 and 32 pixels, for the notification area at 96, 144 and 192 DPI) and the 16x16 24-bit
menu bitmaps. Run once; the outputs are committed. No libraries needed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# A printer: paper on top, the body (c: the state colour), a slot and a printed page.
PRINTER = [
    "................",
    "....kkkkkkkk....",
    "....kwwwwwwk....",
    "....kwkkkkwk....",
    "..kkkwwwwwwkkk..",
    ".kccccccccccccck",
    ".kcllllllllllcck",
    ".kccccccccccccck",
    ".kcckkkkkkkkccck",
    ".kccccccccccccck",
    "..kkkwwwwwwkkk..",
    "....kwkkkkwk....",
    "....kwwwwwwk....",
    "....kkkkkkkk....",
    "................",
    "................",
]

# The state badge, bottom right, drawn over the printer ('.' leaves the printer).
BADGES = {
    "ok": [  # a round light
        "..kkk..",
        ".kbbbk.",
        "kbbbbbk",
        "kbbbbbk",
        "kbbbbbk",
        ".kbbbk.",
        "..kkk..",
    ],
    "warning": [  # a triangle with an exclamation mark
        "...k...",
        "..kbk..",
        "..kkk..",
        ".kbkbk.",
        ".kbbbk.",
        "kbbkbbk",
        "kkkkkkk",
    ],
    "error": [  # a stop sign with a cross
        ".kkkkk.",
        "kccccck",
        "kcwcwck",
        "kccwcck",
        "kcwcwck",
        "kccccck",
        ".kkkkk.",
    ],
}

STATES = [  # icon resource 700, 701, 702
    ("printer_ok.ico", "ok", (0x2E, 0xA0, 0x43), (0x7C, 0xE0, 0x8A)),
    ("printer_warning.ico", "warning", (0xE0, 0x9A, 0x10), (0xFF, 0xD0, 0x40)),
    ("printer_error.ico", "error", (0xC8, 0x24, 0x24), (0xFF, 0x60, 0x60)),
]

TEST_PAGE = [  # menu bitmap 920: a page with a heading and lines
    "................",
    "...kkkkkkkkk....",
    "...kwwwwwwwkk...",
    "...kwbbbbbwkwk..",
    "...kwwwwwwwkkkk.",
    "...kwggggggwwk..",
    "...kwwwwwwwwwk..",
    "...kwggggggwwk..",
    "...kwwwwwwwwwk..",
    "...kwgggggwwwk..",
    "...kwwwwwwwwwk..",
    "...kwggggggwwk..",
    "...kwwwwwwwwwk..",
    "...kkkkkkkkkkk..",
    "................",
    "................",
]

CLEANING = [  # menu bitmap 921: a drop of cleaning fluid
    "................",
    ".......kk.......",
    "......kbbk......",
    "......kbbk......",
    ".....kbbbbk.....",
    ".....kbbbbk.....",
    "....kbbbbbbk....",
    "...kbbwbbbbbk...",
    "...kbwwbbbbbk...",
    "..kbbwbbbbbbbk..",
    "..kbbbbbbbbbbk..",
    "..kbbbbbbbbbbk..",
    "...kbbbbbbbbk...",
    "....kbbbbbbk....",
    ".....kkkkkk.....",
    "................",
]


def paint(art, palette, base=None):
    """Rows of (r, g, b, a) from the art; a '.' is transparent unless base gives a pixel."""
    rows = [list(r) for r in base] if base else [[None] * 16 for _ in range(16)]
    for y, line in enumerate(art):
        for x, ch in enumerate(line):
            if ch != ".":
                rows[y][x] = palette[ch]
    return rows


def overlay(rows, art, palette, left, top):
    for y, line in enumerate(art):
        for x, ch in enumerate(line):
            if ch != ".":
                rows[top + y][left + x] = palette[ch]


def scale(rows, size):
    """The art at size x size, pixel for pixel from the nearest source pixel."""
    return [[rows[y * len(rows) // size][x * len(rows) // size] for x in range(size)] for y in range(size)]


def icon_image(rows):
    size = len(rows)
    xor = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        bits = 0
        for x, px in enumerate(row):
            r, g, b, a = px if px else (0, 0, 0, 0)
            xor += bytes((b, g, r, a))
            if not px:
                bits |= 1 << (size - 1 - x)
        mask += bits.to_bytes((size + 7) // 8, "big").ljust((size + 31) // 32 * 4, b"\0")  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def write_icon(path, rows, sizes=(16, 24, 32)):
    images = [icon_image(scale(rows, size)) for size in sizes]
    icondir = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(icondir + entries + b"".join(images))


def write_bitmap(path, rows, background=(0xFF, 0xFF, 0xFF)):
    pixels = b""
    for row in reversed(rows):
        for px in row:
            r, g, b = px[:3] if px else background
            pixels += bytes((b, g, r))
    info = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(head + info + pixels)


def main():
    black = (0x20, 0x20, 0x20, 0xFF)
    white = (0xFF, 0xFF, 0xFF, 0xFF)
    for name, badge, body, light in STATES:
        palette = {"k": black, "w": white, "c": body + (0xFF,), "l": light + (0xFF,), "b": light + (0xFF,)}
        rows = paint(PRINTER, palette)
        art = BADGES[badge]
        overlay(rows, art, palette, 16 - max(len(r) for r in art), 16 - len(art))
        write_icon(os.path.join(HERE, name), rows)

    grey = (0x90, 0x90, 0x90, 0xFF)
    blue = (0x20, 0x60, 0xD0, 0xFF)
    write_bitmap(os.path.join(HERE, "testpage.bmp"), paint(TEST_PAGE, {"k": black, "w": white, "g": grey, "b": blue}))
    cyan = (0x30, 0xB0, 0xF0, 0xFF)
    write_bitmap(os.path.join(HERE, "cleaning.bmp"), paint(CLEANING, {"k": black, "w": white, "b": cyan}))


if __name__ == "__main__":
    main()
