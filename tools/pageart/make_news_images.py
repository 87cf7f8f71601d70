#!/usr/bin/env python3
"""Draws the news viewer's pictures: the drag handle news.gif, the style buttons popup.gif and
window.gif, the close button popupClose.gif, the busy image pro.gif, the size grip SizeGrip2.gif
and the article box's bottom band bottom.jpg.

Uses the canvas and encoders of make_panel_images.py and make_board_images.py. Run it again
after changing a picture:
    tools/pageart/make_news_images.py pages
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_board_images import write_jpeg  # noqa: E402
from make_panel_images import Canvas, gradient, spinner, write_gif  # noqa: E402

WHITE = (255, 255, 255, 255)
BLUE = (46, 98, 170, 255)
DARK_BLUE = (28, 62, 118, 255)


def news_handle():
    # A folded newspaper on a rounded blue tile.
    cv = Canvas(55, 55)
    cv.poly([(6, 2), (49, 2), (53, 6), (53, 49), (49, 53), (6, 53), (2, 49), (2, 6)], DARK_BLUE)
    inner = gradient(49, 49, (92, 146, 216), (40, 92, 168))
    for y in range(49):
        for x in range(49):
            if 3 <= x + y and x + y <= 93 and not (x < 3 and y < 3):
                cv.put(x + 3, y + 3, tuple(inner.px[y * 49 + x]))
    cv.rect(12, 12, 43, 44, WHITE)
    cv.rect(43, 18, 46, 44, (214, 224, 238, 255))
    cv.rect(15, 15, 40, 21, BLUE)
    for y in (24, 28, 32, 36, 40):
        cv.rect(15, y, 26, y + 2, (120, 132, 150, 255))
        cv.rect(29, y, 40, y + 2, (120, 132, 150, 255))
    return cv


def popup_style():
    # A bare pane with no caption: what a click on the button turns the window into.
    cv = Canvas(24, 20)
    cv.rect(3, 4, 21, 17, (250, 252, 255, 255))
    cv.frame(3, 4, 21, 17, BLUE)
    cv.rect(6, 7, 18, 8, (150, 170, 200, 255))
    cv.rect(6, 10, 18, 11, (150, 170, 200, 255))
    cv.rect(6, 13, 14, 14, (150, 170, 200, 255))
    cv.poly([(13, 0), (19, 0), (19, 6)], (230, 120, 20, 255))
    return cv


def window_style():
    # A window with its caption bar.
    cv = Canvas(24, 20)
    cv.rect(2, 2, 22, 18, (250, 252, 255, 255))
    cv.rect(2, 2, 22, 6, BLUE)
    cv.frame(2, 2, 22, 18, DARK_BLUE)
    cv.rect(17, 3, 20, 5, WHITE)
    cv.rect(5, 9, 19, 10, (150, 170, 200, 255))
    cv.rect(5, 12, 19, 13, (150, 170, 200, 255))
    return cv


def close_button():
    cv = Canvas(20, 20)
    cv.disc(10, 10, 9, (176, 40, 32, 255))
    cv.disc(10, 10, 8, (222, 72, 56, 255))
    cv.line(6, 6, 14, 14, WHITE, 2)
    cv.line(14, 6, 6, 14, WHITE, 2)
    return cv


def size_grip():
    cv = Canvas(16, 16)
    for k in range(3):
        for j in range(k + 1):
            x, y = 12 - j * 4, 12 - (k - j) * 4
            cv.rect(x + 1, y + 1, x + 3, y + 3, WHITE)
            cv.rect(x, y, x + 2, y + 2, (120, 136, 160, 255))
    return cv


def bottom_band():
    cv = gradient(8, 40, (255, 255, 255), (222, 232, 246))
    return cv


def main(out):
    write_gif(os.path.join(out, "news.gif"), [news_handle()])
    write_gif(os.path.join(out, "popup.gif"), [popup_style()])
    write_gif(os.path.join(out, "window.gif"), [window_style()])
    write_gif(os.path.join(out, "popupClose.gif"), [close_button()])
    write_gif(os.path.join(out, "pro.gif"), spinner(32, 10, (46, 98, 170), 11, 2.6), delay_cs=8)
    write_gif(os.path.join(out, "SizeGrip2.gif"), [size_grip()])
    write_jpeg(os.path.join(out, "bottom.jpg"), bottom_band())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pages")
