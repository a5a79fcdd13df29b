#!/usr/bin/env python3
"""Draws the program's 64x64 icon (a blue disc with a folder and an arrow going out of it) and
writes it as a PNG file to the path given as the only argument."""
import math
import struct
import sys
import zlib

SIZE = 64


def inside_rounded_disc(x, y):
    return math.hypot(x - 31.5, y - 31.5) <= 30.5


def pixel(x, y):
    """RGBA of one pixel."""
    if not inside_rounded_disc(x, y):
        return (0, 0, 0, 0)
    shade = int(40 + 60 * y / SIZE)
    colour = (20, 70 + shade // 2, 150 + shade, 255)
    # The folder: a tab and a body, yellow with a dark outline.
    if 14 <= x <= 27 and 18 <= y <= 22:
        colour = (250, 204, 80, 255)
    if 14 <= x <= 49 and 22 <= y <= 46:
        colour = (250, 204, 80, 255) if 15 <= x <= 48 and 23 <= y <= 45 else (90, 60, 10, 255)
    # The arrow: a white shaft rising from the folder and its head.
    if 38 <= x <= 42 and 14 <= y <= 36:
        colour = (255, 255, 255, 255)
    if 8 <= y <= 18 and abs(x - 40) <= (y - 8) * 0.8:
        colour = (255, 255, 255, 255)
    return colour


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(channel for p in row for channel in p) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(sys.argv[1], "wb") as out:
        out.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
