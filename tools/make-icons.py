#!/usr/bin/env python3
"""Draws the two program icons (32x32 and 16x16, 16 colours) into resources/win32/.

copytool.ico: a many-coloured disc. setuptool.ico: white window frames stacked corner to
corner. Run again after changing the drawing; the .ico files are committed.
"""
import math
import os
import struct

# The 16-colour VGA palette, as (R, G, B).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, WHITE = 0, 4, 8, 15
DISC_COLOURS = [9, 11, 10, 14, 12, 13, 1, 3]  # red, yellow, green, cyan, blue, magenta, ...


def disc(size):
    """Pixels (colour index or None for transparent) of the coloured disc."""
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d > r:
                row.append(None)
            elif d > r - 1.2:
                row.append(BLACK)
            else:
                angle = (math.atan2(y - c, x - c) + math.pi) / (2 * math.pi)
                row.append(DISC_COLOURS[int(angle * len(DISC_COLOURS)) % len(DISC_COLOURS)])
        pixels.append(row)
    return pixels


def frames(size):
    """Pixels of three white window frames, each offset down and right from the last."""
    pixels = [[None] * size for _ in range(size)]
    w = size * 5 // 8
    step = (size - w) // 2
    bar = max(2, size // 8)
    for i in range(3):
        x0 = y0 = i * step
        for y in range(y0, y0 + w):
            for x in range(x0, x0 + w):
                edge = x in (x0, x0 + w - 1) or y in (y0, y0 + w - 1)
                pixels[y][x] = BLACK if edge else (NAVY if y < y0 + bar else WHITE)
    return pixels


def image(pixels):
    size = len(pixels)
    xor = b''
    mask = b''
    for row in reversed(pixels):  # bottom-up
        nibbles = [0 if p is None else p for p in row]
        xor += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += b'\0' * ((4 - (size // 2) % 4) % 4)
        bits = 0
        line = b''
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                line += bytes([bits])
                bits = 0
        mask += line + b'\0' * ((4 - len(line) % 4) % 4)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + xor + mask


def ico(draw):
    images = [image(draw(s)) for s in (32, 16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', s, s, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


if __name__ == '__main__':
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'win32')
    os.makedirs(folder, exist_ok=True)
    for name, draw in (('copytool.ico', disc), ('setuptool.ico', frames)):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(ico(draw))
