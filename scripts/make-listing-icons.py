#!/usr/bin/env python3
"""Draws the six 16x16 icons of the web server's folder pages (folder, binary, image, movie,
sound, text) and writes them as GIF files into the folder given as the only argument."""
import os
import struct
import sys

PALETTE = [
    (255, 255, 255),  # 0 background (transparent)
    (0, 0, 0),        # 1 outline
    (250, 204, 80),   # 2 folder yellow
    (200, 150, 40),   # 3 folder shade
    (160, 160, 160),  # 4 grey
    (40, 90, 200),    # 5 blue
    (60, 170, 70),    # 6 green
    (240, 240, 240),  # 7 paper
]

ICONS = {
    "folder.gif": [
        "................",
        "................",
        "..11111.........",
        ".1222221........",
        ".12222221111111.",
        ".12222222222221.",
        ".13333333333331.",
        ".12222222222221.",
        ".12222222222221.",
        ".12222222222221.",
        ".12222222222221.",
        ".12222222222221.",
        ".12222222222221.",
        ".11111111111111.",
        "................",
        "................",
    ],
    "binary.gif": [
        "................",
        ".11111111111111.",
        ".15555555555551.",
        ".15555555555551.",
        ".11111111111111.",
        ".17777777777771.",
        ".17144714471471.",
        ".17777777777771.",
        ".17414474144771.",
        ".17777777777771.",
        ".17144714471471.",
        ".17777777777771.",
        ".17777777777771.",
        ".11111111111111.",
        "................",
        "................",
    ],
    "image.gif": [
        "................",
        ".11111111111111.",
        ".17777777777771.",
        ".17777777722771.",
        ".17777777222271.",
        ".17777777722771.",
        ".17777777777771.",
        ".17776777777771.",
        ".17766677777771.",
        ".17666667767771.",
        ".16666666666661.",
        ".16666666666661.",
        ".16666666666661.",
        ".11111111111111.",
        "................",
        "................",
    ],
    "movie.gif": [
        "................",
        ".11111111111111.",
        ".17171717171711.",
        ".11111111111111.",
        ".11555555555511.",
        ".11555555555511.",
        ".11555555555511.",
        ".11555555555511.",
        ".11555555555511.",
        ".11555555555511.",
        ".11111111111111.",
        ".17171717171711.",
        ".11111111111111.",
        "................",
        "................",
        "................",
    ],
    "sound.gif": [
        "................",
        "..........11....",
        "..........1.1...",
        "..........1..1..",
        "..........1...1.",
        "..........1...1.",
        "..........1..1..",
        "..........1.....",
        "..........1.....",
        "..........1.....",
        "......11111.....",
        ".....155551.....",
        ".....155551.....",
        "......1111......",
        "................",
        "................",
    ],
    "text.gif": [
        "................",
        "..1111111111....",
        "..1777777771....",
        "..1744444771....",
        "..1777777771....",
        "..1744444471....",
        "..1777777771....",
        "..1744447771....",
        "..1777777771....",
        "..1744444471....",
        "..1777777771....",
        "..1744444771....",
        "..1777777771....",
        "..1111111111....",
        "................",
        "................",
    ],
}


def lzw(pixels, min_code_size):
    """The GIF flavour of LZW: variable code width, least significant bit first."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    table = {bytes([i]): i for i in range(clear)}
    next_code, width = end + 1, min_code_size + 1
    out, bits, nbits = bytearray(), 0, 0

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    current = b""
    for p in pixels:
        candidate = current + bytes([p])
        if candidate in table:
            current = candidate
            continue
        emit(table[current])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear)
            table = {bytes([i]): i for i in range(clear)}
            next_code, width = end + 1, min_code_size + 1
        current = bytes([p])
    if current:
        emit(table[current])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(rows):
    height, width = len(rows), len(rows[0])
    pixels = [0 if c == "." else int(c) for row in rows for c in row]
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0xF2, 0, 0)  # global table of 8 colours
    for r, g, b in PALETTE:
        data += bytes([r, g, b])
    data += b"\x21\xF9\x04\x01\x00\x00\x00\x00"  # colour 0 is transparent
    data += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    min_code_size = 3
    data.append(min_code_size)
    encoded = lzw(pixels, min_code_size)
    for i in range(0, len(encoded), 255):
        chunk = encoded[i:i + 255]
        data.append(len(chunk))
        data += chunk
    data += b"\x00\x3B"
    return bytes(data)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-listing-icons.py OUTPUT_FOLDER")
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, rows in ICONS.items():
        assert len(rows) == 16 and all(len(r) == 16 for r in rows), name
        with open(os.path.join(sys.argv[1], name), "wb") as f:
            f.write(gif(rows))


if __name__ == "__main__":
    main()
