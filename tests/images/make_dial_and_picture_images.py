#!/usr/bin/env python3
"""Writes the small images the dial and picture-static tests draw.

Plain colours and opaque bars, so the tests can tell by exact pixel colours
where each needle and picture landed. Deterministic: rerunning rewrites the
same bytes. The colours are repeated in clockpoint_test_ids.h and
statics_test_ids.h.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def bmp_rle8(width, height, colours, pixel):
    """An 8-bit run-length-encoded BMP; pixel(x, y) gives a palette index, y=0 at the top."""
    rows = []
    for y in reversed(range(height)):  # BMP rows run bottom-up
        out = bytearray()
        x = 0
        while x < width:
            index = pixel(x, y)
            run = 1
            while x + run < width and run < 255 and pixel(x + run, y) == index:
                run += 1
            out += bytes([run, index])
            x += run
        out += b"\x00\x00"  # end of line
        rows.append(bytes(out))
    bits = b"".join(rows) + b"\x00\x01"  # end of bitmap
    palette = b"".join(bytes([b, g, r, 0]) for (r, g, b) in colours)
    header_size = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(bits), 2835, 2835,
                       len(colours), 0)
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(bits), 0, 0, header_size)
    return file_header + info + palette + bits


def png_rgba(width, height, pixel):
    """A PNG with an alpha channel; pixel(x, y) gives (r, g, b, a)."""
    raw = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width))
                   for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bar(x0, x1, colour):
    """Transparent, with an opaque vertical bar over columns x0..x1-1 at full height."""
    return lambda x, y: colour + (255,) if x0 <= x < x1 else (0, 0, 0, 0)


FACE = (64, 96, 128)
ENGINE = (255, 0, 0)
MEMORY = (0, 255, 0)
PICTURE_A = (200, 40, 40)
PICTURE_LEFT = (40, 200, 40)
PICTURE_RIGHT = (40, 40, 200)

# Dial: the face, and needles of the program's sizes whose bars are centred on
# the pivot column (engine pivot (11, 34), memory pivot (14, 26)).
write("dial_face.bmp", bmp_rle8(298, 298, [FACE], lambda x, y: 0))
write("dial_engine_needle.png", png_rgba(22, 186, bar(9, 14, ENGINE)))
write("dial_memory_needle.png", png_rgba(28, 107, bar(4, 25, MEMORY)))

# Picture statics: a first picture of the temperature picture's size and a
# smaller one of two halves, whose stretch shows where its middle lands.
write("picture_plain.bmp", bmp_rle8(78, 117, [PICTURE_A], lambda x, y: 0))
write("picture_halves.bmp", bmp_rle8(20, 10, [PICTURE_LEFT, PICTURE_RIGHT],
                                     lambda x, y: 0 if x < 10 else 1))
