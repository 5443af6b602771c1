"""Everything drawn over the main window's skin: its keys in every state, the
fan-mode switch, the temperature and fan pictures and the dial face. Each is
drawn on the piece of skin it covers, so it sits on the skin seamlessly."""
from common import P, Layer, extent, mix, over, px, text
import glyphs
import main_skin as ms


def _base(art, box):
    return ms.crop(art, box)


def preset(art, box, label, state):
    """Round preset key; state is 'selected', 'unselected' or 'pressed'."""
    img = _base(art, box)
    w, h = extent(img)
    c = (w / 2, h / 2)
    lay = Layer(*img.size)
    lay.circle((c[0], c[1] + 1), 22.5, fill=(0, 0, 0, 120))
    if state == "selected":
        lay.circle(c, 22.5, fill=P.accent + (255,))
        lay.circle(c, 19.5, fill=P.accent_deep + (255,))
        lay.circle(c, 19.5, outline=P.accent_lo + (255,), width=1)
        ink = P.text
    elif state == "pressed":
        lay.circle(c, 22.5, fill=P.accent_lo + (255,))
        lay.circle(c, 20.5, fill=mix(P.accent_deep, P.void, 0.4) + (255,))
        ink = P.accent
    else:
        lay.circle(c, 22.5, fill=P.line + (255,))
        lay.circle(c, 21.5, fill=P.card_hi + (255,))
        lay.circle((c[0], c[1] + 1.5), 20, fill=P.card + (255,))
        ink = P.text2
    img = over(img, lay)
    size = 18 if len(label) == 1 else 16
    text(img, (c[0] + (0.5 if state == "pressed" else 0), c[1] + 6.5 + (0.5 if state == "pressed" else 0)),
         label, size, "Bold", ink, "ms")
    return img


def square_key(art, box, label, icon, state):
    """Monitor and turbo keys: an icon over a caption."""
    img = _base(art, box)
    w, h = extent(img)
    dy = 1 if state == "pressed" else 0
    lay = Layer(*img.size)
    lay.rrect((2, 3.5, w - 2, h - 1.5), 12, fill=(0, 0, 0, 110))
    edge = {"normal": P.rim, "hover": P.accent, "pressed": P.accent_lo}[state]
    fill = {"normal": P.card_hi, "hover": mix(P.card_hi, P.line, 0.5), "pressed": P.accent_deep}[state]
    lay.rrect((2, 2 + dy, w - 2, h - 3 + dy), 12, fill=edge + (255,))
    lay.rrect((3, 3 + dy, w - 3, h - 4 + dy), 11, fill=fill + (255,))
    img = over(img, lay)
    ink = P.text if state == "normal" else P.accent_hi
    icon(img, (w / 2, 26 + dy), P.accent if state != "pressed" else P.accent_hi)
    text(img, (w / 2, h - 14 + dy), label, 9, "Bold", ink, "ms", 1.0)
    return img


def fan_curve_key(art, active):
    """141 x 33 pill; its top rows stay skin, the fan picture overlaps them."""
    img = _base(art, ms.FAN_CURVE)
    w, h = extent(img)
    lay = Layer(*img.size)
    lay.rrect((1, 3.5, w - 1, h - 0.5), 9, fill=(0, 0, 0, 100))
    lay.rrect((1, 2, w - 1, h - 2), 9, fill=(P.accent if active else P.rim) + (255,))
    lay.rrect((2, 3, w - 2, h - 3), 8, fill=(P.accent_deep if active else P.card_hi) + (255,))
    img = over(img, lay)
    colour = P.accent_hi if active else P.accent
    glyphs.steps(img, (22, h / 2), colour)
    text(img, (38, h / 2 + 4), "FAN CURVE", 11, "Bold", P.text if not active else P.accent_hi, "ls", 1.4)
    return img


def switch(on, background=P.card):
    """177 (on) and 176 (off): a 32 x 16 toggle."""
    w, h = 32, 16
    from PIL import Image
    img = Image.new("RGB", (px(w), px(h)), background)
    lay = Layer(*img.size)
    if on:
        lay.rrect((0, 0, w, h), 8, fill=P.accent + (255,))
        lay.circle((w - 8, 8), 6, fill=(0, 0, 0, 60))
        lay.circle((w - 8, 8), 5.5, fill=(255, 255, 255, 255))
    else:
        lay.rrect((0, 0, w, h), 8, fill=P.rim + (255,))
        lay.rrect((1, 1, w - 1, h - 1), 7, fill=P.void + (255,))
        lay.circle((8, 8), 5.5, fill=(120, 130, 146, 255))
    return over(img, lay)


TEMP_SEGMENTS = 12


def temperature(art, level):
    """Pictures 189 + level: a segmented thermometer, level segments lit
    (one per 10 degrees C), 0 to 12."""
    img = _base(art, ms.TEMP_PICTURE)
    lay = Layer(*img.size)
    x0, x1 = 44, 58
    top, seg, gap = 9, 6, 1
    bottom = top + TEMP_SEGMENTS * (seg + gap) - gap
    lay.rrect((x0 - 2, top - 3, x1 + 2, bottom + 4), 9, fill=P.rim + (255,))
    lay.rrect((x0 - 1, top - 2, x1 + 1, bottom + 3), 8, fill=P.void + (255,))
    c = ((x0 + x1) / 2, bottom + 12)
    lay.circle(c, 11, fill=P.rim + (255,))
    lay.circle(c, 10, fill=P.void + (255,))
    lay.rect((x0 - 1, bottom - 2, x1 + 1, bottom + 4), P.void + (255,))
    lay.circle(c, 7.5, fill=P.accent + (255,))
    lay.rect((x0 + 4, bottom + 3, x1 - 4, c[1]), P.accent + (255,))
    for i in range(TEMP_SEGMENTS):
        y1 = bottom - i * (seg + gap)
        t = i / (TEMP_SEGMENTS - 1)
        if i < level:
            col = mix(P.accent, P.accent_hi, t) + (255,)
        else:
            col = (30, 35, 43, 255)
        lay.rrect((x0 + 2, y1 - seg, x1 - 2, y1), 1.5, fill=col)
    img = over(img, lay)
    for v in (0, 40, 80, 120):
        y = bottom - (v // 10) * (seg + gap) + 0.5
        text(img, (x0 - 7, y + 3.5), str(v), 8, "SemiBold", P.text3, "rs")
    return img


def fan(art, level):
    """Pictures 178 + level: a rotor inside a ring of ten segments, level
    segments lit (one per 10 per cent), 0 to 10."""
    img = _base(art, ms.FAN_PICTURE)
    c = (48, 45)
    lay = Layer(*img.size)
    lay.circle(c, 38, fill=P.void + (200,))
    a0, span, n = 135.0, 270.0, 10
    for i in range(n):
        s0 = a0 + span * i / n + 1.6
        s1 = a0 + span * (i + 1) / n - 1.6
        col = mix(P.accent_lo, P.accent_hi, i / (n - 1)) if i < level else (36, 42, 51)
        lay.band(c, 31, 37, s0, s1, col + (255,))
    img = over(img, lay)
    glyphs.rotor(img, c, 22, P.accent if level else P.text3, P.card_hi)
    text(img, (c[0] - 26, c[1] + 38), "0", 8, "SemiBold", P.text3, "ms")
    text(img, (c[0] + 26, c[1] + 38), "100", 8, "SemiBold", P.text3, "ms")
    return img


def face(art):
    """216: the dial as the skin shows it under the gauge control."""
    return ms.crop(art, ms.GAUGE)
