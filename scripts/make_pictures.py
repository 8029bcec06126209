#!/usr/bin/env python3
"""Draws the program's two 32x32 16-colour pictures: the application icon (PNG) and the about box picture (XPM).

Run from anywhere; writes forms/resources/icon.png and forms/resources/about.xpm. Standard library only.
"""
import os
import struct
import zlib

SIZE = 32
# The 16 colours of the classic palette; index 16 is transparent.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
    (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(16)
CLEAR = 16


def page(pixels, left, top, right, bottom, fold, line_rows, line_colour):
    """A sheet with a folded top-right corner and lines of text."""
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - fold) > y - top:  # cut corner
                continue
            edge = x in (left, right) or y in (top, bottom) or x - (right - fold) == y - top
            pixels[y][x] = BLACK if edge else WHITE
    for i in range(fold):  # the folded flap
        for x in range(right - fold, right - fold + i + 1):
            pixels[top + i][x] = SILVER if pixels[top + i][x] == WHITE else pixels[top + i][x]
    for n, y in enumerate(line_rows):
        end = right - 2 - (n * 3) % 5
        for x in range(left + 2, end + 1):
            if pixels[y][x] == WHITE:
                pixels[y][x] = line_colour


def arrow(pixels, left, middle, length, colour):
    """A right-pointing arrow: a shaft and a triangular head."""
    for x in range(left, left + length - 3):
        for y in (middle - 1, middle, middle + 1):
            pixels[y][x] = colour
    for i in range(4):
        for y in range(middle - 3 + i, middle + 4 - i):
            pixels[y][left + length - 4 + i] = colour


def drawing(background):
    pixels = [[background] * SIZE for _ in range(SIZE)]
    page(pixels, 1, 3, 14, 28, 4, range(8, 27, 2), NAVY)
    arrow(pixels, 15, 16, 8, RED)
    page(pixels, 23, 10, 30, 22, 2, range(13, 21, 2), GREEN)
    return pixels


def write_png(path, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    rows = b"".join(b"\0" + bytes(row) for row in pixels)
    colours = b"".join(bytes(c) for c in PALETTE) + bytes(3)
    alpha = bytes([255] * 16 + [0])
    data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 3, 0, 0, 0))
            + chunk(b"PLTE", colours) + chunk(b"tRNS", alpha) + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(data)


def write_xpm(path, pixels, name):
    keys = "0123456789abcdef"
    used = sorted({p for row in pixels for p in row})
    lines = ["/* XPM */", f"static const char* const {name}[] = {{", f'"{SIZE} {SIZE} {len(used)} 1",']
    for p in used:
        r, g, b = PALETTE[p]
        lines.append(f'"{keys[p]} c #{r:02X}{g:02X}{b:02X}",')
    for y, row in enumerate(pixels):
        text = "".join(keys[p] for p in row)
        lines.append(f'"{text}"' + ("," if y + 1 < SIZE else ""))
    lines.append("};")
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "forms", "resources")
    write_png(os.path.join(folder, "icon.png"), drawing(CLEAR))
    write_xpm(os.path.join(folder, "about.xpm"), drawing(TEAL), "about_xpm")


if __name__ == "__main__":
    main()
