#!/usr/bin/env python3
"""Writes background.jpg (1018 x 110), the window's background picture.

A glossy horizontal bar: lavender fading into dark navy over the top rows (the window hides
rows 0..36), a thin bright highlight line just below the top of the visible part, then a
steel-blue gradient that darkens towards the bottom edge. Needs python3 and ImageMagick's
`convert`; the build uses the committed JPEG and never runs this.

Usage: resources/make-background.py [output.jpg]
"""
import os
import subprocess
import sys

WIDTH, HEIGHT = 1018, 110
HIDDEN_ROWS = 37  # rows above the window's client area
HIGHLIGHT_ROW = 39  # centre of the bright line
JPEG_QUALITY = 92

LAVENDER = (200, 190, 235)
NAVY = (16, 20, 68)
HIGHLIGHT = (232, 238, 255)
STEEL_TOP = (92, 134, 190)
STEEL_BOTTOM = (14, 30, 66)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def row_colour(y):
    if y < HIDDEN_ROWS:
        # Lavender at the top, turning to navy with a soft knee: the glossy upper half.
        t = (y / (HIDDEN_ROWS - 1)) ** 1.6
        return mix(LAVENDER, NAVY, t)
    if y < HIGHLIGHT_ROW - 1:
        return NAVY
    distance = abs(y - HIGHLIGHT_ROW)
    if distance <= 1:
        return mix(HIGHLIGHT, STEEL_TOP, 0.45 * distance)
    t = (y - (HIGHLIGHT_ROW + 2)) / (HEIGHT - 1 - (HIGHLIGHT_ROW + 2))
    return mix(STEEL_TOP, STEEL_BOTTOM, t)


def column_gloss(x):
    # A faint lighter sheen towards the middle keeps the bar from looking flat.
    centre = (WIDTH - 1) / 2
    return 1.0 + 0.06 * (1.0 - abs(x - centre) / centre)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "background.jpg")
    pixels = bytearray()
    for y in range(HEIGHT):
        base = row_colour(y)
        for x in range(WIDTH):
            g = column_gloss(x)
            pixels.extend(min(255, round(c * g)) for c in base)
    ppm = b"P6\n%d %d\n255\n" % (WIDTH, HEIGHT) + bytes(pixels)
    subprocess.run(["convert", "ppm:-", "-strip", "-quality", str(JPEG_QUALITY), "jpg:" + out],
                   input=ppm, check=True)


if __name__ == "__main__":
    main()
