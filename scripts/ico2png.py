#!/usr/bin/env python3
"""Converts the first image of a Windows .ico (an uncompressed BMP of 1, 4, 8, 24 or 32 bits
per pixel, with its AND mask) to an RGBA PNG of the same size, for the desktop entry's icon:

    ico2png.py resources/tollamy.ico tollamy.png
"""
import struct
import sys
import zlib


def read_ico(data):
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1 or count < 1:
        raise ValueError("not an icon file")
    size, offset = struct.unpack_from("<II", data, 6 + 8)
    image = data[offset:offset + size]
    if image[:8] == b"\x89PNG\r\n\x1a\n":
        raise ValueError("the icon's image is a PNG already")
    (header_size, width, height2, _, bits, compression, _, _, _, used, _) = struct.unpack_from(
        "<IiiHHIIiiII", image, 0)
    height = height2 // 2
    if compression != 0 or bits not in (1, 4, 8, 24, 32) or width <= 0 or height <= 0:
        raise ValueError("unsupported icon image (%d bits, compression %d)" % (bits, compression))
    colours = (used or 1 << bits) if bits <= 8 else 0
    palette = [struct.unpack_from("BBBB", image, header_size + 4 * i)[2::-1]
               for i in range(colours)]
    pos = header_size + 4 * colours
    stride = (width * bits + 31) // 32 * 4
    mask_stride = (width + 31) // 32 * 4
    mask_pos = pos + stride * height
    if mask_pos + mask_stride * height > len(image):
        raise ValueError("the icon's image is cut short")
    rows = []
    for y in range(height):
        src = height - 1 - y  # bottom-up
        line = image[pos + src * stride:pos + (src + 1) * stride]
        mask = image[mask_pos + src * mask_stride:mask_pos + (src + 1) * mask_stride]
        out = bytearray()
        for x in range(width):
            transparent = mask[x // 8] >> (7 - x % 8) & 1
            if bits <= 8:
                index = line[x * bits // 8] >> (8 - bits - x * bits % 8) & ((1 << bits) - 1)
                r, g, b = palette[index]
                a = 0 if transparent else 255
            else:
                step = bits // 8
                b, g, r = line[x * step:x * step + 3]
                a = line[x * 4 + 3] if bits == 32 else (0 if transparent else 255)
            out += bytes((r, g, b, a))
        rows.append(bytes(out))
    return width, height, rows


def png(width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(args):
    if len(args) != 2:
        print("usage: ico2png.py ICON PNG", file=sys.stderr)
        return 2
    try:
        with open(args[0], "rb") as f:
            width, height, rows = read_ico(f.read())
    except (OSError, ValueError, struct.error) as error:
        print("ico2png.py: %s: %s" % (args[0], error), file=sys.stderr)
        return 1
    with open(args[1], "wb") as f:
        f.write(png(width, height, rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
