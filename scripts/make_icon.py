#!/usr/bin/env python3
"""Draws the program icon (resources/vok.ico): an oven-like archive box with a "V" mark.

The icon is our own drawing, made by this script, so it can be regenerated or changed here."""
import struct
import sys


def pixel(x, y, size):
    """RGBA of one pixel, coordinates scaled to a 32x32 design grid."""
    gx, gy = x * 32.0 / size, y * 32.0 / size
    if not (2 <= gx < 30 and 4 <= gy < 30):
        return (0, 0, 0, 0)
    if gx < 3 or gx >= 29 or gy < 5 or gy >= 29:          # dark outline
        return (40, 40, 60, 255)
    if gy < 10:                                            # lid band
        return (200, 90, 30, 255)
    # "V" drawn with two strokes meeting at the bottom centre
    cx = 16.0
    top, bottom = 12.0, 26.0
    if top <= gy <= bottom:
        t = (gy - top) / (bottom - top)
        half = (1.0 - t) * 8.0
        if abs(abs(gx - cx) - half) < 1.8:
            return (250, 250, 250, 255)
    return (235, 130, 40, 255)                             # body


def bitmap(size):
    rows = []
    for y in range(size - 1, -1, -1):                      # bottom-up DIB
        row = b"".join(struct.pack("BBBB", b, g, r, a)
                       for (r, g, b, a) in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\x00" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32, 48]
    images = [bitmap(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/vok.ico")
