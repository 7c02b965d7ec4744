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


# The card behind, shifted right and down: the other side of the deck.
rect(7, 8, 30, 28, 3)
frame(7, 8, 30, 28, 1)
# The front card.
rect(1, 3, 24, 24, 2)
frame(1, 3, 24, 24, 1)
# Its blue title bar with a "?" cut out.
rect(2, 4, 23, 9, 4)
for x, y in [(11, 5), (12, 5), (13, 5), (14, 6), (13, 7), (12, 7), (12, 8)]:
    pixels[y][x] = 2
# Text lines on the face.
for y in (13, 16, 19):
    rect(4, y, 20 if y != 19 else 14, y, 7)
# The orange answer mark on the back card, lower right.
rect(26, 22, 28, 26, 5)
# The turned-over corner of the front card.
for i in range(5):
    for j in range(5 - i):
        pixels[24 - i][24 - j] = 0 if i + j < 4 else pixels[24 - i][24 - j]
for i in range(5):
    pixels[20 + i][24 - i] = 1
rect(21, 21, 22, 22, 6)
pixels[23][21] = 6

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
