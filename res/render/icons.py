"""Icon 128 (the application's mark in the usual sizes) and cursor 151 (a
pointing hand), with writers for the icon and cursor file formats."""
import io
import struct

from PIL import Image

from common import P, Layer, polar

ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def mark(size):
    """The mark: a graphite tile holding an accent ring with a surge stroke,
    the 'Q' of Q-Surge. Small sizes use heavier strokes."""
    s = size / 64.0
    lay = Layer(size, size, ss=8 if size <= 32 else 4, k=1.0)
    r_tile = 14 * s
    lay.rrect((0.5 * s, 0.5 * s, 63.5 * s, 63.5 * s), r_tile, fill=(58, 66, 79, 255))
    lay.rrect((1.8 * s, 1.8 * s, 62.2 * s, 62.2 * s), r_tile - 1.3 * s, fill=(24, 28, 35, 255))
    c = (31 * s, 31 * s)
    width = (7.5 if size <= 24 else 6.0) * s
    r = 18.5 * s
    lay.circle(c, r + width / 2, fill=P.accent + (255,))
    lay.circle(c, r - width / 2, fill=(24, 28, 35, 255))
    tail = [(36, 38), (53, 55), (47, 55), (30, 38)]
    lay.polygon([(x * s, y * s) for x, y in tail], P.accent + (255,))
    if size >= 32:
        lay.circle(c, 4.2 * s, fill=(236, 240, 245, 255))
        lay.line([c, polar(c, 13 * s, 235)], (236, 240, 245, 255), 2.6 * s)
    return lay.result()


def _dib(img):
    """32-bit DIB with its AND mask, as icon and cursor entries hold them."""
    w, h = img.size
    head = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    px = img.load()
    rows = []
    for y in range(h - 1, -1, -1):
        rows.append(b"".join(struct.pack("BBBB", px[x, y][2], px[x, y][1], px[x, y][0], px[x, y][3])
                             for x in range(w)))
    stride = ((w + 31) // 32) * 4
    mask = []
    for y in range(h - 1, -1, -1):
        bits = bytearray(stride)
        for x in range(w):
            if px[x, y][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.append(bytes(bits))
    return head + b"".join(rows) + b"".join(mask)


def _container(kind, entries):
    """entries: (image, field1, field2, data); kind 1 = icon, 2 = cursor."""
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for img, f1, f2, data in entries:
        w, h = img.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, f1, f2, len(data), offset)
        offset += len(data)
        body += data
    return out + body


def icon_file():
    entries = []
    for size in ICON_SIZES:
        img = mark(size)
        if size >= 256:
            buf = io.BytesIO()
            img.save(buf, "PNG", optimize=True)
            data = buf.getvalue()
        else:
            data = _dib(img)
        entries.append((img, 1, 32, data))
    return _container(1, entries), strip([mark(s) for s in ICON_SIZES])


def strip(images):
    """Preview: the images side by side, bottoms aligned."""
    w = sum(i.size[0] for i in images) + 8 * (len(images) - 1)
    h = max(i.size[1] for i in images)
    out = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    x = 0
    for i in images:
        out.paste(i, (x, h - i.size[1]))
        x += i.size[0] + 8
    return out


HOTSPOT = (10, 1)
# The hand at the cursor size of each display scale, 100 % to 200 %.
CURSOR_SIZES = (32, 40, 48, 56, 64)


def hotspot(size):
    """HOTSPOT on the hand of size pixels, rounded as the images' sizes are."""
    return tuple((v * size * 2 + 32) // 64 for v in HOTSPOT)


def hand(size=32):
    """A pointing hand drawn at size pixels (32 at 100 %), fingertip at
    hotspot(size): white with a dark outline."""
    parts = [
        ("rrect", (8, 0.5, 13, 18), 2.5),      # index finger
        ("rrect", (12.5, 8, 17, 18), 2.2),     # middle finger
        ("rrect", (16.5, 9, 21, 19), 2.2),     # ring finger
        ("rrect", (20.5, 10.5, 24.5, 20), 2.0),  # little finger
        ("rrect", (8, 14, 24.5, 27), 4.0),     # palm
        ("poly", [(8.6, 15), (4.2, 11.8), (2.4, 13.4), (7.2, 21.5), (10, 24)], 0),  # thumb
        ("rrect", (10, 24, 23, 30.5), 1.5),    # wrist
    ]
    lay = Layer(size, size, ss=8, k=size / 32.0)

    def draw(grow, fill):
        for kind, geo, r in parts:
            if kind == "rrect":
                b = (geo[0] - grow, geo[1] - grow, geo[2] + grow, geo[3] + grow)
                lay.rrect(b, r + grow, fill=fill)
            else:
                cx = sum(p[0] for p in geo) / len(geo)
                cy = sum(p[1] for p in geo) / len(geo)
                pts = []
                for x, y in geo:
                    dx, dy = x - cx, y - cy
                    n = max(1e-6, (dx * dx + dy * dy) ** 0.5)
                    pts.append((x + dx / n * grow, y + dy / n * grow))
                lay.polygon(pts, fill)
    draw(1.1, (12, 14, 18, 255))
    draw(0.0, (255, 255, 255, 255))
    for x, top in ((12.75, 9.5), (16.75, 10.5), (20.75, 12.0)):
        lay.line([(x, top), (x, 16.5)], (70, 76, 86, 255), 0.8)
    return lay.result()


def cursor_file():
    hands = [hand(size) for size in CURSOR_SIZES]
    entries = [(img, *hotspot(img.size[0]), _dib(img)) for img in hands]
    return _container(2, entries), strip(hands + [hands[0].resize((96, 96), Image.NEAREST)])
