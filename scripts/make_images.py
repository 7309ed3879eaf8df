#!/usr/bin/env python3
"""Draws the plug-in's banner bitmap and its two icons.

Usage: make_images.py OUTDIR  -> writes banner.bmp and help.bmp (386x55, 24-bit),
tunelark48.ico and tunelark16.ico (32-bit with an AND mask).
"""
import struct
import sys
from pathlib import Path

# 5x7 capitals for the banner's title.
FONT = {
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "?": ["01110", "10001", "00001", "00110", "00100", "00000", "00100"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, w, h, colour):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]
        self.alpha = [[255] * w for _ in range(h)]

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = colour

    def disc(self, cx, cy, rx, ry, colour):
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0:
                    self.put(x, y, colour)

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def note(self, x, y, size, colour):
        """An eighth note whose head's centre is at (x, y)."""
        r = size / 2
        self.disc(x, y, r * 1.2, r * 0.85, colour)
        stem_x = int(x + r * 1.2) - max(1, int(size / 8))
        self.rect(stem_x, int(y - size * 2.2), stem_x + max(1, int(size / 6)), int(y), colour)
        for i in range(int(size * 0.9)):
            fx = stem_x + 1 + i // 2
            self.rect(fx, int(y - size * 2.2) + i, fx + max(1, int(size / 5)),
                      int(y - size * 2.2) + i + 1, colour)

    def text(self, x, y, s, scale, colour):
        for ch in s:
            glyph = FONT[ch]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == "1":
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, colour)
            x += 6 * scale


def gradient(left, right, w=386, h=55):
    """A canvas shaded from one colour at its left edge to another at its right."""
    c = Canvas(w, h, (0, 0, 0))
    for y in range(h):
        for x in range(w):
            t = x / (w - 1)
            c.px[y][x] = tuple(int(a + (b - a) * t) for a, b in zip(left, right))
    return c


def banner():
    c = gradient((30, 60, 140), (70, 150, 220))
    for i, (nx, ny) in enumerate([(300, 36), (330, 28), (360, 40)]):
        c.note(nx, ny, 8 + i, (250, 230, 120))
    c.text(14, 10, "TUNELARK 3", 5, (255, 255, 255))
    return c


def help_banner():
    """The Help dialog's own banner: the same shape in green, with a question mark."""
    c = gradient((20, 90, 60), (50, 170, 110))
    c.text(14, 13, "TUNELARK HELP", 4, (255, 255, 255))
    c.disc(350, 27, 17, 17, (250, 230, 120))
    c.text(341, 13, "?", 4, (40, 90, 60))
    return c


def icon(size):
    c = Canvas(size, size, (0, 0, 0))
    for y in range(size):
        for x in range(size):
            c.alpha[y][x] = 0
    # Round blue badge with a yellow note.
    r = size / 2 - 0.5
    for y in range(size):
        for x in range(size):
            if (x - r) ** 2 + (y - r) ** 2 <= r * r:
                c.px[y][x] = (40, 90, 190)
                c.alpha[y][x] = 255
    c.note(size * 0.42, size * 0.70, size * 0.22, (250, 220, 90))
    return c


def bmp_rows(c, bytes_per_px):
    """Bottom-up rows, each padded to four bytes, in BGR(A) order."""
    out = bytearray()
    for y in reversed(range(c.h)):
        row = bytearray()
        for x in range(c.w):
            r, g, b = c.px[y][x]
            row += bytes((b, g, r)) if bytes_per_px == 3 else bytes((b, g, r, c.alpha[y][x]))
        row += b"\0" * ((4 - len(row) % 4) % 4)
        out += row
    return bytes(out)


def write_bmp(c, path):
    pixels = bmp_rows(c, 3)
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0,
                              14 + len(header))
    path.write_bytes(file_header + header + pixels)


def write_ico(c, path):
    xor = bmp_rows(c, 4)
    mask_stride = ((c.w + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(c.h)):
        row = bytearray(mask_stride)
        for x in range(c.w):
            if c.alpha[y][x] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + xor + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(image), 6 + 16)
    path.write_bytes(directory + entry + image)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    write_bmp(banner(), out / "banner.bmp")
    write_bmp(help_banner(), out / "help.bmp")
    write_ico(icon(48), out / "tunelark48.ico")
    write_ico(icon(16), out / "tunelark16.ico")


if __name__ == "__main__":
    main()
