#!/usr/bin/env python3
"""Draws the tool tip's icons (pages/iINFO.gif, alert2.gif, Error.gif, OK.gif, orderx.gif).

Uses the canvas and encoders of make_panel_images.py. Run it again after changing a picture:
    tools/pageart/make_tip_images.py pages
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, spinner, write_gif  # noqa: E402

WHITE = (255, 255, 255, 255)


def round_badge(colour):
    cv = Canvas(32, 32)
    cv.disc(16, 16, 15, tuple(max(0, v - 70) for v in colour) + (255,))
    cv.disc(16, 16, 14, colour + (255,))
    cv.disc(13, 11, 6, tuple(min(255, v + 50) for v in colour) + (120,))
    return cv


def info_icon():
    cv = round_badge((40, 100, 210))
    cv.disc(16, 9.5, 2.2, WHITE)
    cv.rect(14, 13, 18, 25, WHITE)
    cv.rect(12, 23, 20, 25, WHITE)
    cv.rect(12, 13, 14, 15, WHITE)
    return cv


def warning_icon():
    cv = Canvas(32, 32)
    cv.poly([(16, 1), (31, 29), (1, 29)], (150, 110, 0, 255))
    cv.poly([(16, 4), (29, 28), (3, 28)], (250, 200, 30, 255))
    cv.rect(14, 11, 18, 21, (20, 20, 20, 255))
    cv.rect(14, 23, 18, 26, (20, 20, 20, 255))
    return cv


def error_icon():
    cv = round_badge((210, 40, 40))
    cv.line(10, 10, 22, 22, WHITE, 3)
    cv.line(22, 10, 10, 22, WHITE, 3)
    return cv


def ok_icon():
    cv = round_badge((40, 160, 60))
    cv.line(9, 16, 14, 21, WHITE, 3)
    cv.line(14, 21, 23, 11, WHITE, 3)
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    write_gif(os.path.join(out, "iINFO.gif"), [info_icon()])
    write_gif(os.path.join(out, "alert2.gif"), [warning_icon()])
    write_gif(os.path.join(out, "Error.gif"), [error_icon()])
    write_gif(os.path.join(out, "OK.gif"), [ok_icon()])
    write_gif(os.path.join(out, "orderx.gif"), spinner(32, 12, (200, 120, 20), 11, 2.4), 8)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "pages"))
