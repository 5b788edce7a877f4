#!/usr/bin/env python3
"""Writes stand-in button strip and icon files (right sizes and formats,
plain pictures) so the Windows program builds before the real art exists.

usage: win32_placeholder_art.py OUTDIR [strip|icon]..."""
import os
import struct
import sys

KEY = (240, 240, 240)
# One plain colour per button picture; the last is the recording state.
COLOURS = [(0, 200, 255), (200, 80, 30), (210, 90, 20), (40, 170, 40), (200, 60, 200),
           (90, 90, 90), (30, 30, 220)]


def pixel(x, y):
    """RGB of the strip at (x, y), y from the top: a disc on the key colour."""
    image, cx = divmod(x, 16)
    dx, dy = cx - 7.5, y - 7.5
    return COLOURS[image] if dx * dx + dy * dy <= 42 else KEY


def strip():
    w, h = 112, 16
    rows = b""
    for y in range(h - 1, -1, -1):  # bottom-up
        rows += b"".join(bytes(pixel(x, y)[::-1]) for x in range(w))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(rows), 0, 0, 14 + 40)
    return head + info + rows


def icon_image(size):
    palette = [(0, 0, 0), (200, 200, 200), (30, 60, 220), (120, 160, 255)] + [(0, 0, 0)] * 252
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    stride = (size + 3) & ~3
    mask_stride = ((size + 31) // 32) * 4
    pixels = b""
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            d = ((x - size / 2 + 0.5) ** 2 + (y - size / 2 + 0.5) ** 2) ** 0.5
            row[x] = 2 if d < size * 0.3 else (3 if d < size * 0.35 else 1)
        pixels += bytes(row)
    mask = bytes(mask_stride * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, len(pixels) + len(mask), 0, 0,
                       256, 0)
    return info + pal + pixels + mask


def icon():
    sizes = [48, 32, 16]
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    outdir = sys.argv[1]
    wanted = sys.argv[2:] or ["strip", "icon"]
    os.makedirs(outdir, exist_ok=True)
    if "strip" in wanted:
        open(os.path.join(outdir, "strip.bmp"), "wb").write(strip())
    if "icon" in wanted:
        open(os.path.join(outdir, "quorvane.ico"), "wb").write(icon())


if __name__ == "__main__":
    main()
