#!/usr/bin/env python3
"""Draws the sample book's pictures: the window icon and the eight toolbar
glyphs (samples/book/art/, named in its config.ini) and two page pictures.
Pure Python, so nothing beyond the standard library is needed; run it again
only when the drawings change."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BOOK = os.path.join(HERE, '..', 'book')

BLUE = (0x1F, 0x6F, 0xD8)
DARK = (0x22, 0x33, 0x44)
RED = (0xD0, 0x30, 0x30)
GREEN = (0x2E, 0x9D, 0x4E)
KEY = (0xFF, 0x00, 0xFF)  # the glyphs' transparent colour (bottom-left pixel)


class Canvas:
    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[tuple(fill) for _ in range(w)] for _ in range(h)]

    def put(self, x, y, c, a=1.0):
        if 0 <= x < self.w and 0 <= y < self.h:
            old = self.px[y][x]
            if len(old) == 4 or len(c) == 4:
                self.px[y][x] = c
                return
            if old == KEY:
                if a >= 0.5:
                    self.px[y][x] = c
                return
            self.px[y][x] = tuple(round(o + (n - o) * a) for o, n in zip(old, c))

    def disc(self, cx, cy, r, c):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if d <= r - 0.5:
                    self.put(x, y, c)
                elif d < r + 0.5:
                    self.put(x, y, c, r + 0.5 - d)

    def ring(self, cx, cy, r, width, c, gap=None):
        for y in range(self.h):
            for x in range(self.w):
                d = abs(math.hypot(x + 0.5 - cx, y + 0.5 - cy) - r)
                ang = math.degrees(math.atan2(cy - y - 0.5, x + 0.5 - cx)) % 360
                if gap and gap[0] <= ang <= gap[1]:
                    continue
                if d <= width / 2:
                    self.put(x, y, c)

    def line(self, x0, y0, x1, y1, width, c):
        for y in range(self.h):
            for x in range(self.w):
                px, py = x + 0.5, y + 0.5
                dx, dy = x1 - x0, y1 - y0
                t = max(0, min(1, ((px - x0) * dx + (py - y0) * dy) / (dx * dx + dy * dy)))
                d = math.hypot(px - (x0 + t * dx), py - (y0 + t * dy))
                if d <= width / 2:
                    self.put(x, y, c)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, c)

    def poly(self, pts, c):
        for y in range(self.h):
            for x in range(self.w):
                px, py, inside = x + 0.5, y + 0.5, False
                for i in range(len(pts)):
                    (ax, ay), (bx, by) = pts[i], pts[(i + 1) % len(pts)]
                    if (ay > py) != (by > py) and px < ax + (py - ay) * (bx - ax) / (by - ay):
                        inside = not inside
                if inside:
                    self.put(x, y, c)


def bmp24(canvas):
    row = (canvas.w * 3 + 3) & ~3
    data = b''
    for y in reversed(range(canvas.h)):
        line = b''.join(bytes((b, g, r)) for (r, g, b) in canvas.px[y][:])
        data += line + b'\0' * (row - len(line))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.w, canvas.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def icon_image(size):
    c = Canvas(size, size, (0, 0, 0, 0))
    s = size / 32
    rgba = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            px, py = (x + 0.5) / s, (y + 0.5) / s
            # a blue book with a white page edge
            if 5 <= px <= 27 and 3 <= py <= 29:
                col = BLUE + (255,)
                if px >= 23:
                    col = (0xF4, 0xF6, 0xFA, 255)
                if 8 <= px <= 20 and 9 <= py <= 11 or 8 <= px <= 17 and 14 <= py <= 15.5:
                    col = (0xFF, 0xFF, 0xFF, 255)
                rgba[y][x] = col
    # 32-bit DIB inside the icon: height doubled (XOR + AND masks)
    xor = b''
    for y in reversed(range(size)):
        xor += b''.join(bytes((b, g, r, a)) for (r, g, b, a) in rgba[y])
    mask_row = ((size + 31) // 32) * 4
    andmask = b''
    for y in reversed(range(size)):
        bits = 0
        row = bytearray(mask_row)
        for x in range(size):
            if rgba[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        andmask += bytes(row)
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return info + xor + andmask


def ico(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b''.join(images)


def png(canvas):
    raw = b''.join(b'\0' + b''.join(bytes(p[:3]) for p in row) for row in canvas.px)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', canvas.w, canvas.h, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def glyphs():
    n = 24
    g = {}
    c = Canvas(n, n, KEY); c.poly([(4, 12), (12, 4), (12, 9), (20, 9), (20, 15), (12, 15), (12, 20)], BLUE); g['back'] = c
    c = Canvas(n, n, KEY); c.poly([(20, 12), (12, 4), (12, 9), (4, 9), (4, 15), (12, 15), (12, 20)], BLUE); g['forward'] = c
    c = Canvas(n, n, KEY); c.ring(12, 12, 7, 3, GREEN, gap=(20, 80)); c.poly([(14, 2), (21, 6), (14, 10)], GREEN); g['refresh'] = c
    c = Canvas(n, n, KEY); c.disc(12, 12, 9, RED); c.line(8, 8, 16, 16, 2.5, (255, 255, 255)); c.line(16, 8, 8, 16, 2.5, (255, 255, 255)); g['stop'] = c
    c = Canvas(n, n, KEY); c.rect(7, 3, 17, 9, (255, 255, 255)); c.rect(3, 9, 21, 17, DARK); c.rect(7, 14, 17, 21, (255, 255, 255)); c.rect(8, 16, 16, 17, DARK); g['print'] = c
    c = Canvas(n, n, KEY); c.ring(10, 10, 6, 2.5, DARK); c.line(14.5, 14.5, 20, 20, 3.5, DARK); g['search'] = c
    c = Canvas(n, n, KEY); c.disc(12, 12, 9.5, BLUE); c.rect(11, 10, 13, 17, (255, 255, 255)); c.rect(11, 6, 13, 8, (255, 255, 255)); g['about'] = c
    c = Canvas(n, n, KEY); c.poly([(12, 3), (22, 12), (2, 12)], RED); c.rect(5, 12, 19, 21, BLUE); c.rect(10, 15, 14, 21, (255, 255, 255)); g['home'] = c
    return g


def pictures():
    w, h = 240, 120
    c = Canvas(w, h, (255, 255, 255))
    for y in range(h):
        for x in range(w):
            t = x / w
            c.px[y][x] = (round(0xDD + (0x1F - 0xDD) * t), round(0xEE + (0x6F - 0xEE) * t), round(0xFF + (0xD8 - 0xFF) * t))
    c.disc(60, 60, 30, (255, 255, 255))
    c.disc(60, 60, 22, (0xFF, 0xC8, 0x3A))
    c.poly([(120, 100), (160, 40), (200, 100)], DARK)
    m = Canvas(96, 64, (0xF0, 0xF4, 0xE8))
    m.line(4, 50, 40, 20, 3, GREEN)
    m.line(40, 20, 70, 40, 3, GREEN)
    m.line(70, 40, 92, 8, 3, RED)
    return png(c), bmp24(m)


def main():
    art = os.path.join(BOOK, 'art')
    os.makedirs(os.path.join(art, 'glyphs'), exist_ok=True)
    with open(os.path.join(art, 'icon.ico'), 'wb') as f:
        f.write(ico([32, 16]))
    for name, canvas in glyphs().items():
        with open(os.path.join(art, 'glyphs', name + '.bmp'), 'wb') as f:
            f.write(bmp24(canvas))
    cover, chart = pictures()
    with open(os.path.join(BOOK, 'pics', 'cover.png'), 'wb') as f:
        f.write(cover)
    with open(os.path.join(BOOK, 'pics', 'chart.bmp'), 'wb') as f:
        f.write(chart)


if __name__ == '__main__':
    main()
