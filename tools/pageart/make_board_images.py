#!/usr/bin/env python3
"""Draws the quote board's pictures: the heading backgrounds green.jpg and yellow.jpg and the
time-out sign timeoutx.png (pages/).

Our own art; the JPEG files are written by the small baseline encoder below (standard tables,
4:4:4, no subsampling), so nothing outside the standard library is needed. Run it again after
changing a picture:
    tools/pageart/make_board_images.py pages
"""
import math
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, write_png  # noqa: E402

ZIGZAG = [
    0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14,
    21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60,
    61, 54, 47, 55, 62, 63,
]
LUMA_Q = [
    16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29,
    51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92, 49, 64, 78, 87, 103, 121,
    120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
]
CHROMA_Q = [
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99,
    99, 99, 99, 99,
] + [99] * 32
# The standard Huffman tables: code counts per length 1..16, then the symbols.
DC_LUMA = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
DC_CHROMA = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
AC_LUMA = ([0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D], bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435363738"
    "393a434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a92939495969798999aa2a3a4a5"
    "a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9fa"))
AC_CHROMA = ([0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], bytes.fromhex(
    "000102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a162434e125f11718191a262728292a353637"
    "38393a434445464748494a535455565758595a636465666768696a737475767778797a82838485868788898a92939495969798999aa2a3"
    "a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9fa"))


def huffman_codes(table):
    counts, symbols = table
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc, self.n = 0, 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc, self.n = 0, 0

    def flush(self):
        while self.n:
            self.put(1, 1)


def magnitude(v):
    size = abs(v).bit_length()
    return size, (v if v >= 0 else v + (1 << size) - 1)


def fdct(block):
    out = [0.0] * 64
    for v in range(8):
        for u in range(8):
            s = 0.0
            for y in range(8):
                for x in range(8):
                    s += block[y * 8 + x] * math.cos((2 * x + 1) * u * math.pi / 16) * math.cos(
                        (2 * y + 1) * v * math.pi / 16)
            cu = 1 / math.sqrt(2) if u == 0 else 1
            cv = 1 / math.sqrt(2) if v == 0 else 1
            out[v * 8 + u] = 0.25 * cu * cv * s
    return out


def write_jpeg(path, cv, quality=90):
    scale = 5000 / quality if quality < 50 else 200 - 2 * quality
    qt = [[max(1, min(255, (q * scale + 50) // 100)) for q in base] for base in (LUMA_Q, CHROMA_Q)]
    dc = [huffman_codes(DC_LUMA), huffman_codes(DC_CHROMA)]
    ac = [huffman_codes(AC_LUMA), huffman_codes(AC_CHROMA)]
    bits = Bits()
    previous = [0, 0, 0]

    def pixel(x, y):
        r, g, b, _ = cv.px[min(y, cv.h - 1) * cv.w + min(x, cv.w - 1)]
        return (0.299 * r + 0.587 * g + 0.114 * b,
                -0.168736 * r - 0.331264 * g + 0.5 * b + 128,
                0.5 * r - 0.418688 * g - 0.081312 * b + 128)

    for by in range(0, cv.h, 8):
        for bx in range(0, cv.w, 8):
            ycc = [pixel(bx + i % 8, by + i // 8) for i in range(64)]
            for comp in range(3):
                t = 0 if comp == 0 else 1
                coef = fdct([p[comp] - 128 for p in ycc])
                q = [int(round(coef[ZIGZAG[i]] / qt[t][ZIGZAG[i]])) for i in range(64)]
                diff = q[0] - previous[comp]
                previous[comp] = q[0]
                size, val = magnitude(diff)
                bits.put(*dc[t][size])
                if size:
                    bits.put(val, size)
                run = 0
                for i in range(1, 64):
                    if q[i] == 0:
                        run += 1
                        continue
                    while run > 15:
                        bits.put(*ac[t][0xF0])
                        run -= 16
                    size, val = magnitude(q[i])
                    bits.put(*ac[t][(run << 4) | size])
                    bits.put(val, size)
                    run = 0
                if run:
                    bits.put(*ac[t][0x00])
    bits.flush()

    def segment(marker, data):
        return struct.pack(">HH", marker, len(data) + 2) + data

    data = bytearray(b"\xFF\xD8")
    data += segment(0xFFE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    for i in range(2):
        data += segment(0xFFDB, bytes([i]) + bytes(qt[i][ZIGZAG[k]] for k in range(64)))
    data += segment(0xFFC0, struct.pack(">BHHB", 8, cv.h, cv.w, 3) + bytes([1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1]))
    for cls, ident, table in ((0, 0, DC_LUMA), (1, 0, AC_LUMA), (0, 1, DC_CHROMA), (1, 1, AC_CHROMA)):
        data += segment(0xFFC4, bytes([(cls << 4) | ident]) + bytes(table[0]) + bytes(table[1]))
    data += segment(0xFFDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]))
    data += bits.out + b"\xFF\xD9"
    with open(path, "wb") as f:
        f.write(data)


def heading(top, bottom, w=8, h=24):
    cv = Canvas(w, h)
    for y in range(h):
        t = y / (h - 1)
        c = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)) + (255,)
        for x in range(w):
            cv.put(x, y, c)
    return cv


def timeout_sign():
    # A small clock beside the word-free band the time text sits under.
    cv = Canvas(78, 19)
    cx, cy, r = 9.5, 9.5, 8
    for y in range(cv.h):
        for x in range(cv.w):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= r:
                cv.put(x, y, (255, 255, 255, 255) if d < r - 1.5 else (170, 30, 30, 255))
    cv.line(cx, cy, cx, cy - 5.5, (60, 60, 60, 255))
    cv.line(cx, cy, cx + 4, cy, (60, 60, 60, 255))
    for i in range(5):
        x0 = 22 + i * 11
        cv.rect(x0, 7, x0 + 7, 12, (170, 30, 30, 255 - i * 40))
    return cv


def main(out):
    write_jpeg(os.path.join(out, "green.jpg"), heading((236, 246, 232), (176, 208, 168)))
    write_jpeg(os.path.join(out, "yellow.jpg"), heading((255, 246, 200), (246, 200, 80)))
    write_png(os.path.join(out, "timeoutx.png"), timeout_sign())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pages")
