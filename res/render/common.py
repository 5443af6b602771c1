"""Shared drawing kit of the art generator: palette, fonts, a supersampled
drawing layer, lettering, the skin key and the list of rendered outputs."""
import math
import os

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

# Pixels of this colour fall outside a window's shape (COLORREF 0x00FF0000).
KEY = (0, 0, 255)
# Shapes are drawn at this many samples per pixel and box-filtered down.
SS = 4
FONT_DIR = "/usr/share/fonts/opentype/inter"
# Every image is drawn at each of these scales (per cent of 96 DPI).
SCALES = (100, 125, 150, 175, 200)


class _Scale:
    """The scale being drawn. Drawing coordinates, lengths and letter sizes
    are given at 100 % and multiplied by k; image sizes are whole pixels."""
    percent = 100
    k = 1.0


def set_scale(percent):
    _Scale.percent = percent
    _Scale.k = percent / 100.0


def scale():
    return _Scale.k


def px(v):
    """A whole-pixel length at 100 % at the scale being drawn, rounded as
    the program's ScaleToDpi rounds (halves away from zero)."""
    dpi = 96 * _Scale.percent // 100
    n = (abs(v) * dpi * 2 + 96) // 192
    return -n if v < 0 else n


def extent(img):
    """An image's width and height in drawing coordinates."""
    return img.size[0] / _Scale.k, img.size[1] / _Scale.k


def at(p):
    """Drawing coordinate of the scaled pixel edge px(p): shapes that must
    end on an image's edge or on a crop's edge use it."""
    return px(p) / _Scale.k


class P:
    """The palette: graphite surfaces, cool greys and one cyan accent."""
    void = (11, 13, 17)          # deepest wells: dial face, plot frames
    page = (20, 23, 29)          # window body
    card = (27, 31, 39)          # raised cards on the body
    card_hi = (33, 38, 47)       # hovered / lit surfaces
    line = (44, 50, 61)          # hairlines and card borders
    rim = (58, 66, 79)           # outer rim of every window
    shadow = (8, 9, 12)
    text = (232, 236, 242)
    text2 = (150, 160, 175)      # captions
    text3 = (96, 105, 120)       # scale marks, hints
    accent = (34, 211, 238)      # the accent (cyan)
    accent_hi = (125, 233, 250)
    accent_lo = (14, 116, 144)
    accent_deep = (8, 51, 68)
    ink = (6, 20, 26)            # dark lettering on accent


def mix(a, b, t):
    """Linear blend of two RGB colours, t = 0 gives a."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


_fonts = {}


def font(size, weight="Medium"):
    key = (size, weight)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(os.path.join(FONT_DIR, "Inter-%s.otf" % weight), size)
    return _fonts[key]


def text(img, xy, s, size, weight="Medium", fill=P.text, anchor="ls", tracking=0.0):
    """Letters s at xy, size pixels high at 100 %. Anchors as Pillow's
    (l/m/r + a/m/s/d); tracking adds space between letters, which small
    capitals need to stay legible. Returns the advance at 100 %."""
    k = _Scale.k
    f = font(int(round(size * k)), weight)
    xy = (xy[0] * k, xy[1] * k)
    tracking *= k
    d = ImageDraw.Draw(img)
    if not tracking:
        # Whole-pixel origins keep hinted glyphs evenly spaced.
        d.text((round(xy[0]), round(xy[1])), s, font=f, fill=fill, anchor=anchor)
        return f.getlength(s) / k
    widths = [f.getlength(ch) for ch in s]
    total = sum(widths) + tracking * (len(s) - 1)
    x, y = xy
    if anchor[0] == "m":
        x -= total / 2
    elif anchor[0] == "r":
        x -= total
    for ch, w in zip(s, widths):
        d.text((round(x), round(y)), ch, font=f, fill=fill, anchor="l" + anchor[1])
        x += w + tracking
    return total / k


class Layer:
    """RGBA surface drawn at SS times the size and reduced with a box filter,
    so edges get exact coverage anti-aliasing. w and h are the output's
    pixels; drawing coordinates are at 100 % (times k, the scale being drawn,
    unless given), and pixel i at 100 % spans [i, i + 1)."""

    def __init__(self, w, h, ss=SS, mode="RGBA", k=None):
        self.w, self.h, self.ss = w, h, ss
        self.f = ss * (_Scale.k if k is None else k)
        self.img = Image.new(mode, (w * ss, h * ss), 0)
        self.d = ImageDraw.Draw(self.img)

    def _box(self, b):
        s = self.f
        return [b[0] * s, b[1] * s, b[2] * s - 1, b[3] * s - 1]

    def _pts(self, pts):
        return [(x * self.f, y * self.f) for x, y in pts]

    def rrect(self, box, r, fill=None, outline=None, width=1):
        self.d.rounded_rectangle(self._box(box), radius=r * self.f, fill=fill,
                                 outline=outline, width=int(round(width * self.f)))

    def rect(self, box, fill):
        self.d.rectangle(self._box(box), fill=fill)

    def pixels(self, box, fill):
        """A rectangle on whole output pixels (x0, y0, x1, y1), at no scale."""
        s = self.ss
        self.d.rectangle([box[0] * s, box[1] * s, box[2] * s - 1, box[3] * s - 1], fill=fill)

    def circle(self, c, r, fill=None, outline=None, width=1):
        b = (c[0] - r, c[1] - r, c[0] + r, c[1] + r)
        self.d.ellipse([v * self.f for v in b], fill=fill, outline=outline,
                       width=int(round(width * self.f)))

    def polygon(self, pts, fill):
        self.d.polygon(self._pts(pts), fill=fill)

    def line(self, pts, fill, width=1.0):
        self.d.line(self._pts(pts), fill=fill, width=max(1, int(round(width * self.f))))

    def band(self, c, r0, r1, a0, a1, fill, steps=None):
        """Annular band between radii r0 < r1 from screen angle a0 to a1
        (degrees, 0 = right, growing clockwise)."""
        n = steps or max(8, int(abs(a1 - a0) / 2) + 2)
        outer = [polar(c, r1, a0 + (a1 - a0) * i / n) for i in range(n + 1)]
        inner = [polar(c, r0, a1 - (a1 - a0) * i / n) for i in range(n + 1)]
        self.polygon(outer + inner, fill)

    def result(self):
        return self.img.resize((self.w, self.h), Image.BOX)


def polar(c, r, a):
    """Point at radius r and screen angle a (degrees, clockwise from right)."""
    t = math.radians(a)
    return (c[0] + r * math.cos(t), c[1] + r * math.sin(t))


def over(base, layer):
    """base (RGB) with an RGBA layer laid over it, as a new RGB image."""
    out = base.convert("RGBA")
    out.alpha_composite(layer.result() if isinstance(layer, Layer) else layer)
    return out.convert("RGB")


def vgradient(w, h, top, bottom):
    g = Image.linear_gradient("L").resize((w, h))
    return Image.composite(Image.new("RGB", (w, h), bottom), Image.new("RGB", (w, h), top), g)


def radial(w, h, centre, outer, c, r):
    """Radial blend from colour centre at point c to colour outer at radius r
    (drawing coordinates) over an image of w x h pixels."""
    k = _Scale.k
    c, r = (c[0] * k, c[1] * k), r * k
    g = Image.radial_gradient("L")  # 256 x 256, 0 in the middle, 255 at radius 128
    size = int(math.ceil(r * 2))
    g = g.resize((size, size), Image.BILINEAR)
    mask = Image.new("L", (w, h), 255)
    mask.paste(g, (int(round(c[0] - r)), int(round(c[1] - r))))
    return Image.composite(Image.new("RGB", (w, h), outer), Image.new("RGB", (w, h), centre), mask)


def mask_of(w, h, draw):
    """Anti-aliased coverage mask (mode L) of the shapes draw(layer) paints."""
    lay = Layer(w, h, mode="L")
    draw(lay)
    return lay.result()


def paint(img, mask, fill):
    """Fills img through mask with a colour or an image."""
    src = fill if isinstance(fill, Image.Image) else Image.new("RGB", img.size, fill)
    img.paste(src, (0, 0), mask)


def binary(mask):
    return mask.point(lambda v: 255 if v >= 128 else 0)


def edge_of(bmask):
    """The inner border of a binary mask, one pixel wide at 100 %."""
    n = max(1, int(round(_Scale.k)))
    return ImageChops.subtract(bmask, bmask.filter(ImageFilter.MinFilter(2 * n + 1)))


def keyed(art, bmask):
    """art inside the binary mask, the key colour outside; an inside pixel
    that happens to be the key colour is moved off it by one blue step."""
    out = Image.new("RGB", art.size, KEY)
    out.paste(art, (0, 0), bmask)
    px, inside = out.load(), bmask.load()
    w, h = out.size
    for y in range(h):
        for x in range(w):
            if inside[x, y] and px[x, y] == KEY:
                px[x, y] = (0, 0, 254)
    return out


class Outputs:
    """Every rendered file with its identifier: the images of the scale being
    drawn go to root/<per cent>/, the files drawn once to root; the 100 %
    ones are kept for the contact sheet."""

    def __init__(self, root):
        self.root = root
        self.items = []  # (group, identifier, name, image), at 100 %
        self.art = []    # (identifier, name) of every image, in order

    def _path(self, name):
        folder = os.path.join(self.root, str(_Scale.percent))
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, name + ".png")

    def _keep(self, group, ident, name, img):
        if _Scale.percent == 100:
            self.items.append((group, ident, name, img))
            self.art.append((ident, name))

    def rgb(self, group, ident, name, img):
        assert img.mode == "RGB"
        img.save(self._path(name), optimize=True)
        self._keep(group, ident, name, img)

    def png(self, group, ident, name, img):
        assert img.mode == "RGBA"
        img.save(self._path(name), optimize=True)
        self._keep(group, ident, name, img)

    def raw(self, group, ident, name, data, preview, sizes):
        """A file written as is; preview and sizes only label it on the sheet."""
        with open(os.path.join(self.root, name), "wb") as f:
            f.write(data)
        self.items.append((group, ident, name + "  " + sizes, preview))
