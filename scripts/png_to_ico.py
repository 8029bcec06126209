#!/usr/bin/env python3
"""Turns the program's PNG icon into a Windows .ico holding one 32-bit bitmap image (standard library only).

usage: png_to_ico.py ICON.png ICON.ico

Bitmap rather than PNG inside the .ico, so that every resource compiler and Windows version takes it.
Reads non-interlaced PNGs of 8 bits per sample or fewer: grey, grey+alpha, RGB, RGBA and palette (with tRNS).
"""
import struct
import sys
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def chunks(data):
    pos = len(SIGNATURE)
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        yield kind, data[pos + 8:pos + 8 + length]
        pos += 12 + length


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def unfilter(raw, height, stride, step):
    rows, previous, pos = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[pos], bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up, corner = previous[i], previous[i - step] if i >= step else 0
            predictor = (0, left, up, (left + up) // 2, paeth(left, up, corner))[kind]
            line[i] = (line[i] + predictor) & 0xFF
        rows.append(line)
        previous = line
    return rows


def samples(line, depth, count):
    if depth == 8:
        return list(line[:count])
    per_byte, mask = 8 // depth, (1 << depth) - 1
    return [(line[i // per_byte] >> (8 - depth * (i % per_byte + 1))) & mask for i in range(count)]


def read_png(data):
    if not data.startswith(SIGNATURE):
        raise ValueError("not a PNG file")
    idat, palette, transparency = b"", [], b""
    for kind, body in chunks(data):
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"tRNS":
            transparency = body
        elif kind == b"IDAT":
            idat += body
    if depth > 8 or interlace or colour not in CHANNELS:
        raise ValueError("unsupported PNG: depth %d, colour type %d, interlace %d" % (depth, colour, interlace))
    channels = CHANNELS[colour]
    stride = (width * channels * depth + 7) // 8
    rows = unfilter(zlib.decompress(idat), height, stride, max(1, channels * depth // 8))
    scale = 255 // ((1 << depth) - 1)
    pixels = []
    for line in rows:
        values = samples(line, depth, width * channels)
        for x in range(width):
            v = values[x * channels:(x + 1) * channels]
            if colour == 3:
                r, g, b = palette[v[0]]
                a = transparency[v[0]] if v[0] < len(transparency) else 255
            elif colour == 0:
                r = g = b = v[0] * scale
                a = 255
            elif colour == 4:
                r = g = b = v[0]
                a = v[1]
            else:
                r, g, b = v[:3]
                a = v[3] if colour == 6 else 255
            pixels.append((r, g, b, a))
    return width, height, pixels


def ico_bytes(width, height, pixels):
    # A 32-bit DIB: bottom-up BGRA rows, then the AND mask (1 bit per pixel, rows padded to 4 bytes).
    colour = b"".join(bytes((b, g, r, a)) for y in reversed(range(height))
                      for r, g, b, a in pixels[y * width:(y + 1) * width])
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(height)):
        line = bytearray(mask_stride)
        for x in range(width):
            if pixels[y * width + x][3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + bytes(mask)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + image


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], "rb") as source:
        width, height, pixels = read_png(source.read())
    if width > 256 or height > 256:
        raise SystemExit("an icon is at most 256 x 256 pixels, %s is %d x %d" % (argv[1], width, height))
    with open(argv[2], "wb") as target:
        target.write(ico_bytes(width, height, pixels))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
