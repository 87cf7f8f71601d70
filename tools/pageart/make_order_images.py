#!/usr/bin/env python3
"""Draws the order-confirmation balloon's icon (pages/ordertime.gif): an order ticket with a clock.

Uses the canvas and encoders of make_panel_images.py. Run it again after changing the picture:
    tools/pageart/make_order_images.py pages
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_panel_images import Canvas, write_gif  # noqa: E402


def order_time_icon():
    cv = Canvas(32, 32)
    # The ticket: a sheet with a folded corner and ruled lines.
    cv.poly([(3, 2), (19, 2), (24, 7), (24, 29), (3, 29)], (90, 90, 90, 255))
    cv.poly([(4, 3), (18, 3), (23, 8), (23, 28), (4, 28)], (255, 255, 255, 255))
    cv.poly([(18, 3), (23, 8), (18, 8)], (200, 200, 200, 255))
    for y in (11, 15, 19, 23):
        cv.rect(7, y, 19, y + 1, (120, 150, 200, 255))
    # The clock over the lower right corner.
    cv.disc(23, 23, 8.5, (150, 60, 20, 255))
    cv.disc(23, 23, 7.2, (255, 245, 210, 255))
    for i in range(12):
        a = i * math.pi / 6
        cv.disc(23 + 5.6 * math.cos(a), 23 + 5.6 * math.sin(a), 0.6, (120, 60, 20, 255))
    cv.line(23, 23, 23, 18, (30, 30, 30, 255), 2)
    cv.line(23, 23, 26.5, 24.5, (30, 30, 30, 255), 2)
    cv.disc(23, 23, 1.1, (200, 30, 30, 255))
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    write_gif(os.path.join(out, "ordertime.gif"), [order_time_icon()])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pages")
