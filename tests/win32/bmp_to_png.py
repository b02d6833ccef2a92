#!/usr/bin/env python3
"""Turns the window's 24-bit BMP pictures into PNG: bmp_to_png.py IN.bmp OUT.png"""
import struct
import sys
import zlib


def read_bmp(path):
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise SystemExit(f"{path}: {bits}-bit pictures are not handled")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = height - 1 - y if height > 0 else y  # BMP rows go bottom-up when the height is positive
        row = data[offset + source * stride: offset + source * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(bytes(rgb))
    return width, abs(height), rows


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                  chunk(b"IEND", b""))


write_png(sys.argv[2], *read_bmp(sys.argv[1]))
