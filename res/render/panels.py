"""Skins of the pop-up panels. Every panel has the same frame: a rounded
graphite body with a hard rim and a title bar carrying the panel's name, its
minimise and close glyphs at the places the panel puts those buttons."""
from PIL import Image, ImageChops

from common import P, Layer, at, binary, edge_of, keyed, mask_of, over, paint, px, text, vgradient
import glyphs

TITLE_H = 28


def frame(w, h, title, body=P.page, buttons=()):
    """(art, shape) of a panel of w x h at 100 %; buttons are (kind, x, y)
    glyphs."""
    pw, ph, right = px(w), px(h), at(w)
    shape = binary(mask_of(pw, ph, lambda l: l.rrect((0, 0, right, at(h)), 10, fill=255)))
    img = Image.new("RGB", (pw, ph), body)
    img.paste(vgradient(pw, px(TITLE_H), (36, 41, 50), (27, 31, 38)), (0, 0))
    lay = Layer(pw, ph)
    lay.rect((0, TITLE_H, right, TITLE_H + 1), (9, 11, 14, 255))
    lay.rect((0, TITLE_H + 1, right, TITLE_H + 2), (255, 255, 255, 10))
    lay.rrect((12, 9, 15, 20), 1.5, fill=P.accent + (255,))
    img = over(img, lay)
    text(img, (22, 19), title, 10, "Bold", P.text, "ls", 1.6)
    for kind, x, y in buttons:
        box = (x, y, 19, 17)
        if kind == "min":
            glyphs.minimise(img, box, P.text2)
        else:
            glyphs.close(img, box, P.text2)
    edge = edge_of(shape)
    paint(img, edge, P.rim)
    paint(img, edge_of(ImageChops.subtract(shape, edge)), (10, 12, 15))
    return img, shape


def card(img, box, fill=P.card, radius=8):
    lay = Layer(*img.size)
    lay.rrect((box[0] - 1, box[1] - 1, box[2] + 1, box[3] + 1), radius + 1, fill=P.line + (255,))
    lay.rrect(box, radius, fill=fill + (255,))
    img.paste(over(img, lay))


def well(img, box, radius=5):
    """A recessed dark field (behind numbers and plots)."""
    lay = Layer(*img.size)
    lay.rrect((box[0] - 1, box[1] - 1, box[2] + 1, box[3] + 1), radius + 1, fill=(6, 7, 9, 255))
    lay.rrect(box, radius, fill=P.void + (255,))
    lay.rrect((box[0], box[3] - 1, box[2], box[3] + 1), radius, fill=(255, 255, 255, 10))
    img.paste(over(img, lay))


def caption(img, xy, s, anchor="ls", colour=P.text2):
    text(img, xy, s, 9, "SemiBold", colour, anchor, 1.1)


WIDE_BUTTONS = (("min", 358, 5), ("close", 382, 5))
SMALL_BUTTONS = (("min", 240, 5), ("close", 264, 5))

OVERCLOCK_ROWS = (("Power Target", "board power limit", "%"),
                  ("Frame Target", "frame-rate limiter", "FPS"),
                  ("GPU Clock Offset", "graphics clock, P0", "MHz"),
                  ("Memory Clock Offset", "memory clock, P0", "MHz"))


def overclock():
    """160: 412 x 364. Rows r = 0..3 hold '-' at (150, 101 + 46r), the slider
    at (170, 102 + 46r), '+' at (307, 101 + 46r), the readout at
    (334, 100 + 46r, 43 x 24); Apply (50, 283) and Reset (240, 283); the
    panel's line at (22, 61, 370 x 29)."""
    img, shape = frame(412, 364, "OVERCLOCK", buttons=WIDE_BUTTONS)
    caption(img, (22, 56), "PERFORMANCE LIMITS")
    # The panel's own line, (22, 61, 370 x 29), says when values go to the GPU.
    for r, (name, hint, unit) in enumerate(OVERCLOCK_ROWS):
        y = 46 * r
        card(img, (10, 91 + y, 402, 131 + y))
        well(img, (329, 99 + y, 379, 124 + y), 4)
        text(img, (22, 108 + y), name, 11, "SemiBold", P.text)
        text(img, (22, 122 + y), hint, 9, "Medium", P.text3)
        text(img, (384, 116 + y), unit, 9, "SemiBold", P.text2)
    return keyed(img, shape), img


def fan_curve():
    """156: 412 x 402. The grid control sits at (68, 101, 290, 200), cells of
    29 x 20; Apply (80, 336) and Reset (230, 336)."""
    img, shape = frame(412, 402, "FAN CURVE", buttons=WIDE_BUTTONS)
    text(img, (22, 50), "Left-click a cell to set the fan speed up to that", 10, "Medium", P.text3)
    text(img, (22, 64), "temperature; right-click clears a column.", 10, "Medium", P.text3)
    well(img, (64, 97, 362, 305), 4)
    caption(img, (60, 88), "FAN %", "rs")
    for r in range(10):
        text(img, (60, 101 + 20 * r + 3.5), str((10 - r) * 10), 9, "SemiBold", P.text2, "rs")
    for c in range(11):
        text(img, (68 + 29 * c, 318), str(c * 10), 9, "SemiBold", P.text2, "ms")
    caption(img, (372, 318), "°C")
    return keyed(img, shape), img


MONITOR_ROWS = (("ENGINE", "Clock, MHz", 75), ("MEMORY", "Clock, MHz", 142),
                ("TEMP", "GPU, °C", 209), ("FAN", "Speed, %", 274))


def monitor():
    """202: 412 x 364. Plots at (89, y, 230, 56) for y = 75, 142, 209, 274;
    readouts at (322, y + 16, 60, 30)."""
    img, shape = frame(412, 364, "HARDWARE MONITOR", buttons=WIDE_BUTTONS)
    caption(img, (89, 64), "LAST 23 SECONDS", "ls", P.text3)
    caption(img, (388, 64), "NOW", "rs", P.text3)
    card(img, (10, 69, 402, 337))
    for name, sub, y in MONITOR_ROWS:
        well(img, (88, y - 1, 320, y + 57), 2)
        well(img, (326, y + 12, 392, y + 44), 4)
        text(img, (20, y + 27), name, 10, "Bold", P.text, "ls", 0.9)
        text(img, (20, y + 41), sub, 9, "Medium", P.text3)
    return keyed(img, shape), img


INFO_ROWS = ("GPU", "CUDA CORES", "MEMORY", "BUS WIDTH", "DRIVER", "VIDEO BIOS")


def information():
    """206: 412 x 364. Lines at (128, 60 + 42i, 233, 24), i = 0..5."""
    img, shape = frame(412, 364, "GPU INFORMATION", buttons=WIDE_BUTTONS)
    for i, name in enumerate(INFO_ROWS):
        y = 60 + 42 * i
        card(img, (10, y - 6, 402, y + 30))
        caption(img, (22, y + 16), name)
        lay = Layer(*img.size)
        lay.rect((118, y + 2, 119, y + 22), P.line + (255,))
        img = over(img, lay)
    text(img, (22, 334), "Read from the selected GPU when the panel opens.", 9, "Medium", P.text3)
    return keyed(img, shape), img


SETTING_ROWS = (("Start with Windows", 47), ("Start hidden in the tray", 72), ("Apply overclock at start", 97))


def settings():
    """207: 295 x 207. Switches at (32, 47), (32, 72), (32, 97) and (122, 131),
    the GPU list at (32, 126), Apply (178, 152)."""
    img, shape = frame(295, 207, "SETTINGS", body=P.card, buttons=SMALL_BUTTONS)
    for name, y in SETTING_ROWS:
        text(img, (72, y + 12), name, 11, "Medium", P.text)
    caption(img, (28, 141), "GPU", "rs")
    text(img, (160, 143), "Sync all GPUs", 11, "Medium", P.text)
    lay = Layer(*img.size)
    lay.rect((20, 120, 275, 121), P.line + (255,))
    img = over(img, lay)
    return keyed(img, shape), img


def note():
    """218: 295 x 207. Close at (264, 5); the text label at (14, 76, 268 x 160)."""
    img, shape = frame(295, 207, "Q-SURGE", body=P.card, buttons=(("close", 264, 5),))
    glyphs.warning(img, (25, 55), 20, P.accent, P.ink)
    text(img, (42, 61), "NOTES", 15, "Bold", P.text, "ls", 2.4)
    lay = Layer(*img.size)
    lay.rect((14, 69, 14 + 36, 71), P.accent + (255,))
    lay.rect((50, 70, 281, 71), P.line + (255,))
    img = over(img, lay)
    return keyed(img, shape), img
