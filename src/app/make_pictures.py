#!/usr/bin/env python3
"""Draws the window icon (qtlogo.png) and the splash image (splash.png) that the program looks
up in its working directory. Standard library only; the output is the same on every run.

    python3 src/app/make_pictures.py [output folder, default: the repository root]
"""
import math
import os
import random
import struct
import sys
import zlib

SUPERSAMPLE = 3


class Canvas:
    def __init__(self, width, height, colour):
        self.w, self.h = width * SUPERSAMPLE, height * SUPERSAMPLE
        self.px = [list(colour) for _ in range(self.w * self.h)]

    def blend(self, x, y, colour, alpha=1.0):
        if 0 <= x < self.w and 0 <= y < self.h:
            p = self.px[y * self.w + x]
            for i in range(3):
                p[i] = p[i] + (colour[i] - p[i]) * alpha

    def rect(self, x0, y0, x1, y1, colour, alpha=1.0):
        s = SUPERSAMPLE
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                self.blend(x, y, colour, alpha)

    def disc(self, cx, cy, r, colour, alpha=1.0):
        s = SUPERSAMPLE
        for y in range(int((cy - r) * s), int((cy + r) * s) + 1):
            for x in range(int((cx - r) * s), int((cx + r) * s) + 1):
                if (x / s - cx) ** 2 + (y / s - cy) ** 2 <= r * r:
                    self.blend(x, y, colour, alpha)

    def vgradient(self, top, bottom):
        for y in range(self.h):
            t = y / (self.h - 1)
            c = [top[i] + (bottom[i] - top[i]) * t for i in range(3)]
            for x in range(self.w):
                self.px[y * self.w + x] = list(c)

    def rounded_mask(self, radius, outside):
        s = SUPERSAMPLE
        r = radius * s
        for y in range(self.h):
            for x in range(self.w):
                dx = max(r - x, x - (self.w - 1 - r), 0)
                dy = max(r - y, y - (self.h - 1 - r), 0)
                if dx * dx + dy * dy > r * r:
                    self.px[y * self.w + x] = list(outside)

    def save(self, path):
        s = SUPERSAMPLE
        w, h = self.w // s, self.h // s
        rows = []
        for y in range(h):
            row = bytearray([0])
            for x in range(w):
                acc = [0.0, 0.0, 0.0, 0.0]
                for yy in range(s):
                    for xx in range(s):
                        p = self.px[(y * s + yy) * self.w + x * s + xx]
                        a = p[3] if len(p) > 3 else 255
                        for i in range(3):
                            acc[i] += p[i] * a / 255
                        acc[3] += a
                n = s * s
                alpha = acc[3] / n
                rgb = [min(255, round(acc[i] / n * 255 / alpha)) if alpha else 0 for i in range(3)]
                row += bytes(rgb + [round(alpha)])
            rows.append(bytes(row))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
        png += chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)


# A 5 x 7 pixel font for the few letters the splash needs.
GLYPHS = {
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "u": ["00000", "00000", "10001", "10001", "10001", "10011", "01101"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "l": ["01100", "00100", "00100", "00100", "00100", "00100", "01110"],
    "m": ["00000", "00000", "11010", "10101", "10101", "10101", "10101"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "p": ["00000", "00000", "11110", "10001", "10001", "11110", "10000", "10000"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    " ": ["00000"] * 7,
}


def text(canvas, x, y, string, cell, colour, alpha=1.0):
    for ch in string:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    canvas.rect(x + col * cell, y + row * cell, x + (col + 1) * cell, y + (row + 1) * cell,
                                colour, alpha)
        x += 6 * cell


def manhattan(canvas, x0, x1, base, height, seed, peaks, colours, dot, count):
    """A genome-wide scan: one dot per SNP at its -log10 p-value, chromosomes in alternating
    colours, a few association peaks; the top SNP of the highest peak is marked."""
    rnd = random.Random(seed)
    chromosomes = 23
    span = (x1 - x0) / chromosomes
    top = None
    for c in range(chromosomes):
        colour = colours[c % 2]
        for _ in range(count):
            x = x0 + c * span + dot + rnd.random() * (span - 2 * dot)
            value = -math.log10(1 - rnd.random()) / 9
            for px, ph, pw in peaks:
                if abs(x - px) < 3 * pw:
                    value = max(value, ph * math.exp(-((x - px) / pw) ** 2) * (0.3 + 0.7 * rnd.random()))
            y = base - dot - min(1.0, value) * height
            canvas.disc(x, y, dot, colour)
            if top is None or y < top[1]:
                top = (x, y)
    return top


def icon(path):
    c = Canvas(64, 64, (0, 0, 0))
    c.vgradient((26, 96, 108), (12, 46, 64))
    top = manhattan(c, 7, 57, 52, 36, 7, [(21, 1.0, 1.8), (43, 0.6, 1.5)],
                    [(140, 212, 198), (236, 246, 242)], 1.1, 14)
    c.rect(6, 52.5, 58, 53.7, (250, 250, 250), 0.9)
    c.disc(top[0], top[1], 2.4, (240, 108, 82))
    for p in c.px:
        p.append(255)
    s = SUPERSAMPLE
    r = 12 * s
    for y in range(c.h):
        for x in range(c.w):
            dx = max(r - x, x - (c.w - 1 - r), 0)
            dy = max(r - y, y - (c.h - 1 - r), 0)
            if dx * dx + dy * dy > r * r:
                c.px[y * c.w + x][3] = 0
    c.save(path)


def splash(path):
    w, h = 480, 280
    c = Canvas(w, h, (0, 0, 0))
    c.vgradient((20, 44, 68), (10, 22, 36))
    top = manhattan(c, 30, 450, 244, 130, 11, [(121, 1.0, 4.5), (302, 0.7, 4), (396, 0.5, 3)],
                    [(88, 160, 184), (170, 214, 224)], 1.5, 70)
    c.rect(28, 244.5, 452, 246, (230, 236, 240), 0.8)
    c.disc(top[0], top[1], 4, (240, 108, 82))
    text(c, 40, 28, "Quillmap", 6, (245, 246, 248))
    text(c, 42, 82, "0.0.2", 3, (150, 190, 205))
    for p in c.px:
        p.append(255)
    c.save(path)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    icon(os.path.join(out, "qtlogo.png"))
    splash(os.path.join(out, "splash.png"))
