"""The clock dial: bezel, face, the two scales, the two read-out plates and
the two needles.

The needles are stored pointing straight down from their pivot (the long arm
lies below the pivot) and the program turns them clockwise by value x 270
degrees / full scale, so each scale starts at six o'clock and runs clockwise
through nine and twelve to three o'clock. The quadrant between three and six
o'clock stays free for the two numbers the program prints: the engine clock
in black at (193, 163) and the memory clock in white at (206, 218)."""
from PIL import Image

from common import P, Layer, over, paint, polar, px, radial, scale, text, mask_of

FACE = 298                # face bitmap size at 100 %
R_FACE = 136              # the face disc; nothing that moves reaches past it
R_BEZEL = 160             # outer edge of the bezel ring around the face
ENGINE_FULL, MEMORY_FULL = 1800, 9000
SWEEP = 270.0

ENGINE_PLATE = (187, 160, 294, 199)   # light plate behind the black engine number
MEMORY_PLATE = (199, 214, 281, 243)   # dark plate behind the white memory number


def centre():
    """The middle of the face's pixel (n, n), n = half the face's width,
    which the program turns the needles about: (149.5, 149.5) at 100 %."""
    c = (px(FACE) // 2 + 0.5) / scale()
    return (c, c)


def angle_of(value, full):
    """Screen angle (0 = right, clockwise) of a needle showing value."""
    return 90.0 + SWEEP * value / full


def draw_bezel(img, c):
    """Bezel ring and face disc around centre c, on img (RGB, changed)."""
    w, h = img.size
    ring = mask_of(w, h, lambda l: l.circle(c, R_BEZEL, fill=255))
    metal = radial(w, h, (62, 70, 83), (24, 28, 35), (c[0] - 70, c[1] - 90), 260)
    paint(img, ring, metal)
    lay = Layer(w, h)
    lay.circle(c, R_BEZEL - 0.5, outline=P.shadow + (255,), width=1.2)
    lay.circle(c, R_BEZEL - 1.6, outline=(86, 95, 110, 120), width=1)
    lay.circle(c, R_FACE + 3.5, outline=(14, 16, 20, 255), width=3)
    img.paste(over(img, lay))
    disc = mask_of(w, h, lambda l: l.circle(c, R_FACE + 1, fill=255))
    paint(img, disc, radial(w, h, (22, 27, 34), P.void, c, R_FACE + 8))
    lay = Layer(w, h)
    lay.circle(c, R_FACE + 0.5, outline=P.accent_lo + (150,), width=1)
    img.paste(over(img, lay))


def draw_scales(img, c):
    lay = Layer(*img.size)
    # Engine: outer scale, 0..1800 MHz, a tick every 50, a number every 300.
    a0, a1 = angle_of(0, ENGINE_FULL), angle_of(ENGINE_FULL, ENGINE_FULL)
    lay.band(c, 129, 131.5, a0, a1, P.accent_deep + (255,))
    for i in range(0, 37):
        a = a0 + (a1 - a0) * i / 36
        major, mid = i % 6 == 0, i % 2 == 0
        r0 = 114 if major else (120 if mid else 124)
        col = P.accent if major else (P.text2 if mid else P.text3)
        wdt = 2.2 if major else 1.2
        lay.line([polar(c, r0, a), polar(c, 131, a)], col + (255,), wdt)
    # Memory: inner scale, 0..9000 MHz, a tick every 250, a number every 1000.
    a0, a1 = angle_of(0, MEMORY_FULL), angle_of(MEMORY_FULL, MEMORY_FULL)
    lay.band(c, 79, 80.5, a0, a1, (70, 78, 92, 255))
    for i in range(0, 37):
        a = a0 + (a1 - a0) * i / 36
        major, mid = i % 4 == 0, i % 2 == 0
        r0 = 69 if major else (73 if mid else 75.5)
        col = P.text if major else (P.text2 if mid else P.text3)
        lay.line([polar(c, r0, a), polar(c, 80.5, a)], col + (255,), 1.8 if major else 1.0)
    img.paste(over(img, lay))
    for v in range(0, ENGINE_FULL + 1, 300):
        x, y = polar(c, 97, angle_of(v, ENGINE_FULL))
        text(img, (x, y + 0.5), str(v), 10, "SemiBold", P.text, "mm")
    for v in range(0, MEMORY_FULL + 1, 1000):
        x, y = polar(c, 59, angle_of(v, MEMORY_FULL))
        text(img, (x, y + 0.5), "%dk" % (v // 1000) if v else "0", 8, "Medium", P.text2, "mm")


def _moved(box, c):
    dx, dy = c[0] - centre()[0], c[1] - centre()[1]
    return (box[0] + dx, box[1] + dy, box[2] + dx, box[3] + dy)


def draw_plates(img, c):
    """The two number plates, with their captions at the left end."""
    lay = Layer(*img.size)
    engine, memory = _moved(ENGINE_PLATE, c), _moved(MEMORY_PLATE, c)
    x0, y0, x1, y1 = engine
    lay.rrect((x0 - 1, y0 - 1, x1 + 1, y1 + 1), 7, fill=(5, 7, 9, 255))
    lay.rrect(engine, 6, fill=P.accent + (255,))
    x0, y0, x1, y1 = memory
    lay.rrect((x0 - 1, y0 - 1, x1 + 1, y1 + 1), 6, fill=(5, 7, 9, 255))
    lay.rrect(memory, 5, fill=(9, 11, 14, 255), outline=P.accent_lo + (255,), width=1)
    img.paste(over(img, lay))
    ex, ey = engine[0] - 5, engine[1]
    text(img, (ex, ey + 17), "GPU", 8, "Bold", P.accent, "rs", 0.5)
    text(img, (ex, ey + 28), "MHz", 8, "Medium", P.text3, "rs")
    mx, my = memory[0] - 5, memory[1]
    text(img, (mx, my + 13), "MEM", 8, "Bold", P.text, "rs", 0.5)
    text(img, (mx, my + 24), "MHz", 8, "Medium", P.text3, "rs")


def draw_dial(img, c):
    """The whole static dial around centre c, drawn on img (RGB, changed)."""
    draw_bezel(img, c)
    draw_scales(img, c)
    draw_plates(img, c)


def needle(size, pivot, length, tail, half_root, half_tip, hub, colour, core, hub_fill):
    """A needle image pointing down from pivot: a tapered blade of the given
    length below the pivot, a short tail above it, and a round hub. Size and
    pivot pixel are at 100 %; at a scale both are scaled as the program
    scales them (ScaleToDpi)."""
    k = scale()
    lay = Layer(px(size[0]), px(size[1]), ss=8)
    cx, cy = (px(pivot[0]) + 0.5) / k, (px(pivot[1]) + 0.5) / k
    shadow = (0, 0, 0, 110)
    blade = [(cx - half_root, cy), (cx - half_tip, cy + length), (cx, cy + length + 2.5),
             (cx + half_tip, cy + length), (cx + half_root, cy)]
    tail_pts = [(cx - half_root * 1.25, cy), (cx - half_root * 0.9, cy - tail),
                (cx + half_root * 0.9, cy - tail), (cx + half_root * 1.25, cy)]
    lay.polygon([(x + 1.2, y + 1.2) for x, y in blade], shadow)
    lay.polygon(tail_pts, colour)
    lay.polygon(blade, colour)
    lay.polygon([(cx - 0.6, cy), (cx - 0.35, cy + length - 3), (cx + 0.35, cy + length - 3),
                 (cx + 0.6, cy)], core)
    lay.circle((cx + 0.8, cy + 0.8), hub, fill=shadow)
    lay.circle((cx, cy), hub, fill=hub_fill)
    lay.circle((cx, cy), hub - 2.2, fill=(16, 19, 24, 255))
    lay.circle((cx, cy), 2.2, fill=colour)
    return lay.result()


def engine_needle():
    """224: 22 x 186, pivot (11, 34)."""
    return needle((22, 186), (11, 34), length=128, tail=22, half_root=3.4, half_tip=1.1, hub=9.5,
                  colour=P.accent + (255,), core=P.accent_hi + (255,),
                  hub_fill=(70, 78, 92, 255))


def memory_needle():
    """225: 28 x 107, pivot (14, 26)."""
    return needle((28, 107), (14, 26), length=76, tail=18, half_root=3.0, half_tip=1.1, hub=13,
                  colour=(236, 240, 245, 255), core=(255, 255, 255, 255),
                  hub_fill=(118, 128, 144, 255))


def place_needle(base, img, pivot, value, full, c):
    """Preview only: base with the needle turned as the program turns it."""
    angle = SWEEP * value / full
    big = Image.new("RGBA", base.size, (0, 0, 0, 0))
    off = (int(round(c[0] - 0.5 - pivot[0])), int(round(c[1] - 0.5 - pivot[1])))
    big.paste(img, off)
    big = big.rotate(-angle, resample=Image.BICUBIC, center=(c[0], c[1]))
    out = base.convert("RGBA")
    out.alpha_composite(big)
    return out.convert("RGB")
