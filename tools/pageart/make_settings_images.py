#!/usr/bin/env python3
"""Draws the settings window's pictures (pages/play.gif, stop.gif, r1.gif, r2.gif, tabmark.gif).

Uses the canvas and encoders of make_panel_images.py. Run it again after changing a picture:
    tools/pageart/make_settings_images.py pages
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, write_gif  # noqa: E402

GREEN = (40, 150, 60, 255)
GREY = (150, 150, 160, 255)
RED = (200, 50, 40, 255)
FACE = (240, 244, 250, 255)
EDGE = (110, 140, 180, 255)


def button_face():
    cv = Canvas(18, 18)
    cv.poly([(2, 1), (16, 1), (17, 2), (17, 16), (16, 17), (2, 17), (1, 16), (1, 2)], FACE)
    cv.frame(1, 1, 17, 17, EDGE)
    return cv


def play_button():
    cv = button_face()
    cv.poly([(6, 4.5), (14, 9), (6, 13.5)], GREEN)
    return cv


def stop_button():
    cv = button_face()
    cv.rect(5, 5, 13, 13, RED)
    return cv


def power_sign(colour):
    """The start-with-the-system mark: a power symbol, coloured when on."""
    cv = Canvas(16, 16)
    cv.ring(8, 9, 6, 2, colour)
    cv.rect(6, 1, 10, 6, (0, 0, 0, 0))
    cv.rect(7, 1, 9, 9, colour)
    return cv


def tab_mark():
    """The marker beside the chosen tab: a small arrow."""
    cv = Canvas(8, 12)
    cv.poly([(1, 1), (7, 6), (1, 11)], (30, 80, 160, 255))
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    write_gif(os.path.join(out, "play.gif"), [play_button()])
    write_gif(os.path.join(out, "stop.gif"), [stop_button()])
    write_gif(os.path.join(out, "r1.gif"), [power_sign(GREEN)])
    write_gif(os.path.join(out, "r2.gif"), [power_sign(GREY)])
    write_gif(os.path.join(out, "tabmark.gif"), [tab_mark()])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pages")
