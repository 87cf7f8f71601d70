#!/usr/bin/env python3
"""Draws the icon window's face (pages/Pennant.png, 36 x 36): a pennant on its staff over a
rising price line, on a dark rounded tile so it stands out on any desktop.

Uses the canvas and encoder of make_panel_images.py. Run it again after changing the picture:
    tools/pageart/make_icon.py pages
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, write_png  # noqa: E402


def icon():
    cv = Canvas(36, 36)
    # The tile: a dark blue square with rounded corners and a lighter rim.
    for r, colour in ((17.5, (20, 40, 90, 255)), (16.5, (34, 70, 150, 255))):
        cv.rect(int(18 - r + 4), int(18 - r), int(18 + r - 4), int(18 + r), colour)
        cv.rect(int(18 - r), int(18 - r + 4), int(18 + r), int(18 + r - 4), colour)
        for cx, cy in ((18 - r + 4, 18 - r + 4), (18 + r - 4, 18 - r + 4), (18 - r + 4, 18 + r - 4), (18 + r - 4, 18 + r - 4)):
            cv.disc(cx, cy, 4, colour)
    # The rising price line behind the flag.
    cv.line(5, 29, 13, 22, (90, 220, 120, 255), 2)
    cv.line(13, 22, 19, 25, (90, 220, 120, 255), 2)
    cv.line(19, 25, 31, 12, (90, 220, 120, 255), 2)
    # The staff and the pennant, red with a lighter upper edge.
    cv.rect(9, 5, 11, 31, (235, 235, 235, 255))
    cv.poly([(11, 5), (29, 10), (11, 16)], (220, 40, 40, 255))
    cv.line(11, 5, 29, 10, (255, 120, 110, 255), 1)
    return cv


def main(out):
    write_png(os.path.join(out, "Pennant.png"), icon())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pages")
