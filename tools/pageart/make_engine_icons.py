#!/usr/bin/env python3
"""Draws the speech engine's two icons (speech-engine/icons/IDI_READ.png, 32 x 32, and
IDI_AREAD.png, 16 x 16): a speaker sounding out to the right, on a rounded crimson tile.

Uses the canvas and encoder of make_panel_images.py. Run it again after changing a picture:
    tools/pageart/make_engine_icons.py speech-engine/icons
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, write_png  # noqa: E402


def tile(cv, n, colour):
    # Corners rounded by an eighth of the side.
    r = max(2, n // 8)
    cv.rect(r, 0, n - r, n, colour)
    cv.rect(0, r, n, n - r, colour)
    for cx, cy in ((r, r), (n - r - 1, r), (r, n - r - 1), (n - r - 1, n - r - 1)):
        cv.disc(cx + 0.5, cy + 0.5, r, colour)


def speaker(n):
    cv = Canvas(n, n)
    s = n / 32.0
    tile(cv, n, (150, 20, 40, 255))
    rim = (200, 60, 70, 255)
    cv.rect(round(2 * s), round(1 * s), n - round(2 * s), max(round(2 * s), 1) + round(1 * s), rim)
    white = (250, 250, 250, 255)
    # The speaker: a box and its cone.
    cv.rect(round(5 * s), round(12 * s), round(10 * s), round(20 * s), white)
    cv.poly([(9 * s, 12 * s), (17 * s, 6 * s), (17 * s, 26 * s), (9 * s, 20 * s)], white)
    # The sound: arcs growing to the right, fewer and thinner on the small icon.
    cx, cy = 17 * s, 16 * s
    arcs = (6, 12) if n < 24 else (5, 9, 13)
    width = 1.0 if n < 24 else 2.2
    gold = (255, 214, 90, 255)
    for y in range(n):
        for x in range(n):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if x + 0.5 > cx and abs(y + 0.5 - cy) < (x + 0.5 - cx) * 1.1 and any(
                    r * s - width < d <= r * s for r in arcs):
                cv.put(x, y, gold)
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "IDI_READ.png"), speaker(32))
    write_png(os.path.join(out, "IDI_AREAD.png"), speaker(16))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "speech-engine/icons")
