#!/usr/bin/env python3
"""Draws the start-up splash picture (core/Splash.png): a rounded card with a soft shadow, a
pennant on its pole and the program's name, with a real alpha channel for the layered window.

Our own art, drawn with the raster primitives of make_panel_images.py. Run it again after
changing the picture:
    tools/pageart/make_splash.py core/Splash.png
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, write_png  # noqa: E402

W, H = 340, 200
MARGIN, RADIUS, SHADOW = 12, 18, 10

LETTERS = {
    "P": ["####.", "#...#", "####.", "#....", "#...."],
    "E": ["#####", "#....", "####.", "#....", "#####"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#"],
    "A": [".###.", "#...#", "#####", "#...#", "#...#"],
    "T": ["#####", "..#..", "..#..", "..#..", "..#.."],
}


def rounded_distance(x, y, x0, y0, x1, y1, r):
    """Distance outside the rounded rectangle (negative inside)."""
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return math.hypot(x - cx, y - cy) - r


def card():
    cv = Canvas(W, H)
    x0, y0, x1, y1 = MARGIN, MARGIN - 4, W - MARGIN, H - MARGIN - 4
    for y in range(H):
        for x in range(W):
            px, py = x + 0.5, y + 0.5
            # Shadow, offset down a little, fading out.
            ds = rounded_distance(px, py - 5, x0, y0, x1, y1, RADIUS)
            if 0 < ds < SHADOW:
                cv.px[y * W + x] = [20, 20, 30, int(90 * (1 - ds / SHADOW) ** 2)]
            d = rounded_distance(px, py, x0, y0, x1, y1, RADIUS)
            if d < 1:
                t = (py - y0) / (y1 - y0)
                top, bottom = (24, 44, 92), (18, 120, 128)
                c = [round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)]
                cover = min(1.0, max(0.0, 0.5 - d))
                cv.put(x, y, c + [int(255 * cover)])
    # A gloss on the upper half.
    for y in range(y0 + 2, (y0 + y1) // 2):
        for x in range(x0 + 2, x1 - 2):
            if rounded_distance(x + 0.5, y + 0.5, x0, y0, x1, y1, RADIUS) < -2:
                cv.put(x, y, (255, 255, 255, int(26 * (1 - (y - y0) / ((y1 - y0) / 2)))))
    return cv


def pennant(cv):
    # The pole and a swallow-tailed flag in gold and red.
    cv.rect(44, 40, 48, 150, (225, 225, 215, 255))
    cv.disc(46, 38, 4, (240, 200, 80, 255))
    cv.poly([(48, 44), (112, 64), (48, 86)], (210, 50, 50, 255))
    cv.poly([(48, 52), (92, 64), (48, 76)], (240, 190, 70, 255))


def name(cv, text, x, y, scale, colour):
    for ch in text:
        rows = LETTERS[ch]
        for j, row in enumerate(rows):
            for i, bit in enumerate(row):
                if bit == "#":
                    cv.rect(x + i * scale, y + j * scale, x + (i + 1) * scale, y + (j + 1) * scale, colour)
        x += (len(rows[0]) + 1) * scale


def main(out):
    cv = card()
    pennant(cv)
    name(cv, "PENNANT", 138, 70, 4, (18, 26, 50, 140))  # its shadow
    name(cv, "PENNANT", 136, 68, 4, (250, 250, 245, 255))
    cv.rect(136, 98, 136 + 7 * 6 * 4 - 4, 100, (240, 190, 70, 255))
    for i in range(3):
        cv.disc(142 + i * 14, 122, 3, (250, 250, 245, 200 - i * 60))
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    write_png(out, cv)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "core", "Splash.png"))
