#!/usr/bin/env python3
"""Draws the notice page's pictures: source marks, channel tab icons, site buttons, size grip.

Uses the canvas and encoders of make_panel_images.py. Run it again after changing a picture:
    tools/pageart/make_notice_images.py pages
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_panel_images as art  # noqa: E402
from make_panel_images import Canvas, write_gif  # noqa: E402

WHITE = (255, 255, 255, 255)

art.FONT.update({
    "F": ["###", "#..", "##.", "#..", "#.."],
    "X": ["#.#", "#.#", ".#.", "#.#", "#.#"],
    "D": ["##.", "#.#", "#.#", "#.#", "##."],
    "C": [".##", "#..", "#..", "#..", ".##"],
    "S": [".##", "#..", ".#.", "..#", "##."],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."],
    "N": ["#..#", "##.#", "#.##", "#..#", "#..#"],
    "K": ["#.#", "##.", "#..", "##.", "#.#"],
    "1": [".#", "##", ".#", ".#", ".#"],
    "6": [".##", "#..", "###", "#.#", "###"],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "!": ["#", "#", "#", ".", "#"],
})


def text_width(text):
    return sum(len(art.FONT[ch][0]) + 1 for ch in text) - 1


def mark(text, colour, w=16, h=16):
    """A rounded tile with white letters, centred."""
    cv = Canvas(w, h)
    dark = tuple(max(0, v - 60) for v in colour) + (255,)
    cv.poly([(2, 1), (w - 2, 1), (w - 1, 2), (w - 1, h - 2), (w - 2, h - 1), (2, h - 1), (1, h - 2), (1, 2)],
            colour + (255,))
    cv.frame(1, 1, w - 1, h - 1, dark)
    cv.glyphs((w - text_width(text)) // 2, (h - 5) // 2, text, WHITE)
    return cv


def grey(colour):
    v = sum(colour) // 3
    return (v, v, v)


def size_grip():
    cv = Canvas(12, 12)
    for k in range(3):
        for i in range(k + 1):
            x, y = 9 - 3 * i, 9 - 3 * (k - i)
            cv.rect(x, y, x + 2, y + 2, (120, 130, 150, 255))
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    sources = {"FX168.gif": ("F", (66, 157, 238)), "CaiXun.gif": ("C", (28, 181, 27)),
               "Dailyfx.gif": ("D", (255, 129, 58))}
    for name, (letter, colour) in sources.items():
        write_gif(os.path.join(out, name), [mark(letter, colour)])
    channels = {"istrategy": ("S", (200, 60, 60)), "ivip": ("V", (190, 140, 20)), "inotice": ("!", (60, 110, 200))}
    for name, (letter, colour) in channels.items():
        write_gif(os.path.join(out, name + ".gif"), [mark(letter, colour)])
        write_gif(os.path.join(out, name + "_off.gif"), [mark(letter, grey(colour))])
    buttons = {"v1.gif": ("FX168", (66, 157, 238)), "v2.gif": ("DFX", (255, 129, 58)),
               "v3.gif": ("CX", (28, 181, 27)), "v4.gif": ("C", (90, 90, 140)), "v6.gif": ("K", (140, 60, 160))}
    for name, (text, colour) in buttons.items():
        write_gif(os.path.join(out, name), [mark(text, colour, max(24, text_width(text) + 8), 16)])
    write_gif(os.path.join(out, "sizegrip.gif"), [size_grip()])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "pages"))
