#!/usr/bin/env python3
"""Builds render/mono.png, the 16 x 16 glyph grid the renderer cuts its font from.

Usage: tools/make_font.py [font.pcf.gz] [out.png]

The printable bytes (32-126, 160-255) come from the X11 misc-fixed 7x13
ISO 8859-1 font (public domain, Debian package xfonts-base). The control
bytes (1-31, 127-159) show their value as two tiny hex digits; byte 0 is a
small centred dot. Glyphs are white on a fully transparent background, every
cell keeps the font's baseline on the same row, and nothing is taller than
15 pixels.

Only the standard library is used; regenerating is not part of the build.
"""

import gzip
import os
import struct
import sys
import zlib

DEFAULT_FONT = "/usr/share/fonts/X11/misc/7x13-ISO8859-1.pcf.gz"
CELL_W = 8
CELL_H = 16
TOP_MARGIN = 1  # font rows start one pixel below the cell top

PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_BDF_ACCELERATORS = 1 << 8
PCF_ACCELERATORS = 1 << 1

# 3 x 5 hex digits, one string of 15 bits per digit, rows top to bottom.
TINY_DIGITS = {
    "0": "111101101101111",
    "1": "010110010010111",
    "2": "111001111100111",
    "3": "111001111001111",
    "4": "101101111001001",
    "5": "111100111001111",
    "6": "111100111101111",
    "7": "111001010010010",
    "8": "111101111101111",
    "9": "111101111001111",
    "A": "010101111101101",
    "B": "110101110101110",
    "C": "011100100100011",
    "D": "110101101101110",
    "E": "111100110100111",
    "F": "111100110100100",
}


def read_pcf(path):
    data = gzip.open(path, "rb").read() if path.endswith(".gz") else open(path, "rb").read()
    if data[:4] != b"\x01fcp":
        raise SystemExit("not a PCF font: " + path)
    (table_count,) = struct.unpack_from("<i", data, 4)
    tables = {}
    for i in range(table_count):
        kind, fmt, size, offset = struct.unpack_from("<iiii", data, 8 + 16 * i)
        tables[kind] = (fmt, offset)
    return data, tables


def table_format(data, tables, kind):
    fmt_in_entry, offset = tables[kind]
    (fmt,) = struct.unpack_from("<i", data, offset)
    endian = ">" if fmt & 4 else "<"
    return fmt, endian, offset + 4


def read_metrics(data, tables):
    fmt, e, pos = table_format(data, tables, PCF_METRICS)
    metrics = []
    if fmt & 0x100:  # compressed
        (count,) = struct.unpack_from(e + "h", data, pos)
        pos += 2
        for i in range(count):
            lsb, rsb, width, ascent, descent = (b - 0x80 for b in data[pos:pos + 5])
            metrics.append((lsb, rsb, width, ascent, descent))
            pos += 5
    else:
        (count,) = struct.unpack_from(e + "i", data, pos)
        pos += 4
        for i in range(count):
            lsb, rsb, width, ascent, descent, _ = struct.unpack_from(e + "hhhhhH", data, pos)
            metrics.append((lsb, rsb, width, ascent, descent))
            pos += 12
    return metrics


def read_bitmaps(data, tables, metrics):
    fmt, e, pos = table_format(data, tables, PCF_BITMAPS)
    (count,) = struct.unpack_from(e + "i", data, pos)
    pos += 4
    offsets = struct.unpack_from(e + "%di" % count, data, pos)
    pos += 4 * count + 16
    pad = 1 << (fmt & 3)
    msb_bit_first = bool(fmt & 8)
    glyphs = []
    for i in range(count):
        lsb, rsb, _, ascent, descent = metrics[i]
        width, height = rsb - lsb, ascent + descent
        row_bytes = ((width + 7) // 8 + pad - 1) // pad * pad
        rows = []
        for r in range(height):
            start = pos + offsets[i] + r * row_bytes
            bits = []
            for c in range(width):
                byte = data[start + c // 8]
                bit = (byte >> (7 - c % 8)) & 1 if msb_bit_first else (byte >> (c % 8)) & 1
                bits.append(bit)
            rows.append(bits)
        glyphs.append(rows)
    return glyphs


def read_encoding(data, tables):
    fmt, e, pos = table_format(data, tables, PCF_BDF_ENCODINGS)
    min2, max2, min1, max1, _default = struct.unpack_from(e + "hhhhh", data, pos)
    pos += 10
    count = (max2 - min2 + 1) * (max1 - min1 + 1)
    indices = struct.unpack_from(e + "%dH" % count, data, pos)
    table = {}
    for code in range(256):
        if min1 == 0 and max1 == 0 and min2 <= code <= max2:
            index = indices[code - min2]
            if index != 0xFFFF:
                table[code] = index
    return table


def read_font_ascent(data, tables):
    kind = PCF_BDF_ACCELERATORS if PCF_BDF_ACCELERATORS in tables else PCF_ACCELERATORS
    fmt, e, pos = table_format(data, tables, kind)
    ascent, descent = struct.unpack_from(e + "ii", data, pos + 8)
    return ascent, descent


def put(image, x, y, width):
    image[y * width + x] = 1


def draw_font_glyph(image, width, code, cell_x, cell_y, font):
    data_metrics, bitmaps, encoding, font_ascent = font
    if code not in encoding:
        return
    index = encoding[code]
    lsb, rsb, advance, ascent, descent = data_metrics[index]
    # The baseline sits at the same row in every cell.
    top = cell_y + TOP_MARGIN + font_ascent - ascent
    for r, bits in enumerate(bitmaps[index]):
        for c, bit in enumerate(bits):
            x = cell_x + lsb + c
            if bit and cell_x <= x < cell_x + CELL_W:
                put(image, x, top + r, width)


def draw_hex_symbol(image, width, code, cell_x, cell_y):
    text = "%02X" % code
    top = cell_y + TOP_MARGIN + 4
    for n, ch in enumerate(text):
        bits = TINY_DIGITS[ch]
        for r in range(5):
            for c in range(3):
                if bits[r * 3 + c] == "1":
                    put(image, cell_x + n * 4 + c, top + r, width)


def draw_dot(image, width, cell_x, cell_y):
    for y in (7, 8):
        for x in (3, 4):
            put(image, cell_x + x, cell_y + TOP_MARGIN + y - 1, width)


def write_png(path, width, height, image):
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter: none
        for x in range(width):
            raw += b"\xff\xff\xff\xff" if image[y * width + x] else b"\x00\x00\x00\x00"

    def chunk(kind, body):
        crc = zlib.crc32(kind + body) & 0xFFFFFFFF
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    font_path = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_FONT
    here = os.path.dirname(os.path.abspath(__file__))
    out_path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "render", "mono.png")

    data, tables = read_pcf(font_path)
    metrics = read_metrics(data, tables)
    bitmaps = read_bitmaps(data, tables, metrics)
    encoding = read_encoding(data, tables)
    font_ascent, font_descent = read_font_ascent(data, tables)
    if TOP_MARGIN + font_ascent + font_descent > 15:
        raise SystemExit("font too tall for a 15-pixel line")
    font = (metrics, bitmaps, encoding, font_ascent)

    width, height = 16 * CELL_W, 16 * CELL_H
    image = bytearray(width * height)
    for code in range(256):
        cell_x, cell_y = (code % 16) * CELL_W, (code // 16) * CELL_H
        if code == 0:
            draw_dot(image, width, cell_x, cell_y)
        elif code < 32 or 127 <= code < 160:
            draw_hex_symbol(image, width, code, cell_x, cell_y)
        else:
            draw_font_glyph(image, width, code, cell_x, cell_y, font)
    write_png(out_path, width, height, image)


if __name__ == "__main__":
    main()
