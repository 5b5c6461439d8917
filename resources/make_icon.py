#!/usr/bin/env python3
"""Draws Seekline.ico: a magnifier over a page of text lines, one line marked
as a hit, at 32 x 32 and 16 x 16 in the 16 standard colours.

Run it again only to change the picture: python3 make_icon.py Seekline.ico
"""
import math
import struct
import sys

# The 16 standard Windows colours, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, NAVY, TEAL, GREY, YELLOW, CYAN, WHITE = 0, 1, 4, 6, 8, 11, 14, 15
CLEAR = None

# The 16 x 16 image is drawn by hand: scaled down, the lines would merge.
SMALL = [
    'kkkkkkkkkkk.....',
    'kwwwwwwwwwk.....',
    'kwggggggwwk.....',
    'kwwwwwwwwwk.....',
    'kwgggggnnnn.....',
    'kwwwwwnccccn....',
    'kwyyynyyyyccn...',
    'kwwwwnccccccn...',
    'kwgggnctttccn...',
    'kwwwwnccccccn...',
    'kwgggwnccccn....',
    'kwwwwwwnnnnm....',
    'kwggggwwwwkmm...',
    'kwwwwwwwwwk.mm..',
    'kkkkkkkkkkk..mm.',
    '..............mm',
]
LETTERS = {'.': None, 'k': 0, 'm': 1, 'n': 4, 't': 6, 'g': 8, 'y': 11, 'c': 14, 'w': 15}


def draw_small():
    return [[LETTERS[ch] for ch in row] for row in SMALL]


def draw_large():
    """The 32 x 32 image: rows of palette indices (CLEAR for transparent), top row first."""
    size = 32
    pixels = [[CLEAR] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                pixels[y][x] = colour

    # The page, with its text lines; the fourth line is the hit.
    fill(2, 1, 22, 29, BLACK)
    fill(3, 2, 21, 28, WHITE)
    lines = [(5, 18), (5, 14), (7, 17), (5, 16), (7, 15), (5, 18), (5, 12)]
    for row, (x0, x1) in enumerate(lines):
        y = 5 + row * 3
        fill(x0, y, x1, y + 1, YELLOW if row == 3 else GREY)

    # The magnifier: a navy rim around a cyan lens (lines seen through it turn
    # teal, the hit stays yellow), and a maroon handle to the corner.
    cx, cy, r, rim = 19.5, 17.5, 7.5, 2.4
    hx0, hy0, hx1, hy1 = 24.5, 22.5, 31.0, 29.0
    for y in range(size):
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - cx, py - cy)
            if d <= r - rim:
                if pixels[y][x] != YELLOW:
                    pixels[y][x] = TEAL if pixels[y][x] == GREY else CYAN
            elif d <= r:
                pixels[y][x] = NAVY
            # Distance to the handle's centre line.
            t = ((px - hx0) * (hx1 - hx0) + (py - hy0) * (hy1 - hy0)) / ((hx1 - hx0) ** 2 + (hy1 - hy0) ** 2)
            if 0 <= t <= 1:
                e = math.hypot(px - (hx0 + t * (hx1 - hx0)), py - (hy0 + t * (hy1 - hy0)))
                if e <= 2.2:
                    pixels[y][x] = MAROON if e <= 1.4 else BLACK
    return pixels


def image_bytes(pixels):
    """One icon image: the bitmap header, palette, 4-bit colours and 1-bit mask."""
    size = len(pixels)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bitmaps are stored bottom row first
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            index = 0 if p is CLEAR else p
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if p is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def main():
    images = [image_bytes(draw_large()), image_bytes(draw_small())]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(sys.argv[1] if len(sys.argv) > 1 else 'Seekline.ico', 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main()
