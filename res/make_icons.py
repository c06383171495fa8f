#!/usr/bin/env python3
"""Draws Vorn's two icons (16x16 and 32x32, 256 colours each) as .ico files.

vorn.ico: a phone with a turning arrow. vorn_config.ico: a page of settings
lines. Run from this folder; the output is committed.
"""
import struct

PALETTE = [
    (0, 0, 0),        # 0 transparent/black
    (32, 32, 40),     # 1 outline
    (90, 170, 230),   # 2 screen
    (240, 240, 240),  # 3 paper
    (230, 120, 30),   # 4 arrow
    (60, 60, 70),     # 5 lines
]


def phone(size):
    s = size
    px = [[0] * s for _ in range(s)]
    x0, x1 = s * 3 // 10, s * 7 // 10
    y0, y1 = s // 8, s - s // 8
    for y in range(y0, y1):
        for x in range(x0, x1):
            edge = x in (x0, x1 - 1) or y in (y0, y1 - 1)
            px[y][x] = 1 if edge else 2
    # A turning arrow around the phone's lower right corner.
    r = s // 3
    cx, cy = s * 7 // 10, s * 7 // 10
    for y in range(s):
        for x in range(s):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if (r - 1) ** 2 <= d2 <= r ** 2 and x >= cx and y <= cy + r // 2:
                px[y][x] = 4
    return px


def page(size):
    s = size
    px = [[0] * s for _ in range(s)]
    x0, x1 = s // 6, s - s // 6
    y0, y1 = s // 10, s - s // 10
    for y in range(y0, y1):
        for x in range(x0, x1):
            edge = x in (x0, x1 - 1) or y in (y0, y1 - 1)
            px[y][x] = 1 if edge else 3
    step = max(2, s // 8)
    for y in range(y0 + step, y1 - 1, step):
        for x in range(x0 + 2, x1 - 2):
            px[y][x] = 5
        px[y][x0 + 2] = 4
    return px


def image(px):
    s = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, s, s * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    pal += b'\0' * (256 * 4 - len(pal))
    rows = b''
    for y in reversed(range(s)):
        rows += bytes(px[y]) + b'\0' * ((4 - s % 4) % 4)
    mask = b''
    stride = ((s + 31) // 32) * 4
    for y in reversed(range(s)):
        bits = 0
        for x in range(s):
            bits = (bits << 1) | (1 if px[y][x] == 0 else 0)
        row = bits.to_bytes((s + 7) // 8, 'big')
        mask += row + b'\0' * (stride - len(row))
    return header + pal + rows + mask


def write_ico(name, draw):
    images = [image(draw(16)), image(draw(32))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(name, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    write_ico('vorn.ico', phone)
    write_ico('vorn_config.ico', page)
