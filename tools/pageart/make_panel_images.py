#!/usr/bin/env python3
"""Draws the floating quote panel's pictures (pages/*.gif, pages/*.png).

Our own art, drawn with a few raster primitives and written with small PNG and GIF encoders,
so nothing outside the standard library is needed. Run it again after changing a picture:
    tools/pageart/make_panel_images.py pages
"""
import math
import os
import struct
import sys
import zlib


class Canvas:
    def __init__(self, w, h, fill=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(fill) for _ in range(w * h)]

    def put(self, x, y, c):
        x, y = int(x), int(y)
        if 0 <= x < self.w and 0 <= y < self.h:
            a = c[3] if len(c) > 3 else 255
            d = self.px[y * self.w + x]
            if a >= 255 or d[3] == 0:
                self.px[y * self.w + x] = [c[0], c[1], c[2], a]
            else:
                t = a / 255.0
                self.px[y * self.w + x] = [round(c[i] * t + d[i] * (1 - t)) for i in range(3)] + [max(a, d[3])]

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1):
            self.put(x, y0, c)
            self.put(x, y1 - 1, c)
        for y in range(y0, y1):
            self.put(x0, y, c)
            self.put(x1 - 1, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        n = int(max(abs(x1 - x0), abs(y1 - y0), 1) * 2)
        for i in range(n + 1):
            x = x0 + (x1 - x0) * i / n
            y = y0 + (y1 - y0) * i / n
            for dx in range(width):
                for dy in range(width):
                    self.put(round(x) + dx - width // 2, round(y) + dy - width // 2, c)

    def disc(self, cx, cy, r, c):
        for y in range(self.h):
            for x in range(self.w):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def ring(self, cx, cy, r, width, c):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if r - width <= d <= r:
                    self.put(x, y, c)

    def poly(self, pts, c):
        for y in range(self.h):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % len(pts)]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(math.ceil(xs[i] - 0.5), math.floor(xs[i + 1] - 0.5) + 1):
                    self.put(x, y, c)

    def glyphs(self, x, y, text, c, scale=1):
        for ch in text:
            rows = FONT[ch]
            for j, row in enumerate(rows):
                for i, bit in enumerate(row):
                    if bit == "#":
                        self.rect(x + i * scale, y + j * scale, x + (i + 1) * scale, y + (j + 1) * scale, c)
            x += (len(rows[0]) + 1) * scale


FONT = {
    "B": ["###.", "#..#", "###.", "#..#", "###."],
    "A": [".##.", "#..#", "####", "#..#", "#..#"],
    "M": ["#...#", "##.##", "#.#.#", "#...#", "#...#"],
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "4": ["#..#", "#..#", "####", "...#", "...#"],
}


# ---- PNG --------------------------------------------------------------------------------

def write_png(path, cv):
    raw = bytearray()
    for y in range(cv.h):
        raw.append(0)
        for x in range(cv.w):
            raw.extend(bytes(cv.px[y * cv.w + x]))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", cv.w, cv.h, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


# ---- GIF --------------------------------------------------------------------------------

def lzw_literal(indices):
    # Literal codes only, with a clear code often enough that the code size stays at 9 bits.
    clear, end = 256, 257
    codes = []
    for i in range(0, len(indices), 250):
        codes.append(clear)
        codes.extend(indices[i:i + 250])
    codes.append(end)
    out, acc, bits = bytearray(), 0, 0
    for c in codes:
        acc |= c << bits
        bits += 9
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    blocks = bytearray([8])
    for i in range(0, len(out), 255):
        part = out[i:i + 255]
        blocks.append(len(part))
        blocks.extend(part)
    blocks.append(0)
    return bytes(blocks)


def write_gif(path, frames, delay_cs=10):
    """frames: canvases of one size; pixels with alpha < 128 are transparent."""
    w, h = frames[0].w, frames[0].h
    palette = [(255, 0, 255)]  # index 0: transparent
    index = {}
    frame_indices = []
    for cv in frames:
        idx = []
        for p in cv.px:
            if p[3] < 128:
                idx.append(0)
                continue
            key = (p[0], p[1], p[2])
            if key not in index:
                index[key] = len(palette)
                palette.append(key)
            idx.append(index[key])
        frame_indices.append(idx)
    if len(palette) > 256:
        raise SystemExit(f"{path}: too many colours ({len(palette)})")
    while len(palette) < 256:
        palette.append((0, 0, 0))
    data = bytearray(b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF7, 0, 0))
    for c in palette:
        data.extend(bytes(c))
    if len(frames) > 1:
        data.extend(b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00")
    for idx in frame_indices:
        # Graphic control: dispose to background, transparent index 0.
        data.extend(b"\x21\xF9\x04" + bytes([0x09]) + struct.pack("<H", delay_cs) + b"\x00\x00")
        data.extend(b"\x2C" + struct.pack("<HHHHB", 0, 0, w, h, 0))
        data.extend(lzw_literal(idx))
    data.append(0x3B)
    with open(path, "wb") as f:
        f.write(data)


# ---- The pictures -----------------------------------------------------------------------

def gradient(w, h, top, bottom):
    cv = Canvas(w, h)
    for y in range(h):
        t = y / max(h - 1, 1)
        cv.rect(0, y, w, y + 1, tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)) + (255,))
    return cv


def badge(letter, colour):
    cv = Canvas(16, 16)
    cv.poly([(2, 1), (14, 1), (15, 2), (15, 14), (14, 15), (2, 15), (1, 14), (1, 2)], colour + (255,))
    cv.frame(1, 1, 15, 15, tuple(max(0, v - 60) for v in colour) + (255,))
    cv.glyphs(6, 5, letter, (255, 255, 255, 255))
    return cv


def terminal_icon():
    cv = Canvas(16, 16)
    cv.rect(1, 2, 15, 12, (40, 60, 90, 255))
    cv.rect(2, 3, 14, 11, (12, 20, 36, 255))
    cv.line(3, 9, 6, 6, (80, 220, 80, 255))
    cv.line(6, 6, 8, 8, (80, 220, 80, 255))
    cv.line(8, 8, 12, 4, (230, 60, 60, 255))
    cv.rect(6, 12, 10, 14, (90, 90, 90, 255))
    cv.rect(4, 14, 12, 15, (70, 70, 70, 255))
    return cv


def speaker_icon():
    cv = Canvas(16, 16)
    dark = (30, 60, 120, 255)
    cv.rect(2, 6, 5, 10, dark)
    cv.poly([(4, 6), (9, 2), (9, 14), (4, 10)], dark)
    for r in (4, 6):
        for a in range(-40, 41, 4):
            x = 9 + r * math.cos(math.radians(a))
            y = 8 + r * math.sin(math.radians(a))
            cv.put(round(x), round(y), (40, 140, 40, 255))
    return cv


def gear_icon():
    cv = Canvas(16, 16)
    c = (90, 90, 110, 255)
    for k in range(8):
        a = math.radians(k * 45)
        cx, cy = 8 + 5.5 * math.cos(a), 8 + 5.5 * math.sin(a)
        cv.disc(cx, cy, 1.6, c)
    cv.disc(8, 8, 5, c)
    # The hole in the middle lets the page show through.
    for y in range(16):
        for x in range(16):
            if (x + 0.5 - 8) ** 2 + (y + 0.5 - 8) ** 2 <= 4:
                cv.px[y * 16 + x] = [0, 0, 0, 0]
    return cv


def bolt_icon():
    cv = Canvas(12, 16)
    cv.poly([(7, 0), (1, 9), (5, 9), (3, 16), (11, 6), (6, 6), (9, 0)], (250, 190, 0, 255))
    return cv


def spinner(size, n, colour, radius, dot):
    frames = []
    for f in range(n):
        cv = Canvas(size, size)
        for k in range(n):
            a = math.radians(k * 360 / n - 90)
            age = (f - k) % n
            shade = max(60, 255 - age * (200 // n))
            cv.disc(size / 2 + radius * math.cos(a), size / 2 + radius * math.sin(a), dot,
                    tuple(round(v * shade / 255 + 255 * (1 - shade / 255)) for v in colour) + (255,))
        frames.append(cv)
    return frames


def clock_picture():
    cv = Canvas(54, 42)
    cv.disc(27, 21, 19, (255, 255, 255, 235))
    cv.ring(27, 21, 19, 3, (200, 40, 40, 255))
    for k in range(12):
        a = math.radians(k * 30)
        cv.line(27 + 13 * math.cos(a), 21 + 13 * math.sin(a), 27 + 15 * math.cos(a), 21 + 15 * math.sin(a),
                (60, 60, 60, 255))
    cv.line(27, 21, 27, 9, (30, 30, 30, 255), 2)
    cv.line(27, 21, 36, 25, (30, 30, 30, 255), 2)
    cv.disc(27, 21, 2, (200, 40, 40, 255))
    return cv


def closed_picture():
    cv = Canvas(50, 42)
    cv.rect(5, 4, 45, 32, (50, 60, 80, 255))
    cv.rect(8, 7, 42, 29, (20, 24, 34, 255))
    cv.rect(20, 32, 30, 36, (90, 90, 90, 255))
    cv.rect(14, 36, 36, 39, (70, 70, 70, 255))
    cv.line(17, 11, 33, 25, (230, 40, 40, 255), 3)
    cv.line(33, 11, 17, 25, (230, 40, 40, 255), 3)
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    write_gif(os.path.join(out, "mt.gif"), [terminal_icon()])
    write_gif(os.path.join(out, "bid.gif"), [badge("B", (40, 90, 190))])
    write_gif(os.path.join(out, "ask.gif"), [badge("A", (210, 110, 20))])
    write_gif(os.path.join(out, "no.gif"), [speaker_icon()])
    write_gif(os.path.join(out, "ppj.gif"), [gear_icon()])
    write_gif(os.path.join(out, "fast.gif"), [bolt_icon()])
    write_gif(os.path.join(out, "back.gif"), [gradient(4, 32, (250, 250, 245), (205, 215, 200))])
    write_gif(os.path.join(out, "buttonback.gif"), [gradient(4, 32, (255, 244, 200), (240, 200, 90))])
    write_gif(os.path.join(out, "back2.gif"), [gradient(4, 32, (190, 210, 190), (150, 175, 150))])
    write_gif(os.path.join(out, "order.gif"), spinner(16, 8, (30, 90, 200), 5.5, 1.6), 8)
    write_gif(os.path.join(out, "loadx.gif"), spinner(32, 12, (40, 120, 40), 11, 2.4), 8)
    write_png(os.path.join(out, "overlay.png"), Canvas(8, 8, (235, 240, 235, 170)))
    write_png(os.path.join(out, "iTimeout.png"), clock_picture())
    write_png(os.path.join(out, "mtclose.png"), closed_picture())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "pages"))
