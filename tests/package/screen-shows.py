#!/usr/bin/env python3
"""Tells whether an X window dump (xwd) shows the pixels of one of some PNG captures.

    screen-shows.py SCREEN.xwd SCREEN.png ITEM.png...

Writes the dump as SCREEN.png (to look at when a check fails). Exit status 0 when the pixels of
one of the ITEM.png appear, row for row, somewhere in the dump; 1 when none does.
"""
import importlib.machinery
import os
import struct
import sys
import types
import zlib

# check-png.py's PNG reading and writing; its name is no module name, so it is loaded by path.
loader = importlib.machinery.SourceFileLoader(
    "check_png", os.path.join(os.path.dirname(__file__), "..", "host", "check-png.py"))
check_png = types.ModuleType(loader.name)
loader.exec_module(check_png)


def xwd_rows(path):
    """The dump's rows as RGB bytes (a 24- or 32-bit TrueColor ZPixmap)."""
    with open(path, "rb") as f:
        data = f.read()
    header = struct.unpack(">25I", data[:100])
    size, width, height = header[0], header[4], header[5]
    order, bpp, stride = header[7], header[11], header[12]
    masks, ncolours = header[14:17], header[19]
    if bpp != 32:
        raise ValueError("unexpected xwd format: %d bits per pixel" % bpp)
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    start = size + 12 * ncolours
    fmt = (">" if order else "<") + "%dI" % width
    rows = []
    for y in range(height):
        line = struct.unpack_from(fmt, data, start + y * stride)
        rows.append(bytes(b for p in line for b in ((p >> shifts[0]) & 255,
                                                    (p >> shifts[1]) & 255,
                                                    (p >> shifts[2]) & 255)))
    return width, height, rows


def png_rgb_rows(path):
    width, height, channels, rows = check_png.pixels(path)
    if channels == 3:
        return width, height, rows
    return width, height, [bytes(b for i, b in enumerate(r) if i % 4 != 3) for r in rows]


def shows(screen, patch):
    _, _, srows = screen
    _, pheight, prows = patch
    for y in range(len(srows) - pheight + 1):
        at = srows[y].find(prows[0])
        while at != -1:
            if at % 3 == 0 and all(srows[y + i][at:at + len(prows[i])] == prows[i]
                                   for i in range(1, pheight)):
                return True
            at = srows[y].find(prows[0], at + 1)
    return False


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + r for r in rows)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main(args):
    screen = xwd_rows(args[0])
    write_png(args[1], *screen)
    return 0 if any(shows(screen, png_rgb_rows(item)) for item in args[2:]) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
