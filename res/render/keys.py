"""Push keys shared by the main window and the panels, drawn on the piece of
background they cover. States are 'normal', 'hover' and 'pressed'."""
from common import P, Layer, extent, mix, over, px, text


def wide_key(base, label, primary, state, radius=9, size=12, inset=(2, 3)):
    """A labelled key: primary keys are filled with the accent (Apply),
    secondary keys are outlined graphite (Reset)."""
    img = base.copy()
    w, h = extent(img)
    lay = Layer(*img.size)
    ix, iy = inset
    dy = 1 if state == "pressed" else 0
    lay.rrect((ix, iy + 1.5, w - ix, h - iy + 1.5), radius, fill=(0, 0, 0, 110))
    body = (ix, iy + dy, w - ix, h - iy + dy)
    if primary:
        fill = {"normal": P.accent, "hover": P.accent_hi, "pressed": P.accent_lo}[state]
        lay.rrect(body, radius, fill=fill + (255,))
        ink = P.text if state == "pressed" else P.ink
    else:
        edge = {"normal": P.rim, "hover": P.accent, "pressed": P.accent_lo}[state]
        fill = {"normal": P.card_hi, "hover": mix(P.card_hi, P.line, 0.5), "pressed": P.void}[state]
        lay.rrect(body, radius, fill=edge + (255,))
        lay.rrect((body[0] + 1, body[1] + 1, body[2] - 1, body[3] - 1), radius - 1, fill=fill + (255,))
        ink = P.accent if state == "pressed" else P.text
    img = over(img, lay)
    text(img, (w / 2, h / 2 + size * 0.37 + dy), label, size, "Bold", ink, "ms", size * 0.13)
    return img


def step_key(base, glyph, active):
    """The small '-' and '+' keys of the overclock rows."""
    img = base.copy()
    w, h = extent(img)
    lay = Layer(*img.size)
    lay.rrect((0, 0, w, h), 4, fill=(P.accent if active else P.rim) + (255,))
    lay.rrect((1, 1, w - 1, h - 1), 3, fill=(P.accent_deep if active else P.card_hi) + (255,))
    ink = (P.accent_hi if active else P.text) + (255,)
    # Bars on whole pixels keep the glyph sharp: 8 x 2 bars (at 100 %)
    # crossing at the pixel corner nearest the middle.
    pw, ph = img.size
    n, t = px(8), px(2)
    x0, y0 = (pw - n) // 2 + pw % 2, ph // 2
    lay.pixels((x0, y0, x0 + n, y0 + t), ink)
    if glyph == "+":
        m = (n - t) // 2
        lay.pixels((x0 + m, y0 - m, x0 + m + t, y0 + t + m), ink)
    return over(img, lay)
