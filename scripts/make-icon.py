#!/usr/bin/env python3
"""Draws the program's icon (a chip with a flame on it) and writes app/win32/pyrola.ico
with 16, 32 and 48 pixel images in 32-bit colour. Run it again after changing the design."""
import math
import os
import struct

SIZES = (16, 32, 48)
SUPERSAMPLE = 4


def pixel(x, y):
    """Colour (r, g, b, a) at a point of the unit square, y downwards."""
    # Chip body: a rounded square with pins on the left and right.
    body = (0.2, 0.14, 0.8, 0.86)
    pins_y = [0.26, 0.42, 0.58, 0.74]
    for py in pins_y:
        if abs(y - py) < 0.045 and (0.06 <= x < body[0] or body[2] <= x < 0.94):
            return (200, 205, 212, 255)
    rx = max(body[0] - x, 0, x - body[2])
    ry = max(body[1] - y, 0, y - body[3])
    corner = 0.08
    inside = (body[0] <= x <= body[2] and body[1] <= y <= body[3])
    if inside:
        cx = min(max(x, body[0] + corner), body[2] - corner)
        cy = min(max(y, body[1] + corner), body[3] - corner)
        if math.hypot(x - cx, y - cy) > corner:
            inside = False
    if not inside:
        return (0, 0, 0, 0)
    # A flame on the body: widest low down, a point at the top.
    top, bottom, width = 0.24, 0.78, 0.23
    if top <= y <= bottom:
        t = (y - top) / (bottom - top)
        half = width * (t ** 0.9) * ((1 - t) ** 0.45) / (0.67 ** 0.9 * 0.33 ** 0.45)
        d = abs(x - 0.5)
        if d <= half:
            inner = 1 - d / half if half > 0 else 0
            heat = min(1.0, inner * 0.8 + t * 0.5)
            r = 230 + int(25 * heat)
            g = 70 + int(170 * heat * heat)
            b = 20 + int(60 * heat ** 3)
            return (min(r, 255), min(g, 255), min(b, 255), 255)
    shade = int(20 * (y - body[1]))
    return (38 + shade, 52 + shade, 72 + shade, 255)


def image(size):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    r, g, b, a = pixel((px + (sx + 0.5) / SUPERSAMPLE) / size, (py + (sy + 0.5) / SUPERSAMPLE) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SUPERSAMPLE * SUPERSAMPLE
            alpha = acc[3] / n
            if acc[3]:
                colour = [int(acc[i] / acc[3]) for i in range(3)]
            else:
                colour = [0, 0, 0]
            row.append((colour[0], colour[1], colour[2], int(alpha)))
        rows.append(row)
    return rows


def bitmap(size):
    rows = image(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    images = [bitmap(s) for s in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'app', 'win32', 'pyrola.ico')
    with open(target, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
