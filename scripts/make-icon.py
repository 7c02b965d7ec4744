#!/usr/bin/env python3
"""Draws the Tollamy item icon, a flash card with its corner turned over, and writes it as a
32 x 32, 8 bits-per-pixel .ico (one image): scripts/make-icon.py resources/tollamy.ico"""
import struct
import sys

SIZE = 32
# Palette index -> (r, g, b). Index 0 is the transparent background.
PALETTE = [
    (0, 0, 0),        # 0 transparent
    (40, 48, 72),     # 1 outline
    (255, 255, 255),  # 2 card face
    (214, 222, 240),  # 3 back card
    (32, 96, 200),    # 4 blue question bar
    (230, 90, 40),    # 5 orange answer mark
    (170, 180, 200),  # 6 fold shadow
    (120, 130, 150),  # 7 text lines
]

pixels = [[0] * SIZE for _ in range(SIZE)]


def rect(x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            pixels[y][x] = c


def frame(x0, y0, x1, y1, c):
    for x in range(x0, x1 + 1):
        pixels[y0][x] = c
        pixels[y1][x] = c
    for y in range(y0, y1 + 1):
        pixels[y][x0] = c
        pixels[y][x1] = c


def glyph(x0, y0, rows, c):
    for dy, row in enumerate(rows):
        for dx, ch in enumerate(row):
            if ch == "#":
                pixels[y0 + dy][x0 + dx] = c


# The card behind, shifted right and down: the answer side of the deck, with an "A".
rect(7, 8, 30, 28, 3)
frame(7, 8, 30, 28, 1)
glyph(26, 21, [".#.", "#.#", "###", "#.#", "#.#"], 5)
# The front card: the question side, a blue title bar with a white "?" and lines of text.
rect(1, 3, 24, 24, 2)
frame(1, 3, 24, 24, 1)
rect(2, 4, 23, 12, 4)
glyph(10, 5, [".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."], 2)
for y, right in ((15, 20), (18, 20), (21, 14)):
    rect(4, y, right, y, 7)
# Its lower right corner turned over: behind the cut the back card shows, the flap lies on
# the face as a shaded triangle.
for y in range(20, 25):
    for x in range(20, 25):
        if x + y > 44:
            pixels[y][x] = 3
        elif x + y == 44:
            pixels[y][x] = 1
        else:
            pixels[y][x] = 1 if x == 20 or y == 20 else 6

# Bitmap: BITMAPINFOHEADER (height doubled for the AND mask), palette, XOR rows bottom-up,
# then the 1-bit AND mask (1 = transparent), rows padded to 4 bytes.
header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 256, 0)
palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
palette += b"\0\0\0\0" * (256 - len(PALETTE))
xor = b"".join(bytes(pixels[y]) for y in reversed(range(SIZE)))
mask = b""
for y in reversed(range(SIZE)):
    bits = 0
    for x in range(SIZE):
        bits = (bits << 1) | (1 if pixels[y][x] == 0 else 0)
    mask += struct.pack(">I", bits)
image = header + palette + xor + mask

ico = struct.pack("<HHH", 0, 1, 1)
ico += struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
ico += image
with open(sys.argv[1] if len(sys.argv) > 1 else "tollamy.ico", "wb") as f:
    f.write(ico)
