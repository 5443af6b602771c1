"""Keys, slider and grid of the panels, each drawn on the background it
covers: window glyph keys are cut from the skins themselves."""
from PIL import Image

from common import P, Layer, over, vgradient
import keys


def cut(skin_art, x, y, w=19, h=17):
    return skin_art.crop((x, y, x + w, y + h))


def step(glyph, active):
    """162 / 165 ('-', 16 x 17) and 164 / 163 ('+', 17 x 17), on a row card."""
    w = 16 if glyph == "-" else 17
    return keys.step_key(Image.new("RGB", (w, 17), P.card), glyph, active)


def panel_key(label, primary, state):
    """Apply (169, 167, 168) and Reset (166, 170, 171): 116 x 53."""
    return keys.wide_key(Image.new("RGB", (116, 53), P.page), label, primary, state,
                         radius=10, size=13, inset=(4, 6))


def settings_apply(state):
    """212, 210, 211: 50 x 30 on the settings card."""
    return keys.wide_key(Image.new("RGB", (50, 30), P.card), "APPLY", True, state,
                         radius=7, size=10, inset=(1, 3))


TRACK = (3, 5.5, 131, 9.5)


def channel(active):
    """174 (channel) and 173 (active channel): 134 x 15 on a row card. The
    slider draws the active one left of the thumb and the plain one right."""
    img = Image.new("RGB", (134, 15), P.card)
    lay = Layer(134, 15)
    x0, y0, x1, y1 = TRACK
    lay.rrect((x0 - 1, y0 - 1, x1 + 1, y1 + 1), 3, fill=(10, 12, 15, 255))
    if active:
        lay.rrect(TRACK, 2, fill=P.accent + (255,))
    else:
        lay.rrect(TRACK, 2, fill=(44, 50, 61, 255))
    return over(img, lay)


def thumb():
    """175: 15 x 15, a round knob; outside the knob it shows the card."""
    img = Image.new("RGB", (15, 15), P.card)
    lay = Layer(15, 15)
    lay.circle((7.5, 8.0), 7.0, fill=(0, 0, 0, 120))
    lay.circle((7.5, 7.5), 6.8, fill=(236, 240, 245, 255))
    lay.circle((7.5, 7.5), 2.6, fill=P.accent + (255,))
    return over(img, lay)


def grid():
    """172: 290 x 200, ten by ten cells of 29 x 20. The curve is drawn along
    cell edges, so the edges are the grid's lines."""
    w, h = 290, 200
    img = vgradient(w, h, (17, 20, 26), P.void)
    lay = Layer(w, h)
    for c in range(1, 10):
        col = (48, 56, 68, 255) if c == 5 else (33, 39, 48, 255)
        lay.rect((c * 29, 0, c * 29 + 1, h), col)
    for r in range(1, 10):
        col = (48, 56, 68, 255) if r == 5 else (33, 39, 48, 255)
        lay.rect((0, r * 20, w, r * 20 + 1), col)
    lay.rect((0, 0, w, 1), (58, 66, 79, 255))
    lay.rect((0, h - 1, w, h), (58, 66, 79, 255))
    lay.rect((0, 0, 1, h), (58, 66, 79, 255))
    lay.rect((w - 1, 0, w, h), (58, 66, 79, 255))
    return over(img, lay)
