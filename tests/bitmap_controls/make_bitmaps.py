#!/usr/bin/env python3
"""Writes the small bitmaps and the cursor the bitmap-control tests load as
resources. Deterministic: run it again after changing a picture here and
commit the output beside this script."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

GREY = (128, 128, 128)
RED = (255, 0, 0)
GREEN = (0, 160, 0)
KEY = (0, 0, 255)  # pure blue, the skins' key colour
NAVY = (0, 0, 128)
WHITE = (255, 255, 255)
ORANGE = (255, 200, 0)
SLATE = (100, 100, 100)
CHANNEL = (60, 60, 60)
ACTIVE = (0, 200, 0)
THUMB = (220, 0, 0)
THUMB_ACTIVE = (255, 255, 0)
MAGENTA = (255, 0, 255)


def write_bmp(name, rows):
    """rows: list of rows (top first) of (r, g, b); written as a 24-bit DIB."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = b""
    for row in reversed(rows):
        line = b"".join(bytes((b, g, r)) for (r, g, b) in row)
        pixels += line + b"\0" * (stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    data = b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)) + header + pixels
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def filled(width, height, colour):
    return [[colour] * width for _ in range(height)]


def write_cursor(name, size, hotspot):
    """A monochrome cursor: a black square with a white border."""
    xor_rows, and_rows = [], []
    stride = ((size + 31) // 32) * 4
    for y in range(size):
        bits = 0
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            bits = (bits << 1) | (1 if edge else 0)
        xor_rows.append(bits.to_bytes(size // 8, "big") + b"\0" * (stride - size // 8))
        and_rows.append(b"\0" * stride)
    image = b"".join(reversed(xor_rows)) + b"".join(reversed(and_rows))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, len(image), 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    body = header + palette + image
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 2, 0, hotspot[0], hotspot[1], len(body), 6 + 16)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(directory + entry + body)


def main():
    skin = filled(8, 6, GREY)
    skin[0][0] = RED  # one marker per copy of the skin
    write_bmp("skin.bmp", skin)
    write_bmp("region_solid.bmp", filled(6, 4, GREEN))
    write_bmp("region_key.bmp", filled(6, 4, KEY))
    k, g = KEY, GREEN
    write_bmp("region_runs.bmp", [[k, g, g, k, g, k, k, g], [g, g, k, k, k, g, g, k]])

    normal = [[NAVY if x < 6 else WHITE for x in range(12)] for _ in range(10)]
    normal[0][0] = RED
    write_bmp("button_normal.bmp", normal)
    write_bmp("button_pressed.bmp", filled(12, 10, GREEN))
    write_bmp("button_hover.bmp", filled(12, 10, ORANGE))
    write_bmp("button_disabled.bmp", filled(12, 10, SLATE))
    write_cursor("hand.cur", 32, (5, 7))

    write_bmp("channel.bmp", filled(134, 10, CHANNEL))
    write_bmp("channel_active.bmp", filled(134, 10, ACTIVE))
    thumb = [[MAGENTA if x == 0 else THUMB for x in range(15)] for _ in range(8)]
    write_bmp("thumb.bmp", thumb)
    write_bmp("thumb_active.bmp", filled(15, 8, THUMB_ACTIVE))


if __name__ == "__main__":
    main()
