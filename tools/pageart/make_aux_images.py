#!/usr/bin/env python3
"""Draws the pictures of the script installer, the about window and the update offer.

Uses the canvas and encoders of make_panel_images.py. Run it again after changing a picture:
    tools/pageart/make_aux_images.py pages
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, gradient, spinner, write_gif, write_png  # noqa: E402

WHITE = (255, 255, 255, 255)
DARK = (40, 40, 40, 255)


def scroll(size):
    cv = Canvas(size, size)
    s = size / 16.0
    cv.rect(int(3 * s), int(2 * s), int(13 * s), int(14 * s), (120, 90, 40, 255))
    cv.rect(int(4 * s), int(3 * s), int(12 * s), int(13 * s), (250, 240, 210, 255))
    for y in (5, 7, 9, 11):
        cv.rect(int(5 * s), int(y * s), int(11 * s), int(y * s + max(1, s * 0.6)), (90, 90, 150, 255))
    return cv


def badge(colour, size=24):
    cv = Canvas(size, size)
    c = size / 2
    cv.disc(c, c, c - 1, tuple(max(0, v - 60) for v in colour) + (255,))
    cv.disc(c, c, c - 2, colour + (255,))
    return cv


def info_icon():
    cv = badge((40, 100, 210))
    cv.disc(12, 7, 1.8, WHITE)
    cv.rect(11, 10, 14, 19, WHITE)
    return cv


def author_icon():
    cv = badge((90, 150, 90))
    cv.disc(12, 9, 3.5, WHITE)
    cv.disc(12, 19, 6, WHITE)
    return cv


def globe_icon():
    cv = badge((40, 140, 190))
    cv.ring(12, 12, 6, 1, WHITE)
    cv.line(12, 3, 12, 21, WHITE)
    cv.line(3, 12, 21, 12, WHITE)
    return cv


def update_icon():
    cv = Canvas(16, 16)
    cv.disc(8, 8, 7, (40, 150, 60, 255))
    cv.poly([(8, 3), (13, 9), (3, 9)], WHITE)
    cv.rect(6, 9, 10, 13, WHITE)
    return cv


def close_icon():
    cv = Canvas(16, 16)
    cv.line(4, 4, 12, 12, (200, 40, 40, 255), 2)
    cv.line(12, 4, 4, 12, (200, 40, 40, 255), 2)
    return cv


def alert_icon():
    cv = Canvas(16, 16)
    cv.poly([(8, 1), (15, 14), (1, 14)], (250, 200, 30, 255))
    cv.rect(7, 5, 9, 10, DARK)
    cv.rect(7, 11, 9, 13, DARK)
    return cv


def banner():
    cv = gradient(425, 85, (150, 20, 30), (70, 10, 20))
    cv.poly([(30, 15), (30, 70), (80, 42)], (250, 210, 60, 255))
    cv.rect(27, 12, 30, 75, (230, 230, 230, 255))
    for i in range(5):
        cv.rect(110 + 40 * i, 38, 140 + 40 * i, 46, (250, 210, 60, 255 - 40 * i))
    return cv


def terminal_logo():
    cv = Canvas(60, 24)
    cv.rect(0, 0, 59, 23, (30, 60, 120, 255))
    cv.glyphs(8, 8, "MT4", WHITE, 2)
    return cv


def offer_picture():
    cv = Canvas(64, 64)
    cv.disc(32, 32, 30, (40, 120, 200, 255))
    cv.poly([(32, 50), (48, 30), (16, 30)], WHITE)
    cv.rect(26, 12, 38, 31, WHITE)
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "iScript.png"), scroll(48))
    write_gif(os.path.join(out, "mScript.gif"), [scroll(16)])
    write_gif(os.path.join(out, "alert.gif"), [alert_icon()])
    write_png(os.path.join(out, "CX.png"), banner())
    write_png(os.path.join(out, "info.png"), info_icon())
    write_png(os.path.join(out, "sss.png"), author_icon())
    write_png(os.path.join(out, "globe.png"), globe_icon())
    write_gif(os.path.join(out, "upp.gif"), [update_icon()])
    write_gif(os.path.join(out, "RelatePost.gif"), spinner(16, 8, (40, 120, 200), 6, 1.5), 8)
    write_gif(os.path.join(out, "TClose.gif"), [close_icon()])
    write_gif(os.path.join(out, "mtsmalllogo.gif"), [terminal_logo()])
    write_gif(os.path.join(out, "LiveUpdate.gif"), [offer_picture()])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "pages"))
