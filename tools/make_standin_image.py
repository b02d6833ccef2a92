#!/usr/bin/env python3
"""Writes a deterministic stand-in firmware release as a TI-Text file.

No real firmware ships with the updater, so the built-in image is made here:
the given data segments, a 16-word vector segment at 0xFFE0 and the closing
"q". The first segment starts with an identity block that the device
simulator reads back:

    offset  size  content
    0       8     "VORNIMG" + NUL
    8       8     model tag, NUL-padded
    16      2     version in hundredths, little-endian
    18      2     0
    20      4     CRC-32 (zlib polynomial) over every listed range, in list
                  order, with these four bytes taken as zero; little-endian
    24      2     range count n, little-endian
    26      2     0
    28      8*n   n x (u32 start address, u32 length), little-endian: every
                  data segment of the image, in file order

The rest is seeded pseudo-random filler. The engine checks the converted
image text (five-digit segment markers, 16-bit words, hex letters kept in the
case they were read) against a fixed length and character sum, so the filler
is tuned until the upper-case text sums a multiple of 32 below the target,
and that many hex letters are then written in lower case.

Usage (the TGX release):
    tools/make_standin_image.py --model TGX --version 150 \
        --segment 0x06E00:35840 --segment 0x0FE00:8 \
        --segment 0x10000:155426 --segment 0x0FFC0:32 \
        --target-length 382636 --target-sum 0x14131E2 \
        --output "firmware/TGX 1.50.txt"

The digital-sensor release (SKYRA 61, inside layout C's flash 0x8000-0x87FFF):
    tools/make_standin_image.py --model SKYRA61 --version 150 \
        --segment 0x08000:30208 --segment 0x10000:49152 --segment 0x80000:256 \
        --target-length 159250 --target-sum 0x85A1E2 \
        --output "firmware/SKYRA61 1.50.txt"

A logger release for the update histories of the tests (LG20 2.10, inside the 16-bit map's flash
0x1100-0xF9FF; tests/integration/CMakeLists.txt makes it into the build tree; the engine checks
length and sum only for the built-in image, so these two merely have to be reachable):
    tools/make_standin_image.py --model LG20 --version 210 \
        --segment 0x01200:4096 --segment 0x08000:2048 \
        --target-length 12300 --target-sum 700000 \
        --output "LG20 2.10.txt"

For the built-in releases the target length and sum are the release's check values: the
build passes them to vorn_embed_image (src/bsl/CMakeLists.txt).
"""

import argparse
import struct
import sys
import zlib

MAGIC = b"VORNIMG\0"
TAG_SIZE = 8
HEADER_FIXED = 28          # bytes before the range list
RANGE_ENTRY = 8
VECTOR_BASE = 0xFFE0
VECTOR_COUNT = 16
SKIPPED_LOW, SKIPPED_HIGH = 0xFA00, 0xFDFE   # the loader drops segments starting here
MAX_ADDRESS = 0xFFFFF
BYTES_PER_LINE = 16
MAX_LOWER_CASE = 16        # "a few" lower-case digits at most
TUNE_BYTES = 2             # filler bytes varied in the final search
ENTRY_OFFSET = 0x40        # reset vector: just past the identity block


class SplitMix64:
    """Small seeded generator, identical on every Python version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        return self.next() % n

    def fill(self, count):
        out = bytearray()
        while len(out) < count:
            out += self.next().to_bytes(8, "little")
        return out[:count]


def digit_code(nibble):
    return ord("%X" % nibble)


BYTE_SUM = [digit_code(b >> 4) + digit_code(b & 15) for b in range(256)]
BYTE_LETTERS = [(b >> 4 >= 10) + ((b & 15) >= 10) for b in range(256)]


def text_sum(segments, data):
    """Character sum and length of the converted text, all letters upper case."""
    total = 0
    length = 0
    for (start, size), block in zip(segments, data):
        marker = "@%05X" % start
        total += sum(ord(c) for c in marker)
        length += len(marker)
        total += sum(BYTE_SUM[b] for b in block)
        length += 2 * size
        if size % 2:                       # a trailing byte is completed with "FF"
            total += 2 * ord("F")
            length += 2
    return total, length


def identity_block(model, version, segments):
    tag = model.encode("ascii")
    if len(tag) > TAG_SIZE:
        sys.exit("model tag longer than %d characters" % TAG_SIZE)
    block = bytearray(MAGIC)
    block += tag.ljust(TAG_SIZE, b"\0")
    block += struct.pack("<HHIHH", version, 0, 0, len(segments), 0)
    for start, size in segments:
        block += struct.pack("<II", start, size)
    return block


def crc_of(data):
    crc = 0
    for block in data:
        crc = zlib.crc32(block, crc)
    return crc & 0xFFFFFFFF


def filler_positions(segments, header_size):
    """(segment index, offset) of every byte outside the identity block."""
    for index, (_, size) in enumerate(segments):
        first = header_size if index == 0 else 0
        for offset in range(first, size):
            yield index, offset


def make_data(args, segments):
    header = identity_block(args.model, args.version, segments)
    if segments[0][1] < len(header) + TUNE_BYTES:
        sys.exit("first segment too small for the identity block")
    rng = SplitMix64(args.seed)
    data = [rng.fill(size) for _, size in segments]
    data[0][: len(header)] = header

    # Zero filler bytes (as linkers pad) until the sum is a little below the target.
    positions = list(filler_positions(segments, len(header)))
    tune = positions[-TUNE_BYTES:]
    for index, offset in tune:
        data[index][offset] = 0
    base, length = text_sum(segments, data)     # CRC field and tuning bytes still zero
    if length != args.target_length:
        sys.exit("segments give a text of %d characters, not %d" % (length, args.target_length))
    goal = args.target_sum - 16 * MAX_LOWER_CASE - 2 * 8 * 10 - TUNE_BYTES * 20
    order = positions[:-TUNE_BYTES]
    for i in range(len(order) - 1, 0, -1):
        j = rng.below(i + 1)
        order[i], order[j] = order[j], order[i]
    for index, offset in order:
        if base <= goal:
            break
        base += BYTE_SUM[0] - BYTE_SUM[data[index][offset]]
        data[index][offset] = 0
    if base > goal:
        sys.exit("cannot bring the character sum down to the target")

    # Vary the last filler bytes until sum and CRC together leave a gap of k*32.
    for trial in range(1 << (8 * TUNE_BYTES)):
        total = base
        for n, (index, offset) in enumerate(tune):
            value = (trial >> (8 * n)) & 0xFF
            data[index][offset] = value
            total += BYTE_SUM[value] - BYTE_SUM[0]
        data[0][20:24] = b"\0\0\0\0"
        crc = crc_of(data)
        crc_bytes = struct.pack("<I", crc)
        total += sum(BYTE_SUM[b] - BYTE_SUM[0] for b in crc_bytes)
        gap = args.target_sum - total
        if 0 < gap <= 32 * MAX_LOWER_CASE and gap % 32 == 0:
            data[0][20:24] = crc_bytes
            return data, gap // 32
    sys.exit("no filler tuning reaches the target sum")


def lower_case_marks(segments, data, count, rng, header_size):
    """Picks `count` hex letters of filler bytes to write in lower case."""
    marks = set()
    positions = list(filler_positions(segments, header_size))
    while len(marks) < count:
        index, offset = positions[rng.below(len(positions))]
        value = data[index][offset]
        for nibble, shift in (("hi", 4), ("lo", 0)):
            if (value >> shift) & 15 >= 10 and (index, offset, nibble) not in marks:
                marks.add((index, offset, nibble))
                break
    return marks


def hex_byte(value, lower_hi, lower_lo):
    hi, lo = "%X" % (value >> 4), "%X" % (value & 15)
    return (hi.lower() if lower_hi else hi) + (lo.lower() if lower_lo else lo)


def vector_words(reset):
    """Reset at the entry point; the interrupts at a few handlers just past it."""
    if reset % 2 or reset + 0x10 + 4 * 3 > 0xFFFE:
        sys.exit("reset vector must be an even 16-bit address below 0xFFE0")
    return [reset + 0x10 + 4 * (i % 4) for i in range(VECTOR_COUNT - 1)] + [reset]


def write_ti_text(path, segments, data, marks, vectors):
    lines = []
    for index, ((start, size), block) in enumerate(zip(segments, data)):
        lines.append("@%X" % start)
        for line_start in range(0, size, BYTES_PER_LINE):
            items = []
            for offset in range(line_start, min(size, line_start + BYTES_PER_LINE)):
                items.append(hex_byte(block[offset], (index, offset, "hi") in marks,
                                      (index, offset, "lo") in marks))
            lines.append(" ".join(items))
    lines.append("@%X" % VECTOR_BASE)
    vector_bytes = b"".join(struct.pack("<H", w) for w in vectors)
    for line_start in range(0, len(vector_bytes), BYTES_PER_LINE):
        lines.append(" ".join("%02X" % b for b in vector_bytes[line_start:line_start + BYTES_PER_LINE]))
    lines.append("q")
    with open(path, "w", newline="\n", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")


def parse_segment(text):
    start, _, size = text.partition(":")
    segment = (int(start, 0), int(size, 0))
    if segment[1] <= 0 or segment[0] % 2 or segment[0] + segment[1] - 1 > MAX_ADDRESS:
        sys.exit("bad segment %s" % text)
    if SKIPPED_LOW <= segment[0] <= SKIPPED_HIGH or VECTOR_BASE <= segment[0] <= 0xFFFE:
        sys.exit("segment %s starts where the loader does not take data" % text)
    return segment


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--model", required=True, help="model tag, at most 8 characters")
    parser.add_argument("--version", required=True, type=int, help="version in hundredths (150 = 1.50)")
    parser.add_argument("--segment", required=True, action="append", type=parse_segment,
                        help="START:LENGTH of one data segment, in file order")
    parser.add_argument("--target-length", required=True, type=lambda s: int(s, 0))
    parser.add_argument("--target-sum", required=True, type=lambda s: int(s, 0))
    parser.add_argument("--reset-vector", type=lambda s: int(s, 0),
                        help="entry point; default: first segment start + 0x40")
    parser.add_argument("--seed", type=lambda s: int(s, 0), default=0x564F524E)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    segments = args.segment
    data, lower = make_data(args, segments)
    header_size = HEADER_FIXED + RANGE_ENTRY * len(segments)
    marks = lower_case_marks(segments, data, lower, SplitMix64(args.seed ^ 0x5A5A), header_size)
    reset = args.reset_vector if args.reset_vector is not None else segments[0][0] + ENTRY_OFFSET
    write_ti_text(args.output, segments, data, marks, vector_words(reset))
    print("%s: %d segments, CRC %08X, %d lower-case digits" %
          (args.output, len(segments), struct.unpack("<I", bytes(data[0][20:24]))[0], lower))


if __name__ == "__main__":
    main()
