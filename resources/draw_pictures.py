#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the button pictures (16 x 16, 24-bit, magenta = transparent) and the
application icon (32 x 32, 16 colours) as BMP files next to this script."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
M = (255, 0, 255)
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def canvas(size, colour=M):
    return [[colour] * size for _ in range(size)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = colour


def write_bmp24(name, img):
    h, w = len(img), len(img[0])
    row = (w * 3 + 3) & ~3
    data = b''.join(bytes(c for p in img[y] for c in (p[2], p[1], p[0])).ljust(row, b'\0')
                    for y in reversed(range(h)))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    open(os.path.join(HERE, name), 'wb').write(header + info + data)


def write_bmp4(name, img):
    h, w = len(img), len(img[0])
    row = ((w + 1) // 2 + 3) & ~3
    rows = []
    for y in reversed(range(h)):
        idx = [VGA.index(p) for p in img[y]]
        packed = bytes((idx[x] << 4) | (idx[x + 1] if x + 1 < w else 0) for x in range(0, w, 2))
        rows.append(packed.ljust(row, b'\0'))
    data = b''.join(rows)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in VGA)
    offset = 54 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 0)
    open(os.path.join(HERE, name), 'wb').write(header + info + palette + data)


def go():
    # A green play triangle with a dark grey shadow.
    img = canvas(16)
    shade, green, light = (64, 64, 64), (0, 160, 0), (96, 224, 96)
    for dx, dy, colour in ((1, 1, shade), (0, 0, green)):
        for y in range(2, 14):
            half = min(y - 2, 13 - y)
            for x in range(4, 4 + half * 2 + 1):
                img[y + dy][x + dx] = colour
    for y in range(4, 12):
        img[y][5] = light
    write_bmp24('go.bmp', img)


def open_folder():
    img = canvas(16)
    dark, yellow, pale = (128, 96, 0), (240, 200, 40), (255, 240, 150)
    rect(img, 1, 3, 6, 4, dark)
    rect(img, 1, 4, 13, 13, dark)
    rect(img, 2, 5, 12, 12, yellow)
    for y in range(8, 14):  # the open front flap
        rect(img, 3 + (13 - y) // 2, y, 14 - (13 - y) // 2, y, pale)
    rect(img, 4, 7, 15, 7, dark)
    write_bmp24('open.bmp', img)


def save_disk():
    img = canvas(16)
    blue, dark, label, metal = (40, 70, 170), (20, 30, 90), (250, 250, 250), (180, 180, 190)
    rect(img, 1, 1, 14, 14, dark)
    rect(img, 2, 2, 13, 13, blue)
    rect(img, 4, 2, 11, 6, label)
    rect(img, 9, 3, 10, 5, dark)
    rect(img, 4, 9, 11, 13, metal)
    rect(img, 5, 10, 6, 12, dark)
    write_bmp24('save.bmp', img)


def prog():
    # A pager with a green display and the waves of the programming tones.
    img = canvas(16)
    body, dark, display, wave = (70, 70, 80), (20, 20, 25), (120, 220, 120), (128, 0, 0)
    rect(img, 1, 5, 10, 14, dark)
    rect(img, 2, 6, 9, 13, body)
    rect(img, 3, 7, 8, 9, display)
    rect(img, 3, 11, 4, 12, dark)
    rect(img, 7, 11, 8, 12, dark)
    for r, colour in ((3, wave), (5, wave)):
        for k in range(-r, r + 1):
            x, y = 11 + abs(abs(k) - r) // 2 + r // 2, 5 + k
            if 0 <= y < 16 and 0 <= x < 16 and abs(k) < r:
                img[y][x] = colour
    write_bmp24('prog.bmp', img)


def icon():
    img = canvas(32, VGA[8])
    rect(img, 0, 0, 31, 31, VGA[7])
    rect(img, 4, 10, 21, 29, VGA[0])
    rect(img, 5, 11, 20, 28, VGA[8])
    rect(img, 7, 13, 18, 18, VGA[10])
    for x, y in ((8, 15), (10, 15), (12, 15), (14, 15)):
        rect(img, x, y, x, y + 1, VGA[2])
    rect(img, 7, 22, 9, 24, VGA[0])
    rect(img, 16, 22, 18, 24, VGA[0])
    rect(img, 11, 22, 14, 24, VGA[9])
    rect(img, 17, 4, 18, 10, VGA[0])  # antenna
    for r in (4, 7, 10):
        for k in range(-r, r + 1):
            x, y = 22 + r - abs(k) // 2, 8 + k
            if 0 <= x < 32 and 0 <= y < 32 and abs(k) < r:
                img[y][x] = VGA[1]
    write_bmp4('icon.bmp', img)


if __name__ == '__main__':
    go()
    open_folder()
    save_disk()
    prog()
    icon()
