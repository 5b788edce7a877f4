#!/usr/bin/env python3
"""Draws Quorvane's own pixel art and writes every picture file the builds
use: the button strip (24-bit BMP), the program icon (ICO, three sizes at 256
colours), PNG icons for the Linux desktop and a C header that carries the
strip and icons inside the Linux program, so it runs (and a compiled player
still works) from any folder.

Pure standard library on purpose: the pictures must come out byte-identical
on every machine, so the build never depends on an imaging package.

usage: artgen.py [OUTPUT_DIR]   (default: resources/ beside this tool)"""
import math
import os
import struct
import sys
import zlib

KEY = (240, 240, 240)


class Canvas:
    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.px = [[bg for _ in range(w)] for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x0, y0, x1, y1, c):  # inclusive corners
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        n = int(max(abs(x1 - x0), abs(y1 - y0)) * 4) + 1
        r = (width - 1) / 2.0
        for i in range(n + 1):
            t = i / n
            cx = x0 + (x1 - x0) * t
            cy = y0 + (y1 - y0) * t
            for y in range(int(math.floor(cy - r)), int(math.ceil(cy + r)) + 1):
                for x in range(int(math.floor(cx - r)), int(math.ceil(cx + r)) + 1):
                    if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + 0.3:
                        self.put(x, y, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (ax, ay), (bx, by) = pts[i], pts[(i + 1) % len(pts)]
                if (ay <= yc < by) or (by <= yc < ay):
                    xs.append(ax + (yc - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(int(math.ceil(a - 0.5)), int(math.floor(b - 0.5)) + 1):
                    self.put(x, y, c)

    def blit(self, other, dx, dy):
        for y in range(other.h):
            for x in range(other.w):
                self.put(dx + x, dy + y, other.px[y][x])


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def glossy_disc(cv, cx, cy, r, dark, mid, light):
    """A shaded ball: dark rim, lit body, a white gleam up and to the left."""
    for y in range(cv.h):
        for x in range(cv.w):
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            d = math.hypot(dx, dy)
            if d > r:
                continue
            # light comes from the upper left
            lx, ly = dx + r * 0.35, dy + r * 0.45
            shade = math.hypot(lx, ly) / (r * 1.45)
            c = mix(light, mid, shade * 1.6) if shade < 0.62 else mix(mid, dark, (shade - 0.62) * 2.6)
            if d > r - 1.0:
                c = mix(c, dark, 0.75)
            gx, gy = dx + r * 0.38, dy + r * 0.48
            if gx * gx / (r * 0.42) ** 2 + gy * gy / (r * 0.26) ** 2 <= 1.0:
                c = mix(c, (255, 255, 255), 0.8)
            cv.put(x, y, c)


def draw_open():
    cv = Canvas(16, 16, KEY)
    dark = (150, 110, 10)
    back = (222, 176, 40)
    front = (250, 214, 90)
    # back of the folder with its tab
    cv.rect(1, 6, 12, 14, back)
    cv.rect(1, 5, 5, 5, back)
    cv.frame(1, 6, 12, 14, dark)
    cv.line(1, 5, 5, 5, dark)
    cv.line(6, 5, 6, 6, dark)
    # the open front flap, leaning out to the right
    cv.polygon([(3, 9), (15.5, 9), (12.5, 15), (0.5, 15)], front)
    cv.line(3, 9, 15, 9, dark)
    cv.line(15, 9, 12, 14, dark)
    cv.line(1, 14, 12, 14, dark)
    # curved arrow arching over the folder, its head pointing right
    arrow, arrow_dark = (40, 150, 50), (20, 90, 30)
    for x, y in [(3, 4), (4, 3), (5, 2), (6, 2), (7, 1), (8, 1), (9, 1)]:
        cv.put(x, y, arrow)
        cv.put(x, y + 1, arrow_dark)
    cv.polygon([(9.5, -0.5), (9.5, 4.5), (13.5, 2.0)], arrow)
    cv.line(10, 3, 12, 2, arrow_dark)
    return cv


def draw_save():
    cv = Canvas(16, 16, KEY)
    body = (40, 80, 190)
    edge = (15, 35, 110)
    cv.rect(1, 1, 14, 14, body)
    cv.frame(1, 1, 14, 14, edge)
    cv.put(14, 1, KEY)  # the clipped corner of a floppy
    cv.put(13, 1, edge)
    cv.put(14, 2, edge)
    # metal shutter with its window
    cv.rect(4, 1, 11, 5, (190, 195, 205))
    cv.frame(4, 1, 11, 5, (110, 115, 125))
    cv.rect(8, 2, 9, 4, (60, 65, 80))
    # paper label
    cv.rect(3, 8, 12, 14, (250, 250, 252))
    cv.frame(3, 8, 12, 14, (150, 160, 190))
    for y in (10, 12):
        cv.line(5, y, 10, y, (170, 180, 210))
    return cv


def draw_disc(dark, mid, light):
    cv = Canvas(16, 16, KEY)
    glossy_disc(cv, 8.0, 8.0, 7.4, dark, mid, light)
    return cv


def draw_play():
    cv = Canvas(16, 16, KEY)
    g_dark, g_mid, g_light = (10, 100, 25), (40, 160, 55), (120, 215, 120)
    for y in range(1, 15):
        cv.rect(1, y, 14, y, mix(g_light, g_mid, (y - 1) / 9.0) if y < 10 else mix(g_mid, g_dark, (y - 10) / 5.0))
    cv.frame(1, 1, 14, 14, g_dark)
    white = (255, 255, 255)
    cv.rect(3, 7, 4, 8, white)  # the dot
    cv.line(7, 4, 11, 7.5, white, 2)  # the chevron
    cv.line(11, 7.5, 7, 11, white, 2)
    return cv


def draw_compile():
    cv = Canvas(16, 16, KEY)
    dot = (110, 110, 120)
    for y in range(7, 16, 2):
        for x in range(0, 16, 2):
            cv.put(x, y, dot)
    blue, dark = (40, 110, 230), (15, 50, 140)
    for ax in (4, 11):
        cv.rect(ax - 1, 0, ax, 6, blue)
        cv.polygon([(ax - 3.5, 6), (ax + 2.5, 6), (ax - 0.5, 10.5)], blue)
        cv.line(ax - 1, 0, ax - 1, 5, dark)
        cv.line(ax - 3, 6, ax - 1, 9, dark)
    return cv


def draw_options():
    cv = Canvas(16, 16, KEY)
    steel, steel_dark = (150, 155, 165), (70, 75, 85)
    # screwdriver: red handle lower left, shaft up to the right
    cv.line(6, 9, 14, 1, steel_dark, 2)
    cv.line(7, 9, 14, 2, steel, 1)
    cv.line(1.5, 14.5, 5.5, 10.5, (200, 30, 30), 3)
    cv.line(1, 14, 5, 10, (120, 10, 10), 1)
    # wrench: handle lower right, open jaw upper left
    cv.line(4, 4, 14, 14, steel_dark, 3)
    cv.line(4, 4, 14, 14, steel, 1)
    cv.polygon([(0.5, 3.5), (3.5, 0.5), (7.5, 3.5), (3.5, 7.5)], steel_dark)
    cv.polygon([(1.5, 3.5), (3.5, 1.5), (6.0, 3.8), (3.8, 6.0)], steel)
    cv.polygon([(1.0, 1.0), (3.0, 1.0), (3.0, 3.0)], KEY)  # the jaw's opening
    cv.put(2, 2, KEY)
    return cv


def strip_canvas():
    pictures = [
        draw_open(),
        draw_save(),
        draw_disc((10, 40, 120), (40, 100, 220), (170, 210, 255)),
        draw_play(),
        draw_compile(),
        draw_options(),
        draw_disc((110, 10, 10), (215, 40, 40), (255, 175, 170)),
    ]
    cv = Canvas(112, 16, KEY)
    for i, p in enumerate(pictures):
        cv.blit(p, 16 * i, 0)
    # The key colour marks transparency: a drawn pixel must never match it
    # by accident.
    for y in range(16):
        for x in range(112):
            if cv.px[y][x] != KEY and all(abs(cv.px[y][x][i] - 240) <= 0 for i in range(3)):
                cv.px[y][x] = (239, 239, 239)
    assert cv.px[0][0] == KEY
    return cv


def bmp_bytes(cv):
    row = cv.w * 3
    pad = (4 - row % 4) % 4
    pixels = bytearray()
    for y in range(cv.h - 1, -1, -1):  # bottom-up
        for x in range(cv.w):
            r, g, b = cv.px[y][x]
            pixels += bytes((b, g, r))
        pixels += b"\0" * pad
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    dib = info + pixels
    head = struct.pack("<2sIHHI", b"BM", 14 + len(dib), 0, 0, 14 + 40)
    return head + dib


def icon_canvas(size):
    """A light grey square key with a glossy blue disc in its middle; pixels
    outside the key are None (transparent)."""
    cv = Canvas(size, size, None)
    m = max(1, size // 16)
    lo, hi = m - 1, size - m
    rad = max(1, size // 8)
    for y in range(lo, hi + 1):
        for x in range(lo, hi + 1):
            # rounded corners
            cx = min(max(x, lo + rad), hi - rad)
            cy = min(max(y, lo + rad), hi - rad)
            if (x - cx) ** 2 + (y - cy) ** 2 > rad * rad:
                continue
            t = (x - lo + y - lo) / (2.0 * (hi - lo))
            c = mix((236, 236, 236), (188, 188, 192), t)
            edge = min(x - lo, y - lo, hi - x, hi - y)
            if edge < m or (x - cx) ** 2 + (y - cy) ** 2 > (rad - m) ** 2 and (cx != x or cy != y):
                c = (120, 120, 128)
            elif edge < 2 * m:
                c = (250, 250, 250) if (x - lo) + (y - lo) < (hi - lo) else (160, 160, 168)
            cv.put(x, y, c)
    body = Canvas(size, size, None)
    glossy_disc(body, size / 2.0, size / 2.0, size * 0.30, (10, 40, 120), (40, 100, 220), (170, 210, 255))
    for y in range(size):
        for x in range(size):
            if body.px[y][x] is not None:
                cv.px[y][x] = body.px[y][x]
    return cv


def palette_for(canvases):
    colours = set()
    for cv in canvases:
        for row in cv.px:
            for c in row:
                if c is not None:
                    colours.add(c)
    shift = 0
    while True:
        q = sorted({tuple((v >> shift) << shift for v in c) for c in colours})
        if len(q) <= 256:
            return q, shift
        shift += 1


def ico_bytes(canvases):
    palette, shift = palette_for(canvases)
    index = {c: i for i, c in enumerate(palette)}
    pal_bytes = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in palette)
    pal_bytes += b"\0" * (1024 - len(pal_bytes))
    images = []
    for cv in canvases:
        n = cv.w
        xor_row = (n + 3) // 4 * 4
        and_row = ((n + 31) // 32) * 4
        xor = bytearray()
        mask = bytearray()
        for y in range(n - 1, -1, -1):
            row = bytearray()
            bits = bytearray(and_row)
            for x in range(n):
                c = cv.px[y][x]
                if c is None:
                    row.append(0)
                    bits[x // 8] |= 0x80 >> (x % 8)
                else:
                    row.append(index[tuple((v >> shift) << shift for v in c)])
            xor += row + b"\0" * (xor_row - n)
            mask += bits
        head = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
        images.append(head + pal_bytes + bytes(xor) + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(canvases))
    offset = 6 + 16 * len(canvases)
    for cv, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", cv.w % 256, cv.h % 256, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def png_bytes(cv):
    raw = bytearray()
    for row in cv.px:
        raw.append(0)
        for c in row:
            raw += bytes((0, 0, 0, 0)) if c is None else bytes((c[0], c[1], c[2], 255))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", cv.w, cv.h, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def c_array(name, data):
    lines = [f"static const unsigned char {name}[{len(data)}] = {{"]
    for i in range(0, len(data), 16):
        lines.append("    " + ", ".join(f"0x{b:02x}" for b in data[i:i + 16]) + ",")
    lines.append("};")
    return "\n".join(lines)


# Set-1 scan codes of the keys the demo types.
DEMO_SCAN = {" ": 0x39, **{c: code for c, code in zip("qwertyuiop", range(0x10, 0x1A))},
             **{c: code for c, code in zip("asdfghjkl", range(0x1E, 0x27))},
             **{c: code for c, code in zip("zxcvbnm", range(0x2C, 0x33))}}


def demo_recording():
    """A short recording for the demo window of scripts/run (placed at 40,200,
    400 x 300): the pointer glides in, clicks three times, and a line is
    typed. Records as the recorder takes them: at most one per 10 ms."""
    recs = []
    t = [1000]

    def add(msg, a, b, dt=10):
        t[0] += dt
        recs.append(struct.pack("<5I", msg, a, b, t[0], 0))

    def glide(x0, y0, x1, y1, steps):
        for i in range(1, steps + 1):
            add(0x200, round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps))

    def click(x, y):
        add(0x201, x, y, 60)
        add(0x202, x, y, 90)

    # The first record must be a key or a move for the file to load.
    add(0x200, 700, 120, 0)
    glide(700, 120, 140, 300, 40)
    click(140, 300)
    glide(140, 300, 340, 300, 25)
    click(340, 300)
    glide(340, 300, 240, 430, 25)
    click(240, 430)
    for ch in "hello from quorvane":
        vk = 0x20 if ch == " " else ord(ch.upper())
        scan = DEMO_SCAN[ch]
        add(0x100, vk + 256 * scan, scan, 70)
        add(0x101, vk + 256 * scan, scan, 60)
    glide(240, 430, 620, 150, 30)
    return b"".join(recs)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(out, exist_ok=True)
    strip = bmp_bytes(strip_canvas())
    assert len(strip) == 14 + 5416
    icons = [icon_canvas(n) for n in (48, 32, 16)]
    files = {
        "strip.bmp": strip,
        "quorvane.ico": ico_bytes(icons),
        "quorvane-48.png": png_bytes(icons[0]),
        "quorvane-32.png": png_bytes(icons[1]),
        "quorvane-16.png": png_bytes(icons[2]),
        # The desktop's menus and file managers scale down from a large icon.
        "quorvane-128.png": png_bytes(icon_canvas(128)),
        "demo.rec": demo_recording(),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    header = [
        "// Generated by tools/artgen.py from the same drawings as strip.bmp and",
        "// the icons; do not edit. The Linux program carries its pictures inside",
        "// itself so it (and every player compiled from it) runs from any folder.",
        "#pragma once",
        "",
        c_array("kStripBmp", strip),
        "",
        c_array("kIconPng48", files["quorvane-48.png"]),
        "",
        c_array("kIconPng32", files["quorvane-32.png"]),
        "",
        c_array("kIconPng16", files["quorvane-16.png"]),
        "",
    ]
    with open(os.path.join(out, "art_data.h"), "w") as f:
        f.write("\n".join(header))


if __name__ == "__main__":
    main()
