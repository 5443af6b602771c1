"""The contact sheet: each window put together from its skin and its
controls' images as the program places them (with sample readings, the
numbers in a stand-in face), then every rendered image with its identifier."""
from PIL import Image, ImageDraw

from common import KEY, Layer, font, over, text
import dial

BG = (44, 47, 53)
INK = (222, 226, 232)
DIM = (150, 156, 166)
WIDTH = 1900
PAD = 24

ENGINE, MEMORY = 1530, 5000

# Window previews: skin id, then (image id, x, y) in the order painted.
WINDOWS = (
    ("Main window 102", 129, [(216, 318, 67), (204, 594, 76), (152, 616, 76), (153, 638, 76),
                              (132, 639, 120), (136, 657, 169), (139, 657, 218), (142, 655, 275),
                              (148, 765, 275), (145, 652, 338), (130, 725, 338), (195, 220, 150),
                              (182, 230, 291), (154, 123, 381), (177, 134, 358)]),
    ("Overclock 161", 160, [(158, 358, 5), (159, 382, 5), (169, 50, 283), (166, 240, 283)]
     + [(162, 150, 101 + 46 * r) for r in range(4)] + [(164, 307, 101 + 46 * r) for r in range(4)]),
    ("Fan curve 157", 156, [(158, 358, 5), (159, 382, 5), (172, 68, 101), (169, 80, 336), (166, 230, 336)]),
    ("Hardware monitor 203", 202, [(158, 358, 5), (159, 382, 5)]),
    ("Information 213", 206, [(158, 358, 5), (159, 382, 5)]),
    ("Settings 205", 207, [(209, 240, 5), (208, 264, 5), (177, 32, 47), (176, 32, 72), (176, 32, 97),
                           (177, 122, 131), (212, 178, 152)]),
    ("Note 222", 218, [(208, 264, 5)]),
)

NOTE = ("Warning:Excessive Overclocking May Caused GPU Damage,Please Reset Q-SURGE If GPU Fail "
        "After Overclocking.")
INFO = ("GeForce GTX 1080", "2560", "8192 MB   GDDR5X", "256 Bit", "ForceWare 531.41", "86.04.17.00.01")


def pt(points):
    return int(round(points * 96 / 72))


def number(img, xy, s, points, colour, right=None):
    f = font(pt(points), "SemiBold")
    x, y = xy
    if right is not None:
        x = right - f.getlength(s)
    ImageDraw.Draw(img).text((x, y), s, font=f, fill=colour)


def slider(img, x, y, frac, by_id):
    ch, act, th = by_id[174], by_id[173], by_id[175]
    px = 2 + 7 + int((134 - 2 - 2 - 15) * frac)
    img.paste(ch, (x, y))
    img.paste(act.crop((0, 0, px, 15)), (x, y))
    img.paste(th, (x + px - 7, y))


def curve(img, x0, y0):
    points = [(7, 4), (4, 6), (3, 8), (0, 10)]
    lay = Layer(*img.size, ss=1)
    pts, p = [(x0, y0 + 200)], 0
    for row, right in points:
        pts += [(x0 + p * 29, y0 + row * 20), (x0 + right * 29, y0 + row * 20)]
        p = right
    pts += [(x0 + p * 29, y0), (x0 + 290, y0)]
    lay.line(pts, (0, 255, 255, 255), 1)
    img.paste(over(img, lay))


def plot(img, x, y, seed):
    d = ImageDraw.Draw(img)
    d.rectangle((x, y, x + 229, y + 55), fill=(0, 0, 0))
    for gx in range(3, 230, 5):
        d.line((x + gx, y, x + gx, y + 55), fill=(40, 57, 67))
    for gy in range(0, 56, 5):
        d.line((x, y + gy, x + 228, y + gy), fill=(40, 57, 67))
    import math
    pts = [(x + i, y + 28 - int(16 * math.sin(i / (14 + seed * 3) + seed) + 6 * math.sin(i / 5.0)))
           for i in range(60, 230)]
    d.line(pts, fill=(27, 114, 166))


def samples(title, img, by_id):
    if title.startswith("Main"):
        face = by_id[216]
        face = dial.place_needle(face, by_id[225], (14, 26), MEMORY, dial.MEMORY_FULL, dial.centre())
        face = dial.place_needle(face, by_id[224], (11, 34), ENGINE, dial.ENGINE_FULL, dial.centre())
        number(face, (198, 166), str(ENGINE), 23, (0, 0, 0))
        number(face, (209, 220), str(MEMORY), 14, (255, 255, 255))
        img.paste(face, (318, 67))
        number(img, (139, 187), "63", 30, (255, 255, 255))
        number(img, (146, 310), "42", 20, (255, 255, 255))
    elif title.startswith("Overclock"):
        for r, (v, frac) in enumerate((("110", 0.6), ("60", 0.1), ("100", 0.45), ("500", 0.7))):
            slider(img, 170, 102 + 46 * r, frac, by_id)
            number(img, (334, 104 + 46 * r), v, 10, (255, 255, 255), right=377)
    elif title.startswith("Fan curve"):
        curve(img, 68, 101)
    elif title.startswith("Hardware"):
        for i, (y, v) in enumerate(((75, "1620"), (142, "4001"), (209, "63"), (274, "42"))):
            plot(img, 89, y, i)
            number(img, (322, y + 16), v, 14, (255, 255, 255), right=382)
    elif title.startswith("Information"):
        for i, s in enumerate(INFO):
            text(img, (128, 60 + 42 * i + 3), s, 15, "Regular", (255, 255, 255), "la")
    elif title.startswith("Settings"):
        d = ImageDraw.Draw(img)
        d.rectangle((32, 126, 113, 146), fill=(255, 255, 255), outline=(122, 122, 122))
        text(img, (36, 130), "GPU 1", 11, "Regular", (0, 0, 0), "la")
        d.polygon([(101, 134), (109, 134), (105, 139)], fill=(60, 60, 60))
    elif title.startswith("Note"):
        words, line, y = NOTE.replace(",", ", ").split(), "", 78
        for w in words + [None]:
            trial = (line + " " + w).strip() if w else None
            if w and font(14, "Regular").getlength(trial) <= 266:
                line = trial
                continue
            text(img, (14, y), line, 14, "Regular", (200, 200, 200), "la")
            y, line = y + 19, w or ""


def window(title, skin_id, placed, by_id):
    skin = by_id[skin_id]
    img = skin.copy()
    for ident, x, y in placed:
        img.paste(by_id[ident], (x, y))
    samples(title, img, by_id)
    # Outside the shape the sheet's ground shows, as on a desktop.
    shape = Image.new("L", skin.size, 255)
    sp, mp = skin.load(), shape.load()
    for yy in range(skin.size[1]):
        for xx in range(skin.size[0]):
            if sp[xx, yy] == KEY:
                mp[xx, yy] = 0
    out = Image.new("RGB", skin.size, BG)
    out.paste(img, (0, 0), shape)
    return out


def tile(ident, name, img):
    """An image on a checked ground (PNG alpha shows), with its caption."""
    w, h = img.size
    label = "%d  %s" % (ident, name) if "  " in name else "%d  %s  %dx%d" % (ident, name, w, h)
    tw = int(font(11, "Medium").getlength(label)) + 2
    cw = max(w, tw, 40)
    t = Image.new("RGB", (cw, h + 20), BG)
    if img.mode == "RGBA":
        check = Image.new("RGBA", (w, h))
        d = ImageDraw.Draw(check)
        for yy in range(0, h, 6):
            for xx in range(0, w, 6):
                d.rectangle((xx, yy, xx + 5, yy + 5),
                            fill=(120, 124, 130, 255) if (xx + yy) // 6 % 2 else (90, 94, 100, 255))
        check.alpha_composite(img)
        img = check.convert("RGB")
    t.paste(img, (0, 0))
    text(t, (0, h + 5), label, 11, "Medium", DIM, "la")
    return t


def flow(items, width):
    """Lays tiles left to right in rows; returns (rows of (tile, x), height)."""
    rows, row, x, rh, total = [], [], 0, 0, 0
    for t in items:
        if row and x + t.size[0] > width:
            rows.append((row, rh))
            total += rh + 14
            row, x, rh = [], 0, 0
        row.append((t, x))
        x += t.size[0] + 18
        rh = max(rh, t.size[1])
    if row:
        rows.append((row, rh))
        total += rh + 14
    return rows, total


def build(out, path):
    by_id = {ident: img for _, ident, _, img in out.items}
    blocks = [("Windows as placed (sample readings; numbers in a stand-in face)",
               [_titled(t, window(t, s, p, by_id)) for t, s, p in WINDOWS])]
    groups = []
    for group, ident, name, img in out.items:
        if group not in [g for g, _ in groups]:
            groups.append((group, []))
        dict(groups)[group].append(tile(ident, name, img))
    blocks += groups
    laid = [(title, flow(items, WIDTH - 2 * PAD)) for title, items in blocks]
    height = PAD + sum(34 + h + 10 for _, (_, h) in laid) + PAD
    sheet = Image.new("RGB", (WIDTH, height), BG)
    y = PAD
    for title, (rows, h) in laid:
        text(sheet, (PAD, y + 18), title, 16, "Bold", INK, "ls")
        y += 34
        for row, rh in rows:
            for t, x in row:
                sheet.paste(t, (PAD + x, y))
            y += rh + 14
        y += 10
    sheet.save(path, optimize=True)


def _titled(title, img):
    w, h = img.size
    t = Image.new("RGB", (w, h + 22), BG)
    t.paste(img, (0, 0))
    text(t, (0, h + 6), title, 12, "SemiBold", DIM, "la")
    return t
