#!/usr/bin/env python3
"""Draws the About box logo (251 x 50, 16 colours, colour 0 transparent) and writes logo.gif.

Run it from anywhere; it writes beside itself. Needs nothing beyond the Python standard library.
"""

import math
import os
import struct

WIDTH, HEIGHT = 251, 50

PALETTE = [
    (255, 0, 255),    # 0 transparent
    (40, 40, 48),     # 1 shadow
    (10, 30, 110),    # 2..8 letter gradient, dark to light blue
    (16, 52, 150),
    (24, 76, 184),
    (34, 100, 210),
    (52, 126, 226),
    (80, 152, 236),
    (120, 180, 244),
    (230, 110, 20),   # 9..11 waves, orange
    (245, 150, 40),
    (250, 190, 80),
    (200, 30, 30),    # 12 receiver dot
    (255, 255, 255),  # 13 highlight
    (128, 128, 128),  # 14 spare
    (0, 0, 0),        # 15 spare
]

GLYPHS = {
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
}

CELL = 5          # pixels per glyph dot
TEXT_LEFT = 45
TEXT_TOP = 7


def draw():
    pixels = [[0] * WIDTH for _ in range(HEIGHT)]

    # Waves arriving at a receiver on the left.
    cx, cy = 8.0, 24.5
    for y in range(HEIGHT):
        for x in range(WIDTH):
            dx, dy = x - cx, y - cy
            r = math.hypot(dx, dy)
            if r <= 5.0:
                pixels[y][x] = 12
                continue
            if dx <= 0 or abs(math.atan2(dy, dx)) > math.radians(50):
                continue
            for index, (inner, outer) in enumerate(((10, 13), (18, 21), (26, 29))):
                if inner <= r <= outer:
                    pixels[y][x] = 9 + index

    # The name, with a shadow one dot-fifth down and right.
    for layer in ("shadow", "letters"):
        offset = 2 if layer == "shadow" else 0
        for position, letter in enumerate("VESMIRA"):
            left = TEXT_LEFT + position * (CELL * 5 + CELL)
            for row, bits in enumerate(GLYPHS[letter]):
                for column, bit in enumerate(bits):
                    if bit != "1":
                        continue
                    for py in range(CELL):
                        for px in range(CELL):
                            x = left + column * CELL + px + offset
                            y = TEXT_TOP + row * CELL + py + offset
                            if x >= WIDTH or y >= HEIGHT:
                                continue
                            if layer == "shadow":
                                if pixels[y][x] == 0:
                                    pixels[y][x] = 1
                            else:
                                shade = 8 - (row * CELL + py) * 7 // (7 * CELL)
                                pixels[y][x] = 13 if (py == 0 and row == 0) else shade
    return pixels


def lzw_encode(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, size):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def fresh_table():
        return {(i,): i for i in range(clear)}

    table = fresh_table()
    code_size = min_code_size + 1
    next_code = end + 1
    emit(clear, code_size)
    current = ()
    for value in indices:
        extended = current + (value,)
        if extended in table:
            current = extended
            continue
        emit(table[current], code_size)
        if next_code < 4096:
            table[extended] = next_code
            next_code += 1
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
        else:
            emit(clear, code_size)
            table = fresh_table()
            code_size = min_code_size + 1
            next_code = end + 1
        current = (value,)
    if current:
        emit(table[current], code_size)
    emit(end, code_size)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def write_gif(path, pixels):
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", WIDTH, HEIGHT, 0x80 | (3 << 4) | 3, 0, 0)
    for red, green, blue in PALETTE:
        data += bytes((red, green, blue))
    # Graphic control extension: colour 0 is transparent.
    data += bytes((0x21, 0xF9, 4, 0x01, 0, 0, 0, 0))
    data += b"\x2C" + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0)
    min_code_size = 4
    encoded = lzw_encode([value for row in pixels for value in row], min_code_size)
    data.append(min_code_size)
    for start in range(0, len(encoded), 255):
        block = encoded[start:start + 255]
        data.append(len(block))
        data += block
    data += b"\x00\x3B"
    with open(path, "wb") as output:
        output.write(data)


if __name__ == "__main__":
    write_gif(os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.gif"), draw())
