#!/usr/bin/env python3
"""Writes the desktop program's pictures as PNG files next to this script:

  splash.png              350 x 250 start-up picture
  toolbar_<command>.png   55 x 48 toolbar buttons, one per command number
  salvix.png              48 x 48 program and document icon
  output.png              16 x 16 icon of the log pane

Each picture is a list of filled shapes painted in order and sampled 4 x 4
per pixel for smooth edges. Standard library only (zlib for PNG).
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 4


# ---- shapes: each is a predicate inside(x, y) in picture coordinates ----

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 ** 2


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                hit = not hit
        return hit
    return inside


def line(xa, ya, xb, yb, width):
    def inside(x, y):
        dx, dy = xb - xa, yb - ya
        t = max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / (dx * dx + dy * dy)))
        px, py = xa + t * dx, ya + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def outline(x0, y0, x1, y1, w):
    inner = rect(x0 + w, y0 + w, x1 - w, y1 - w)
    outer = rect(x0, y0, x1, y1)
    return lambda x, y: outer(x, y) and not inner(x, y)


def glyph_text(text, x0, y0, scale, font):
    """Shape of a line of text drawn with the 5 x 7 font below."""
    cells = set()
    cursor = 0
    for ch in text:
        rows = font.get(ch)
        if rows:
            for r, bits in enumerate(rows):
                for c in range(5):
                    if bits & (0x10 >> c):
                        cells.add((cursor + c, r))
        cursor += 6
    return lambda x, y: (int((x - x0) // scale), int((y - y0) // scale)) in cells \
        and x >= x0 and y >= y0


FONT = {  # 5 x 7 capitals, one row per entry, high bit on the left
    "A": (0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11),
    "E": (0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F),
    "F": (0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10),
    "I": (0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E),
    "L": (0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F),
    "O": (0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E),
    "Q": (0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D),
    "R": (0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11),
    "S": (0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E),
    "T": (0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04),
    "U": (0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E),
    "V": (0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04),
    "X": (0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11),
    " ": (0, 0, 0, 0, 0, 0, 0),
}


def render(width, height, layers, background=None):
    """layers: list of (shape, (r, g, b, a)); later layers cover earlier."""
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px, py = x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES
                    colour = background(px, py) if background else (0, 0, 0, 0)
                    for shape, c in layers:
                        if shape(px, py):
                            colour = c
                    a = colour[3] / 255.0
                    for i in range(3):
                        acc[i] += colour[i] * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha > 0:
                row += bytes(round(acc[i] / acc[3]) for i in range(3))
            else:
                row += b"\0\0\0"
            row.append(round(alpha * 255))
        rows.append(bytes(row))
    return rows


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + r for r in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# ---- pictures ----

YELLOW = (0xF2, 0xC1, 0x3A, 255)
YELLOW_DARK = (0xC8, 0x94, 0x1E, 255)
BLUE = (0x2B, 0x6C, 0xD0, 255)
BLUE_DARK = (0x1A, 0x44, 0x8A, 255)
RED = (0xD8, 0x2A, 0x2A, 255)
GREEN = (0x2E, 0xA0, 0x43, 255)
WHITE = (255, 255, 255, 255)
GREY = (0x60, 0x60, 0x60, 255)
DARK = (0x30, 0x30, 0x30, 255)


def database(cx, top, rx, ry, h, body, rim):
    """A database cylinder: body, two bands and the top face."""
    return [
        (ellipse(cx, top + h, rx, ry), rim),
        (rect(cx - rx, top, cx + rx, top + h), body),
        (ellipse(cx, top + h * 0.5, rx, ry), rim),
        (rect(cx - rx, top + 1, cx + rx, top + h * 0.5), body),
        (ellipse(cx, top, rx, ry), rim),
        (ellipse(cx, top, rx - 1.5, ry - 1), (0x8F, 0xB8, 0xF0, 255)),
    ]


def folder():
    return [
        (polygon([(8, 12), (22, 12), (26, 16), (46, 16), (46, 40), (8, 40)]), YELLOW_DARK),
        (polygon([(12, 21), (50, 21), (45, 40), (8, 40)]), YELLOW),
    ]


def icon_open():
    return folder() + database(38, 24, 7, 3, 14, BLUE, BLUE_DARK)


def icon_close():
    return folder() + [(line(31, 25, 45, 39, 4), RED), (line(45, 25, 31, 39, 4), RED)]


def magnifier(cx, cy):
    return [(ring(cx, cy, 5, 7.5), DARK), (line(cx + 5, cy + 5, cx + 10, cy + 10, 4), DARK)]


def icon_pictures():
    return [
        (rect(7, 8, 43, 38), GREY),
        (rect(9, 10, 41, 36), (0x9C, 0xD0, 0xF5, 255)),
        (circle(33, 17, 4), YELLOW),
        (polygon([(9, 36), (20, 20), (30, 36)]), GREEN),
        (polygon([(22, 36), (30, 26), (41, 36)]), (0x1F, 0x7A, 0x33, 255)),
    ] + magnifier(40, 32)


def icon_movies():
    layers = [(rect(6, 10, 44, 38), DARK)]
    for i in range(6):
        x = 8 + i * 6
        layers.append((rect(x, 12, x + 3, 15), WHITE))
        layers.append((rect(x, 33, x + 3, 36), WHITE))
    layers.append((polygon([(20, 18), (20, 30), (31, 24)]), WHITE))
    return layers + magnifier(40, 32)


def icon_stop():
    pts = [(27.5 + 15 * math.cos(math.pi / 8 + i * math.pi / 4),
            24 + 15 * math.sin(math.pi / 8 + i * math.pi / 4)) for i in range(8)]
    inner = [(27.5 + 13 * math.cos(math.pi / 8 + i * math.pi / 4),
              24 + 13 * math.sin(math.pi / 8 + i * math.pi / 4)) for i in range(8)]
    return [(polygon(pts), (0x90, 0x14, 0x14, 255)), (polygon(inner), RED),
            (rect(19, 21, 36, 27), WHITE)]


def check_boxes(checked):
    layers = []
    for i, y in enumerate((8, 20, 32)):
        layers.append((outline(12, y, 21, y + 9, 1.5), GREY))
        layers.append((rect(13.5, y + 1.5, 19.5, y + 7.5), WHITE))
        layers.append((rect(25, y + 3, 44, y + 6), (0x90, 0x90, 0x90, 255)))
        if checked:
            layers.append((line(13.5, y + 4.5, 16, y + 7, 2.2), GREEN))
            layers.append((line(16, y + 7, 21.5, y + 0.5, 2.2), GREEN))
    return layers


def splash():
    def sky(x, y):
        t = y / 250.0
        return (round(0x10 + 0x18 * t), round(0x2A + 0x30 * t), round(0x5C + 0x50 * t), 255)

    layers = []
    # Faint page grid behind, as on a hex dump.
    for i in range(0, 350, 14):
        layers.append((rect(i, 0, i + 1, 250), (0x2A, 0x4C, 0x8A, 255)))
    for j in range(0, 250, 14):
        layers.append((rect(0, j, 350, j + 1), (0x2A, 0x4C, 0x8A, 255)))
    layers += database(80, 70, 40, 13, 80, (0x3D, 0x7E, 0xE0, 255), (0x1E, 0x4E, 0x9E, 255))
    layers += [(ring(112, 146, 22, 29), (0xF0, 0xF0, 0xF0, 255)),
               (line(132, 166, 152, 186, 10), (0xF0, 0xF0, 0xF0, 255))]
    layers.append((glyph_text("SALVIX", 170, 70, 4, FONT), WHITE))
    layers.append((glyph_text("FOR SQLITE", 170, 110, 2.6, FONT), (0xBF, 0xD7, 0xFF, 255)))
    layers.append((rect(170, 140, 325, 142), (0xF2, 0xC1, 0x3A, 255)))
    layers.append((glyph_text("QUORVEL", 170, 205, 2, FONT), (0xF2, 0xC1, 0x3A, 255)))
    return render(350, 250, layers, background=sky)


def main():
    write_png(os.path.join(HERE, "splash.png"), 350, 250, splash())
    icons = {
        32818: icon_open(), 32819: icon_close(), 32826: icon_pictures(),
        32827: icon_movies(), 32817: icon_stop(),
        32802: check_boxes(False), 32801: check_boxes(True),
    }
    for command, layers in icons.items():
        write_png(os.path.join(HERE, "toolbar_%d.png" % command), 55, 48, render(55, 48, layers))
    app = database(24, 10, 16, 6, 28, BLUE, BLUE_DARK)
    write_png(os.path.join(HERE, "salvix.png"), 48, 48, render(48, 48, app))
    log = [(rect(2, 1, 14, 15), GREY), (rect(3, 2, 13, 14), WHITE)] + \
          [(rect(5, y, 11, y + 1), BLUE) for y in (4, 7, 10)]
    write_png(os.path.join(HERE, "output.png"), 16, 16, render(16, 16, log))


if __name__ == "__main__":
    main()
