"""Keys, slider and grid of the panels, each drawn on the background it
covers: window glyph keys are cut from the skins themselves."""
from PIL import Image

from common import P, Layer, over, px, vgradient
import keys


def cut(skin_art, x, y, w=19, h=17):
    """A window glyph key cut from a skin, as main_skin.crop cuts."""
    return skin_art.crop((px(x), px(y), px(x) + px(w), px(y) + px(h)))


def step(glyph, active):
    """162 / 165 ('-', 16 x 17) and 164 / 163 ('+', 17 x 17), on a row card."""
    w = 16 if glyph == "-" else 17
    return keys.step_key(Image.new("RGB", (px(w), px(17)), P.card), glyph, active)


def panel_key(label, primary, state):
    """Apply (169, 167, 168) and Reset (166, 170, 171): 116 x 53."""
    return keys.wide_key(Image.new("RGB", (px(116), px(53)), P.page), label, primary, state,
                         radius=10, size=13, inset=(4, 6))


def settings_apply(state):
    """212, 210, 211: 50 x 30 on the settings card."""
    return keys.wide_key(Image.new("RGB", (px(50), px(30)), P.card), "APPLY", True, state,
                         radius=7, size=10, inset=(1, 3))


TRACK = (3, 5.5, 131, 9.5)


def channel(active):
    """174 (channel) and 173 (active channel): 134 x 15 on a row card. The
    slider draws the active one left of the thumb and the plain one right."""
    img = Image.new("RGB", (px(134), px(15)), P.card)
    lay = Layer(*img.size)
    x0, y0, x1, y1 = TRACK
    lay.rrect((x0 - 1, y0 - 1, x1 + 1, y1 + 1), 3, fill=(10, 12, 15, 255))
    if active:
        lay.rrect(TRACK, 2, fill=P.accent + (255,))
    else:
        lay.rrect(TRACK, 2, fill=(44, 50, 61, 255))
    return over(img, lay)


def thumb():
    """175: 15 x 15, a round knob; outside the knob it shows the card."""
    img = Image.new("RGB", (px(15), px(15)), P.card)
    lay = Layer(*img.size)
    lay.circle((7.5, 8.0), 7.0, fill=(0, 0, 0, 120))
    lay.circle((7.5, 7.5), 6.8, fill=(236, 240, 245, 255))
    lay.circle((7.5, 7.5), 2.6, fill=P.accent + (255,))
    return over(img, lay)


def grid():
    """172: 290 x 200, ten by ten cells of 29 x 20. The curve is drawn along
    cell edges, so the edges are the grid's lines: on whole pixels at the
    scaled edges, where the program scales the cells' edges."""
    img = vgradient(px(290), px(200), (17, 20, 26), P.void)
    w, h = img.size
    t = px(1)
    lay = Layer(w, h)
    for c in range(1, 10):
        col = (48, 56, 68, 255) if c == 5 else (33, 39, 48, 255)
        lay.pixels((px(c * 29), 0, px(c * 29) + t, h), col)
    for r in range(1, 10):
        col = (48, 56, 68, 255) if r == 5 else (33, 39, 48, 255)
        lay.pixels((0, px(r * 20), w, px(r * 20) + t), col)
    rim = (58, 66, 79, 255)
    lay.pixels((0, 0, w, t), rim)
    lay.pixels((0, h - t, w, h), rim)
    lay.pixels((0, 0, t, h), rim)
    lay.pixels((w - t, 0, w, h), rim)
    return over(img, lay)
