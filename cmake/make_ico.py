#!/usr/bin/env python3
"""Joins PNG pictures into one Windows icon file: make_ico.py OUT.ico IN.png...

Each picture is kept as PNG inside the icon, as Windows has read them since Vista."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("not a PNG picture")
    return struct.unpack(">II", data[16:24])


def main():
    out, inputs = sys.argv[1], sys.argv[2:]
    pictures = [open(path, "rb").read() for path in inputs]
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, bodies = b"", b""
    for data in pictures:
        width, height = png_size(data)
        # 256 is written as 0 in the one-byte fields.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        bodies += data
        offset += len(data)
    with open(out, "wb") as icon:
        icon.write(header + entries + bodies)


main()
