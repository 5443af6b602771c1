"""Small pictograms drawn into a box (x, y, w, h) of an image: the window
buttons' glyphs and the icons of the main window's keys."""
import math

from common import Layer, over, polar


def _put(img, lay):
    img.paste(over(img, lay))


def minimise(img, box, colour):
    x, y, w, h = box
    lay = Layer(*img.size)
    cx = x + w / 2
    lay.rect((round(cx - 4.5), y + h // 2 + 1, round(cx + 4.5), y + h // 2 + 3), colour + (255,))
    _put(img, lay)


def close(img, box, colour):
    x, y, w, h = box
    lay = Layer(*img.size)
    cx, cy, r = x + w / 2, y + h / 2, 4.0
    lay.line([(cx - r, cy - r), (cx + r, cy + r)], colour + (255,), 1.7)
    lay.line([(cx - r, cy + r), (cx + r, cy - r)], colour + (255,), 1.7)
    _put(img, lay)


def gear(img, box, colour, background=None):
    x, y, w, h = box
    lay = Layer(*img.size)
    c = (x + w / 2, y + h / 2)
    pts = []
    teeth = 8
    for i in range(teeth * 4):
        a = i * 360 / (teeth * 4) + 360 / (teeth * 8)
        r = 6.6 if (i % 4) in (0, 1) else 4.9
        pts.append(polar(c, r, a))
    lay.polygon(pts, colour + (255,))
    lay.circle(c, 2.1, fill=(background or (0, 0, 0)) + (255,))
    _put(img, lay)


def chart(img, c, colour, scale=1.0):
    """A line chart in a frame: the monitor key's icon."""
    s = scale
    lay = Layer(*img.size)
    x0, y0 = c[0] - 13 * s, c[1] - 10 * s
    lay.rrect((x0, y0, x0 + 26 * s, y0 + 20 * s), 3 * s, outline=colour + (255,), width=1.6)
    pts = [(-10, 5), (-5, 0), (-1, 3), (4, -5), (10, -1)]
    lay.line([(c[0] + px * s, c[1] + py * s) for px, py in pts], colour + (255,), 1.9)
    _put(img, lay)


def bolt(img, c, colour, scale=1.0):
    """A lightning bolt: the turbo key's icon."""
    s = scale
    pts = [(2, -12), (-8, 2), (-1, 2), (-3, 12), (8, -3), (1, -3), (4, -12)]
    lay = Layer(*img.size)
    lay.polygon([(c[0] + px * s, c[1] + py * s) for px, py in pts], colour + (255,))
    _put(img, lay)


def steps(img, c, colour):
    """A rising step curve: the fan-curve key's icon."""
    pts = [(-8, 6), (-8, 4), (-3, 4), (-3, -1), (2, -1), (2, -5), (8, -5)]
    lay = Layer(*img.size)
    lay.line([(c[0] + x, c[1] + y) for x, y in pts], colour + (255,), 1.8)
    lay.circle((c[0] + 8, c[1] - 5), 1.8, fill=colour + (255,))
    _put(img, lay)


def rotor(img, c, r, colour, hub_colour):
    """A five-bladed fan rotor of radius r."""
    lay = Layer(*img.size)
    for i in range(5):
        a = i * 72
        blade = []
        for k in range(13):
            t = k / 12
            blade.append(polar(c, r * (0.28 + 0.72 * t), a + 38 * t))
        for k in range(13):
            t = 1 - k / 12
            blade.append(polar(c, r * (0.28 + 0.72 * t), a + 38 * t + 34 - 22 * t))
        lay.polygon(blade, colour + (255,))
    lay.circle(c, r * 0.34, fill=hub_colour + (255,))
    lay.circle(c, r * 0.14, fill=colour + (255,))
    _put(img, lay)


def warning(img, c, size, colour, ink):
    """A warning triangle with an exclamation mark."""
    lay = Layer(*img.size)
    h = size * math.sqrt(3) / 2
    lay.polygon([(c[0], c[1] - h / 2), (c[0] + size / 2, c[1] + h / 2),
                 (c[0] - size / 2, c[1] + h / 2)], colour + (255,))
    lay.rrect((c[0] - 1.1, c[1] - h / 2 + 6, c[0] + 1.1, c[1] + h / 2 - 6), 1, fill=ink + (255,))
    lay.circle((c[0], c[1] + h / 2 - 3.4), 1.3, fill=ink + (255,))
    _put(img, lay)
