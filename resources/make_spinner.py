#!/usr/bin/env python3
"""Writes spinner.gif, the progress dialog's busy animation.

A GIF89a of 30 x 30 pixels with a 256-entry global colour table and 101
frames. Every frame carries a graphic control extension with delay 3 and
disposal 1 and covers the whole picture, so each one decodes on its own.
Twelve dots sit on a circle; a bright head runs round it and the dots behind
it fade. Standard library only: the LZW coder is below.

Usage: make_spinner.py [output path]   (default: spinner.gif next to this file)
"""
import math
import os
import struct
import sys

SIZE = 30
FRAMES = 101
DELAY = 3          # hundredths of a second
DISPOSAL = 1       # leave the frame in place
DOTS = 12
BACKGROUND = (0xE1, 0xE1, 0xE1)   # the progress dialog's face colour
HEAD = (0x1F, 0x5F, 0xBF)         # blue of the leading dot


def palette():
    """Index 0 is the background; 1..255 blend from background to HEAD."""
    table = [BACKGROUND]
    for i in range(1, 256):
        t = i / 255.0
        table.append(tuple(round(b + (h - b) * t) for b, h in zip(BACKGROUND, HEAD)))
    return table


def frame_pixels(frame):
    """Colour indices of one frame, row by row, anti-aliased by 4x4 samples."""
    head = frame / FRAMES * DOTS          # position of the head in dot units
    centre = (SIZE - 1) / 2.0
    radius, dot_radius = 10.0, 2.6
    dots = []
    for d in range(DOTS):
        angle = 2 * math.pi * d / DOTS - math.pi / 2
        behind = (head - d) % DOTS        # how far the head has passed this dot
        strength = max(0.12, 1.0 - behind / DOTS) if behind >= 0 else 0.12
        dots.append((centre + radius * math.cos(angle),
                     centre + radius * math.sin(angle), strength))
    pixels = []
    for y in range(SIZE):
        for x in range(SIZE):
            level = 0.0
            for sy in range(4):
                for sx in range(4):
                    px, py = x + (sx + 0.5) / 4 - 0.5, y + (sy + 0.5) / 4 - 0.5
                    for dx, dy, strength in dots:
                        if (px - dx) ** 2 + (py - dy) ** 2 <= dot_radius ** 2:
                            level += strength
                            break
            pixels.append(min(255, round(level / 16 * 255)))
    return pixels


def lzw_encode(indices, min_code_size):
    """GIF variable-width LZW: codes packed least significant bit first."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bits = 0
    nbits = 0

    def emit(code, width):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    def reset():
        return {}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    prefix = indices[0]
    for k in indices[1:]:
        key = (prefix, k)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix, width)
        table[key] = next_code
        next_code += 1
        if next_code > (1 << width) and width < 12:
            width += 1
        if next_code == 4096:
            emit(clear, width)
            table, next_code, width = reset()
        prefix = k
    emit(prefix, width)
    emit(end, width)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def build_gif():
    out = bytearray(b"GIF89a")
    # Logical screen: width, height, packed (global table of 256 entries,
    # colour resolution 8 bits), background index 0, aspect 0.
    out += struct.pack("<HHBBB", SIZE, SIZE, 0xF7, 0, 0)
    for r, g, b in palette():
        out += bytes((r, g, b))
    # Loop for ever (application extension NETSCAPE2.0).
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for frame in range(FRAMES):
        # Graphic control extension: size 4, packed (disposal << 2), delay,
        # no transparent colour, terminator.
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, DISPOSAL << 2, DELAY, 0, 0)
        # Image descriptor: whole picture, no local colour table.
        out += struct.pack("<BHHHHB", 0x2C, 0, 0, SIZE, SIZE, 0)
        out.append(8)  # LZW minimum code size
        out += sub_blocks(lzw_encode(frame_pixels(frame), 8))
    out.append(0x3B)
    return bytes(out)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "spinner.gif")
    with open(path, "wb") as f:
        f.write(build_gif())


if __name__ == "__main__":
    main()
