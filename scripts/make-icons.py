#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws Pixolan's icon (a small LCD showing colour bars) into resources/icons/:
8-bit palette PNGs of every hicolor size (the window embeds 16, 32 and 48) and
pixolan.svg, the same drawing as shapes. Standard library only."""
import struct
import sys
import zlib
from pathlib import Path

PALETTE = [
    (0x2B, 0x2F, 0x36),  # 0 bezel
    (0x12, 0x14, 0x18),  # 1 screen edge
    (0xE8, 0x3A, 0x3A),  # 2 red
    (0x3A, 0xC8, 0x5A),  # 3 green
    (0x3A, 0x6E, 0xE8),  # 4 blue
    (0xF5, 0xF5, 0xF0),  # 5 white
    (0xF2, 0xC8, 0x3A),  # 6 amber (power light)
    (0x55, 0x5C, 0x66),  # 7 bezel highlight
]


def pixel(x, y, size):
    edge = max(1, size // 8)
    if x < edge or y < edge or x >= size - edge or y >= size - edge * 2:
        if y >= size - edge * 2 + max(0, edge // 2) and x >= size - edge * 2 and x < size - edge:
            return 6
        return 7 if y == 0 or x == 0 else 0
    if x == edge or y == edge or x == size - edge - 1 or y == size - edge * 2 - 1:
        return 1
    inner = size - 2 * edge - 2
    bar = (x - edge - 1) * 4 // inner
    return (2, 3, 4, 5)[min(bar, 3)]


def png(size):
    rows = b"".join(b"\x00" + bytes(pixel(x, y, size) for x in range(size)) for y in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 3, 0, 0, 0)  # 8-bit, palette
    plte = b"".join(bytes(c) for c in PALETTE)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", plte) + \
        chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def svg(size=48):
    """The drawing of pixel() as rectangles on a size-unit grid."""
    edge = max(1, size // 8)
    bottom = size - edge * 2          # first row of the wide bottom bezel
    inner = size - 2 * edge - 2
    hexes = ["#%02X%02X%02X" % c for c in PALETTE]

    def rect(x, y, w, h, colour):
        return f'  <rect x="{x:g}" y="{y:g}" width="{w:g}" height="{h:g}" fill="{hexes[colour]}"/>\n'

    shapes = rect(0, 0, size, size, 0) + rect(0, 0, size, 1, 7) + rect(0, 0, 1, size, 7)
    shapes += rect(size - edge * 2, bottom + edge // 2, edge, size - bottom - edge // 2, 6)
    shapes += rect(edge, edge, size - 2 * edge, bottom - edge, 1)
    for bar, colour in enumerate((2, 3, 4, 5)):
        shapes += rect(edge + 1 + bar * inner / 4, edge + 1, inner / 4, bottom - edge - 2, colour)
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}" shape-rendering="crispEdges">\n'
            f'  <!-- SPDX-License-Identifier: MIT -->\n{shapes}</svg>\n')


SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "icons")
out.mkdir(parents=True, exist_ok=True)
for size in SIZES:
    (out / f"pixolan-{size}.png").write_bytes(png(size))
(out / "pixolan.svg").write_text(svg())
