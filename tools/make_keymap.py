#!/usr/bin/python3
"""make_keymap.py -- draw the key-map picture from its description.

    tools/make_keymap.py ui/keymap.txt ui/keymap.bmp [preview.png]

Reads the description (see ui/keymap.txt), draws the left end of a MIDI
keyboard (the two wheels, then one octave of keys labelled by what they do)
and writes a 16-bit BI_RGB (X1R5G5B5) bottom-up BMP, the format the resource
compiler and the dialog's picture control take. Needs Debian's python3-pil.
The generated file is committed, so the build does not run this.
"""
import shlex
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

SCALE = 3  # drawn large, then reduced, for smooth edges

FACE = (240, 240, 240)      # the dialog's background
CASE = (42, 47, 56)
PANEL = (55, 61, 72)
LIP = (26, 29, 35)
WHITE_KEY = (250, 250, 246)
WHITE_EDGE = (176, 181, 190)
BLACK_KEY = (24, 26, 31)
BLACK_TOP = (62, 67, 77)
INK = (32, 36, 43)
NOTE_INK = (150, 155, 164)
LIGHT_TEXT = (236, 238, 242)
ACCENT = (242, 177, 52)

FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

NOTES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]


def parse(path):
    size, wheels, keys = None, [], {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.lstrip().startswith("#"):
                continue
            words = shlex.split(line)
            if not words:
                continue
            if words[0] == "size":
                size = (int(words[1]), int(words[2]))
            elif words[0] == "wheel":
                wheels.append((words[1], words[2]))
            elif words[0] == "key" and words[1] in NOTES:
                key = {"colour": words[2], "kind": words[3], "value": words[4]}
                if len(words) >= 7 and words[5] == "arrow":
                    key["arrow"] = words[6]
                keys[words[1]] = key
            else:
                sys.exit(f"{path}:{number}: cannot read: {line.strip()}")
    if size is None or len(keys) != 12:
        sys.exit(f"{path}: needs a size and all twelve keys")
    return size, wheels, keys


def s(*values):
    return [v * SCALE for v in values]


def font(path, px):
    return ImageFont.truetype(path, px * SCALE)


def centred_text(draw, cx, y, text, face, fill):
    width = draw.textlength(text, font=face)
    draw.text((cx * SCALE - width / 2, y * SCALE), text, font=face, fill=fill)


def arrow(draw, cx, y0, y1, fill, width=2, head=5):
    """A vertical arrow from y0 to y1 (pointing at y1)."""
    direction = 1 if y1 > y0 else -1
    draw.line(s(cx, y0, cx, y1 - direction * head), fill=fill, width=width * SCALE)
    draw.polygon(s(cx - head, y1 - direction * head * 1.6, cx + head, y1 - direction * head * 1.6, cx, y1), fill=fill)


def symbol(draw, name, cx, cy, fill):
    h = 9  # half height
    if name == "play":
        draw.polygon(s(cx - 7, cy - h, cx - 7, cy + h, cx + 9, cy), fill=fill)
    elif name == "pause":
        draw.rectangle(s(cx - 8, cy - h, cx - 3, cy + h), fill=fill)
        draw.rectangle(s(cx + 3, cy - h, cx + 8, cy + h), fill=fill)
    elif name == "stop":
        draw.rectangle(s(cx - 8, cy - 8, cx + 8, cy + 8), fill=fill)
    elif name in ("previous", "next"):
        sign = -1 if name == "previous" else 1
        for offset in (-9, 0):  # two triangles pointing the same way
            tip = cx + sign * (offset + 9)
            back = tip - sign * 9
            draw.polygon(s(back, cy - 7, back, cy + 7, tip, cy), fill=fill)
        bar = cx + sign * 10
        draw.rectangle(s(min(bar, bar + sign * 3), cy - 7, max(bar, bar + sign * 3), cy + 7), fill=fill)
    else:
        sys.exit(f"unknown symbol {name}")


def draw_wheel(draw, x0, y0, x1, y1):
    draw.rounded_rectangle(s(x0 - 3, y0 - 3, x1 + 3, y1 + 3), radius=4 * SCALE, fill=LIP)
    # A cylinder seen from the front: bright in the middle, dark at the ends.
    height = (y1 - y0) * SCALE
    for i in range(height):
        t = i / max(1, height - 1)
        shade = 1 - abs(t - 0.5) * 1.7
        grey = int(70 + 120 * max(0.0, shade))
        draw.line([x0 * SCALE, y0 * SCALE + i, x1 * SCALE, y0 * SCALE + i], fill=(grey, grey, grey + 6))
    for y in range(y0 + 6, y1 - 3, 7):  # grip ridges
        draw.line(s(x0 + 2, y, x1 - 2, y), fill=(48, 52, 60), width=SCALE)


def render(size, wheels, keys):
    width, height = size
    image = Image.new("RGB", (width * SCALE, height * SCALE), FACE)
    draw = ImageDraw.Draw(image)
    label_bold = font(FONT_BOLD, 11)
    label = font(FONT_BOLD, 9)
    wheel_label = font(FONT_BOLD, 10)
    small = font(FONT, 9)

    draw.rounded_rectangle(s(2, 2, width - 3, height - 3), radius=12 * SCALE, fill=CASE)

    # The wheels at the left end, each with "Volume" and an arrow at it.
    panel_x0, panel_x1 = 12, 112
    draw.rounded_rectangle(s(panel_x0, 12, panel_x1, height - 13), radius=8 * SCALE, fill=PANEL)
    column = (panel_x1 - panel_x0) / max(1, len(wheels))
    for i, (caption, text) in enumerate(wheels):
        cx = panel_x0 + column * (i + 0.5)
        centred_text(draw, cx, 20, text, wheel_label, LIGHT_TEXT)
        arrow(draw, cx, 40, 98, ACCENT)
        draw_wheel(draw, int(cx - 13), 106, int(cx + 13), 212)
        centred_text(draw, cx, 222, caption, small, (190, 195, 204))

    # One octave: seven white keys, five black keys between them.
    white_names = [n for n in NOTES if "#" not in n]
    key_x0, key_w = 124, 49
    key_top, key_bottom = 70, height - 11
    draw.rectangle(s(key_x0 - 2, key_top - 6, key_x0 + key_w * 7 + 2, key_top), fill=LIP)
    for i, name in enumerate(white_names):
        x0 = key_x0 + i * key_w
        draw.rounded_rectangle(s(x0, key_top, x0 + key_w - 1, key_bottom), radius=4 * SCALE,
                               fill=WHITE_KEY, outline=WHITE_EDGE, width=SCALE)
        cx = x0 + key_w / 2
        centred_text(draw, cx, 172, name, small, NOTE_INK)
        key = keys[name]
        if key["kind"] == "symbol":
            symbol(draw, key["value"], cx, 206, INK)
        else:
            centred_text(draw, cx, 191, key["value"], label, INK)
            if key.get("arrow") == "down":
                arrow(draw, cx, 205, 230, INK)
            elif key.get("arrow") == "up":
                arrow(draw, cx, 230, 205, INK)

    black_w, black_bottom = 30, 166
    row = 0
    for index, name in enumerate(NOTES):
        if "#" not in name:
            continue
        boundary = white_names.index(name[0]) + 1
        cx = key_x0 + boundary * key_w
        draw.rounded_rectangle(s(cx - black_w / 2, key_top, cx + black_w / 2, black_bottom), radius=3 * SCALE,
                               fill=BLACK_KEY)
        draw.rounded_rectangle(s(cx - black_w / 2 + 3, key_top, cx + black_w / 2 - 3, black_bottom - 7),
                               radius=2 * SCALE, fill=BLACK_TOP)
        # Labels above the keys, in two staggered rows so that long words fit.
        text_y = 14 if row % 2 == 0 else 34
        row += 1
        centred_text(draw, cx, text_y, keys[name]["value"], label_bold, LIGHT_TEXT)
        draw.line(s(cx, text_y + 15, cx, key_top - 8), fill=ACCENT, width=SCALE)
        draw.ellipse(s(cx - 2, key_top - 10, cx + 2, key_top - 6), fill=ACCENT)

    return image.resize((width, height), Image.LANCZOS)


def write_bmp16(image, path):
    width, height = image.size
    stride = (width * 2 + 3) & ~3
    pixels = image.load()
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = pixels[x, y]
            row += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    offset = 14 + 40
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 16, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    image = render(*parse(sys.argv[1]))
    write_bmp16(image, sys.argv[2])
    if len(sys.argv) == 4:
        image.save(sys.argv[3])


if __name__ == "__main__":
    main()
