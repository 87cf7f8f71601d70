#!/usr/bin/env python3
"""Draws the voice-quote window's pictures (pages/X9.gif, timep.gif, numbers.gif, sapi.png).

Uses the canvas and encoders of make_panel_images.py. Run it again after changing a picture:
    tools/pageart/make_voiceset_images.py pages
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, write_gif, write_png  # noqa: E402

BLUE = (30, 80, 160, 255)
DARK = (40, 40, 60, 255)


def format_button():
    """A small list with a drop arrow: choose a placeholder."""
    cv = Canvas(18, 18)
    cv.poly([(2, 1), (16, 1), (17, 2), (17, 16), (16, 17), (2, 17), (1, 16), (1, 2)], (235, 242, 250, 255))
    cv.frame(1, 1, 17, 17, (110, 140, 180, 255))
    for y in (5, 9, 13):
        cv.rect(4, y, 6, y + 2, BLUE)
        cv.rect(7, y, 11, y + 2, (90, 110, 140, 255))
    cv.poly([(11.5, 8), (16, 8), (13.75, 11)], (200, 60, 30, 255))
    return cv


def stopwatch_icon():
    cv = Canvas(16, 16)
    cv.rect(7, 0, 9, 2, DARK)
    cv.disc(8, 9, 6.5, DARK)
    cv.disc(8, 9, 5.2, (250, 250, 245, 255))
    cv.line(8, 9, 8, 5, (200, 40, 40, 255))
    cv.line(8, 9, 10.5, 10.5, DARK)
    return cv


def digits_icon():
    """Two rising bars over a zero line: a move in points."""
    cv = Canvas(16, 16)
    cv.rect(1, 13, 15, 14, DARK)
    cv.rect(3, 8, 6, 13, (40, 140, 40, 255))
    cv.rect(9, 3, 12, 13, (210, 50, 40, 255))
    cv.line(2, 7, 12, 1, (30, 80, 160, 255))
    return cv


def speech_picture():
    """A speech balloon with sound waves."""
    cv = Canvas(48, 48)
    cv.disc(22, 20, 17, (40, 90, 170, 235))
    cv.disc(22, 20, 15, (90, 150, 225, 245))
    cv.poly([(10, 31), (18, 34), (7, 44)], (90, 150, 225, 245))
    cv.disc(17, 14, 6, (255, 255, 255, 80))
    for r, w in ((5, 2), (9, 2), (13, 2)):
        for a in range(-50, 51, 2):
            x = 16 + r * math.cos(math.radians(a))
            y = 20 + r * math.sin(math.radians(a))
            cv.rect(round(x), round(y), round(x) + w, round(y) + w, (255, 255, 255, 255))
    cv.disc(16, 20, 2.5, (255, 255, 255, 255))
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    write_gif(os.path.join(out, "X9.gif"), [format_button()])
    write_gif(os.path.join(out, "timep.gif"), [stopwatch_icon()])
    write_gif(os.path.join(out, "numbers.gif"), [digits_icon()])
    write_png(os.path.join(out, "sapi.png"), speech_picture())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pages")
