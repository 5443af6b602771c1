"""Renders every image the executable carries into res/images, once per
display scale (res/images/100, /125, ...), the resource list res/art.rc
that puts them into the executable, and the contact sheet
res/contact-sheet.png. Run through res/render.sh."""
import os
import sys

from common import SCALES, Outputs, keyed, set_scale
import dial
import glyphs
import icons
import keys
import main_parts as mp
import main_skin as ms
import panel_parts as pp
import panels
import sheet


def render_main(out):
    art, shape = ms.art()
    out.rgb("Skins", 129, "skin-main", keyed(art, shape))
    out.rgb("Main window", 204, "main-settings", ms.crop(art, ms.SET))
    out.rgb("Main window", 152, "main-minimise", ms.crop(art, ms.MINIMISE))
    out.rgb("Main window", 153, "main-close", ms.crop(art, ms.CLOSE))
    for label, box, ids in (("3", ms.PRESET_3, (132, 133, 131)), ("5", ms.PRESET_5, (135, 136, 134)),
                            ("10", ms.PRESET_10, (138, 139, 137))):
        for ident, state in zip(ids, ("selected", "unselected", "pressed")):
            out.rgb("Main window", ident, "preset%s-%s" % (label, state), mp.preset(art, box, label, state))
    for name, label, box, primary, ids in (("apply", "APPLY", ms.APPLY, True, (142, 140, 141)),
                                            ("reset", "RESET", ms.RESET, False, (148, 146, 147))):
        for ident, state in zip(ids, ("normal", "pressed", "hover")):
            suffix = "" if state == "normal" else "-" + state
            out.rgb("Main window", ident, "main-%s%s" % (name, suffix),
                    keys.wide_key(ms.crop(art, box), label, primary, state))
    for name, label, box, icon, ids in (("hwm", "MONITOR", ms.HWM, glyphs.chart, (145, 143, 144)),
                                         ("turbo", "TURBO", ms.TURBO, glyphs.bolt, (130, 149, 150))):
        for ident, state in zip(ids, ("normal", "pressed", "hover")):
            suffix = "" if state == "normal" else "-" + state
            out.rgb("Main window", ident, name + suffix, mp.square_key(art, box, label, icon, state))
    out.rgb("Main window", 154, "fan-curve-key", mp.fan_curve_key(art, False))
    out.rgb("Main window", 155, "fan-curve-key-active", mp.fan_curve_key(art, True))
    out.rgb("Switches", 177, "switch-on", mp.switch(True))
    out.rgb("Switches", 176, "switch-off", mp.switch(False))
    for level in range(13):
        out.rgb("Temperature pictures", 189 + level, "temperature-%03d" % (level * 10),
                mp.temperature(art, level))
    for level in range(11):
        out.rgb("Fan pictures", 178 + level, "fan-%03d" % (level * 10), mp.fan(art, level))
    out.rgb("Dial", 216, "dial-face", mp.face(art))
    out.png("Dial", 224, "needle-engine", dial.engine_needle())
    out.png("Dial", 225, "needle-memory", dial.memory_needle())


def render_panels(out):
    skins = {}
    for ident, name, make in ((160, "skin-overclock", panels.overclock), (156, "skin-fan-curve", panels.fan_curve),
                              (202, "skin-monitor", panels.monitor), (206, "skin-information", panels.information),
                              (207, "skin-settings", panels.settings), (218, "skin-note", panels.note)):
        skin, art = make()
        out.rgb("Skins", ident, name, skin)
        skins[ident] = art
    out.rgb("Panels", 158, "panel-minimise", pp.cut(skins[160], 358, 5))
    out.rgb("Panels", 159, "panel-close", pp.cut(skins[160], 382, 5))
    out.rgb("Panels", 162, "step-minus", pp.step("-", False))
    out.rgb("Panels", 165, "step-minus-active", pp.step("-", True))
    out.rgb("Panels", 164, "step-plus", pp.step("+", False))
    out.rgb("Panels", 163, "step-plus-active", pp.step("+", True))
    for name, label, primary, ids in (("apply", "APPLY", True, (169, 167, 168)),
                                      ("reset", "RESET", False, (166, 170, 171))):
        for ident, state in zip(ids, ("normal", "pressed", "hover")):
            suffix = "" if state == "normal" else "-" + state
            out.rgb("Panels", ident, "panel-%s%s" % (name, suffix), pp.panel_key(label, primary, state))
    out.rgb("Panels", 174, "slider-channel", pp.channel(False))
    out.rgb("Panels", 173, "slider-channel-active", pp.channel(True))
    out.rgb("Panels", 175, "slider-thumb", pp.thumb())
    out.rgb("Panels", 172, "curve-grid", pp.grid())
    out.rgb("Settings and note", 209, "settings-minimise", pp.cut(skins[207], 240, 5))
    out.rgb("Settings and note", 208, "settings-close", pp.cut(skins[207], 264, 5))
    for ident, state in zip((212, 210, 211), ("normal", "pressed", "hover")):
        suffix = "" if state == "normal" else "-" + state
        out.rgb("Settings and note", ident, "settings-apply" + suffix, pp.settings_apply(state))


ART_RC_HEAD = """// Written by res/render.sh: every image of the program as PNG, one
// resource type per display scale (ART100 at 96 DPI ... ART200 at 192 DPI),
// each under the image's identifier from resource.h.
"""


def write_art_rc(path, art):
    lines = [ART_RC_HEAD]
    for percent in SCALES:
        lines.append("")
        for ident, name in art:
            lines.append("%-5d ART%d \"images/%d/%s.png\"" % (ident, percent, percent, name))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main(root):
    images = os.path.join(root, "images")
    os.makedirs(images, exist_ok=True)
    out = Outputs(images)
    for percent in SCALES:
        set_scale(percent)
        render_main(out)
        render_panels(out)
    set_scale(100)
    write_art_rc(os.path.join(root, "art.rc"), out.art)
    data, preview = icons.icon_file()
    out.raw("Icon and cursor", 128, "qsurge.ico", data, preview,
            ", ".join(str(s) for s in icons.ICON_SIZES))
    data, preview = icons.cursor_file()
    out.raw("Icon and cursor", 151, "hand.cur", data, preview, "32 (shown at 1x and 3x)")
    sheet.build(out, os.path.join(root, "contact-sheet.png"))
    print("rendered %d files into %s" % (len(out.items), images))


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")))
