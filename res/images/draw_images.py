#!/usr/bin/env python3
"""Draws the program's icons and bitmaps as PNG files into this folder.

Plain Python (zlib only), so that the pictures can be redrawn on any machine:
  python3 res/images/draw_images.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


class Canvas:
    def __init__(self, w, h, bg=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(bg) for _ in range(w * h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            a = c[3] / 255.0 if len(c) > 3 else 1.0
            p = self.px[y * self.w + x]
            for i in range(3):
                p[i] = int(round(c[i] * a + p[i] * (1 - a))) if p[3] else c[i]
            p[3] = max(p[3], int(255 * a))

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c, t=1):
        self.rect(x0, y0, x1, y0 + t, c)
        self.rect(x0, y1 - t, x1, y1, c)
        self.rect(x0, y0, x0 + t, y1, c)
        self.rect(x1 - t, y0, x1, y1, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(math.ceil(max(ys))) + 1):
            xs = []
            for i in range(len(pts)):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % len(pts)]
                if (ya <= y + 0.5 < yb) or (yb <= y + 0.5 < ya):
                    xs.append(xa + (y + 0.5 - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(int(math.ceil(xs[i] - 0.5)), int(math.floor(xs[i + 1] - 0.5)) + 1):
                    self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c, t=2):
        n = max(abs(x1 - x0), abs(y1 - y0)) * 2 + 1
        for i in range(n + 1):
            x = x0 + (x1 - x0) * i / n
            y = y0 + (y1 - y0) * i / n
            self.rect(int(x - t / 2 + 0.5), int(y - t / 2 + 0.5),
                      int(x - t / 2 + 0.5) + t, int(y - t / 2 + 0.5) + t, c)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def save(self, name):
        raw = b''.join(b'\x00' + bytes(v for p in self.px[y * self.w:(y + 1) * self.w] for v in p)
                       for y in range(self.h))
        def chunk(tag, data):
            return (struct.pack('>I', len(data)) + tag + data +
                    struct.pack('>I', zlib.crc32(tag + data) & 0xffffffff))
        png = (b'\x89PNG\r\n\x1a\n' +
               chunk(b'IHDR', struct.pack('>IIBBBBB', self.w, self.h, 8, 6, 0, 0, 0)) +
               chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
        with open(os.path.join(HERE, name), 'wb') as f:
            f.write(png)


PAPER = (250, 250, 245, 255)
INK = (40, 50, 70, 255)
BAND = (40, 110, 180, 255)
GRID = (170, 180, 195, 255)
GREEN = (30, 150, 60, 255)
ORANGE = (225, 120, 20, 255)
RED = (200, 40, 40, 255)


def calendar(cv, x0, y0, x1, y1, rows=3, cols=4):
    cv.rect(x0, y0, x1, y1, PAPER)
    band = max(2, (y1 - y0) // 4)
    cv.rect(x0, y0, x1, y0 + band, BAND)
    cv.frame(x0, y0, x1, y1, INK)
    ch = (y1 - y0 - band) / rows
    cw = (x1 - x0) / cols
    for r in range(1, rows):
        cv.rect(x0 + 1, int(y0 + band + r * ch), x1 - 1, int(y0 + band + r * ch) + 1, GRID)
    for k in range(1, cols):
        cv.rect(int(x0 + k * cw), y0 + band, int(x0 + k * cw) + 1, y1 - 1, GRID)


def arrow(cv, x0, y0, x1, y1, c, t):
    """A thick arrow from (x0, y0) to its head at (x1, y1)."""
    d = math.hypot(x1 - x0, y1 - y0)
    ux, uy = (x1 - x0) / d, (y1 - y0) / d
    hx, hy = x1 - ux * t * 2.2, y1 - uy * t * 2.2
    px, py = -uy, ux
    cv.polygon([(x0 + px * t / 2, y0 + py * t / 2), (hx + px * t / 2, hy + py * t / 2),
                (hx + px * t * 1.6, hy + py * t * 1.6), (x1, y1),
                (hx - px * t * 1.6, hy - py * t * 1.6), (hx - px * t / 2, hy - py * t / 2),
                (x0 - px * t / 2, y0 - py * t / 2)], c)


def main_icon(size):
    cv = Canvas(size, size)
    s = size / 32
    calendar(cv, int(3 * s), int(5 * s), int(29 * s), int(29 * s))
    arrow(cv, 8 * s, 20 * s, 24 * s, 20 * s, GREEN, 4 * s)
    return cv


def import_icon():
    cv = Canvas(32, 32)
    calendar(cv, 10, 9, 31, 31)
    arrow(cv, 1, 4, 18, 21, GREEN, 5)
    return cv


def export_icon():
    cv = Canvas(32, 32)
    calendar(cv, 1, 9, 22, 31)
    arrow(cv, 12, 21, 30, 3, ORANGE, 5)
    return cv


def options_icon():
    cv = Canvas(32, 32)
    for i, (y, k) in enumerate(((7, 20), (16, 9), (25, 15))):
        cv.rect(4, y - 1, 28, y + 2, INK)
        cv.disc(k + 0.5, y + 0.5, 4.5, BAND)
        cv.disc(k + 0.5, y + 0.5, 2.0, PAPER)
    return cv


def remove_icon():
    cv = Canvas(16, 16)
    cv.line(3, 3, 12, 12, RED, 3)
    cv.line(12, 3, 3, 12, RED, 3)
    return cv


def command_bitmap():
    cv = Canvas(16, 16, (255, 255, 255, 255))
    calendar(cv, 1, 2, 15, 15, 2, 3)
    return cv


def about_bitmap():
    w, h = 195, 177
    cv = Canvas(w, h, (255, 255, 255, 255))
    # A soft sky behind two calendar pages and the arrows between them.
    for y in range(h):
        t = y / h
        cv.rect(0, y, w, y + 1, (int(225 - 40 * t), int(235 - 30 * t), 250, 255))
    calendar(cv, 12, 30, 92, 110, 4, 5)
    calendar(cv, 104, 66, 184, 146, 4, 5)
    arrow(cv, 70, 130, 110, 160, GREEN, 8)
    arrow(cv, 130, 45, 90, 18, ORANGE, 8)
    cv.rect(0, h - 12, w, h, BAND)
    return cv


if __name__ == '__main__':
    main_icon(32).save('icon128.png')
    main_icon(16).save('icon128_16.png')
    import_icon().save('icon127.png')
    export_icon().save('icon133.png')
    options_icon().save('icon302.png')
    remove_icon().save('icon301.png')
    command_bitmap().save('bitmap201.png')
    about_bitmap().save('bitmap143.png')
