"""Skin 129 of the main window (926 x 451): a graphite body holding the dial
in a bezel that rises above it, a readings card on the left (temperature,
fan, fan mode, fan curve) and a controls card on the right (presets, apply,
reset, monitor, turbo). Rectangles are the control rectangles the window
places its controls at."""
from PIL import ImageChops

from common import (P, Layer, at, binary, edge_of, keyed, mask_of, mix, over, paint, px, text,
                    vgradient)
import dial
import glyphs

W, H = 926, 451
GAUGE = (318, 67, 298, 298)


def centre():
    """The dial's centre on the skin: the face's pivot pixel where the face
    is cut from the skin at the scale being drawn."""
    c = dial.centre()
    return (at(GAUGE[0]) + c[0], at(GAUGE[1]) + c[1])


# Control rectangles (x, y, w, h) in client pixels.
SET, MINIMISE, CLOSE = (594, 76, 19, 17), (616, 76, 19, 17), (638, 76, 19, 17)
PRESET_3, PRESET_5, PRESET_10 = (639, 120, 50, 50), (657, 169, 52, 50), (657, 218, 52, 53)
APPLY, RESET = (655, 275, 97, 45), (765, 275, 97, 45)
HWM, TURBO = (652, 338, 68, 68), (725, 338, 69, 68)
FAN_CURVE = (123, 381, 141, 33)
FAN_MODE = (134, 358)            # switch; its size is the switch bitmap's
TEMP_PICTURE = (220, 150, 78, 117)
FAN_PICTURE = (230, 291, 122, 91)
TEMP_READOUT = (110, 187, 126, 50)   # both placements together
FAN_READOUT = (125, 310, 89, 32)

BODY = (86, 104, 886, 432)
TAB = (580, 62, 676, 112)
LEFT_CARD = (98, 146, 368, 422)
RIGHT_CARD = (600, 112, 874, 422)
CUT = 167                        # cards stand back from the bezel by this radius

PRESETS = (("3", 30, 50), ("5", 50, 80), ("10", 80, 100))


def shape(lay, grow=0.0):
    g = grow
    lay.rrect((BODY[0] - g, BODY[1] - g, BODY[2] + g, BODY[3] + g), 24 + g, fill=255)
    lay.rrect((TAB[0] - g, TAB[1] - g, TAB[2] + g, TAB[3] + g), 10 + g, fill=255)
    lay.circle(centre(), dial.R_BEZEL + g, fill=255)


def card(img, box):
    """A raised card cut back around the bezel."""
    w, h = img.size
    m = mask_of(w, h, lambda l: l.rrect(box, 14, fill=255))
    hole = mask_of(w, h, lambda l: l.circle(centre(), CUT, fill=255))
    m = ImageChops.subtract(m, hole)
    rim = mask_of(w, h, lambda l: l.rrect((box[0] - 1, box[1] - 1, box[2] + 1, box[3] + 1), 15,
                                          fill=255))
    rim = ImageChops.subtract(rim, mask_of(w, h, lambda l: l.circle(centre(), CUT - 1, fill=255)))
    paint(img, rim, P.line)
    paint(img, m, vgradient(w, h, mix(P.card, P.card_hi, 0.35), P.card))
    hi = Layer(w, h)
    hi.line([(box[0] + 14, box[1] + 0.5), (box[2] - 14, box[1] + 0.5)], (255, 255, 255, 14), 1)
    top = over(img, hi)
    img.paste(top, (0, 0), m)


def art():
    """The skin's drawing before the key: returns (RGB art, binary shape)."""
    w, h = px(W), px(H)
    img = vgradient(w, h, (27, 31, 38), (17, 19, 24))
    shape_mask = binary(mask_of(w, h, shape))
    card(img, LEFT_CARD)
    card(img, RIGHT_CARD)
    tab = Layer(w, h)
    tab.rrect((TAB[0] + 6, TAB[1] + 6, TAB[2] - 6, TAB[1] + 35), 7, fill=P.void + (255,))
    img.paste(over(img, tab))
    dial.draw_dial(img, centre())
    letter_left(img)
    letter_right(img)
    glyphs.gear(img, SET, P.text2)
    glyphs.minimise(img, MINIMISE, P.text2)
    glyphs.close(img, CLOSE, P.text2)
    # A hard two-tone rim along the outline, lit from above.
    edge = edge_of(shape_mask)
    paint(img, edge, P.rim)
    inner = edge_of(ImageChops.subtract(shape_mask, edge))
    paint(img, inner, (10, 12, 15))
    return img, shape_mask


def letter_left(img):
    x = LEFT_CARD[0] + 14
    q = text(img, (108, 131), "Q", 20, "ExtraBold", P.accent, "ls")
    text(img, (108 + q + 1, 131), "-SURGE", 20, "ExtraBold", P.text, "ls", 1.2)
    text(img, (x, 170), "GPU TEMPERATURE", 9, "SemiBold", P.text2, "ls", 1.1)
    text(img, (x, 247), "°C", 12, "SemiBold", P.text3, "ls")
    layer = Layer(*img.size)
    layer.line([(x, 283.5), (300, 283.5)], P.line + (255,), 1)
    img.paste(over(img, layer))
    text(img, (x, 303), "FAN SPEED", 9, "SemiBold", P.text2, "ls", 1.1)
    text(img, (x, 351), "%", 12, "SemiBold", P.text3, "ls")
    text(img, (FAN_MODE[0] + 38, FAN_MODE[1] + 12), "AUTO", 9, "Bold", P.text2, "ls", 1.0)


def letter_right(img):
    x = 722
    text(img, (x, 131), "OC PRESETS", 9, "SemiBold", P.text2, "ls", 1.1)
    for (label, g, m), box in zip(PRESETS, (PRESET_3, PRESET_5, PRESET_10)):
        cy = box[1] + box[3] / 2
        text(img, (x, cy - 1), "GPU", 9, "SemiBold", P.text3, "ls", 0.6)
        text(img, (x + 30, cy - 1), "+%d MHz" % g, 10, "SemiBold", P.text, "ls")
        text(img, (x, cy + 13), "MEM", 9, "SemiBold", P.text3, "ls", 0.6)
        text(img, (x + 30, cy + 13), "+%d MHz" % m, 10, "SemiBold", P.text, "ls")


def skin():
    img, m = art()
    return keyed(img, m)


def crop(img, box):
    """The piece of the skin under a control at (x, y, w, h): at a scale it
    starts at the scaled corner and has the scaled width and height, the
    size every image takes there."""
    x, y, w, h = box
    return img.crop((px(x), px(y), px(x) + px(w), px(y) + px(h)))
