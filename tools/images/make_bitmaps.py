#!/usr/bin/python3
"""Draws the main window's logo (a red psi with two open cartoon eyes on blue),
its winking twin and the program icon, and writes them byte for byte
reproducibly: logo.bmp (8 bits, 256-colour palette), psizwin.bmp (24 bits),
mainicon.png/.ico (32 x 32) and mainicon-256.png.
Needs Debian's python3-cairo."""
import math
import struct
import sys
from pathlib import Path

import cairo

W, H = 213, 195
BLUE = (6, 0, 255)
RED = (230, 20, 30)


def rgb(c):
    return tuple(v / 255 for v in c)


def draw_psi(ctx, wink):
    ctx.set_source_rgb(*rgb(BLUE))
    ctx.paint()
    ctx.set_source_rgb(*rgb(RED))
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(17)
    # The psi's stem and cup.
    ctx.move_to(106, 70)
    ctx.line_to(106, 178)
    ctx.stroke()
    ctx.move_to(48, 78)
    ctx.curve_to(48, 150, 80, 150, 106, 150)
    ctx.curve_to(132, 150, 164, 150, 164, 78)
    ctx.stroke()
    ctx.set_line_width(15)
    ctx.move_to(80, 180)
    ctx.line_to(132, 180)
    ctx.stroke()
    # Two cartoon eyes above the cup; the left one closes for the wink.
    for i, cx in enumerate((80, 132)):
        cy = 46
        if wink and i == 0:
            ctx.set_source_rgb(1, 1, 1)
            ctx.set_line_width(6)
            ctx.arc(cx, cy - 6, 18, math.radians(30), math.radians(150))
            ctx.stroke()
            continue
        ctx.set_source_rgb(1, 1, 1)
        ctx.save()
        ctx.translate(cx, cy)
        ctx.scale(1.0, 1.3)
        ctx.arc(0, 0, 18, 0, 2 * math.pi)
        ctx.restore()
        ctx.fill_preserve()
        ctx.set_source_rgb(0, 0, 0)
        ctx.set_line_width(3)
        ctx.stroke()
        ctx.arc(cx + 5, cy + 6, 8, 0, 2 * math.pi)
        ctx.fill()
        ctx.set_source_rgb(1, 1, 1)
        ctx.arc(cx + 8, cy + 3, 2.5, 0, 2 * math.pi)
        ctx.fill()


def render(wink):
    surf = cairo.ImageSurface(cairo.FORMAT_RGB24, W, H)
    ctx = cairo.Context(surf)
    draw_psi(ctx, wink)
    surf.flush()
    return surf


def pixels(surf):
    data = bytes(surf.get_data())
    stride = surf.get_stride()
    out = []
    for y in range(surf.get_height()):
        row = []
        for x in range(surf.get_width()):
            b, g, r = data[y * stride + 4 * x: y * stride + 4 * x + 3]
            row.append((r, g, b))
        out.append(row)
    return out


def palette():
    pal = [BLUE, (0, 0, 0), (255, 255, 255), RED]
    # Blends of the four drawing colours, so antialiased edges stay smooth.
    base = [BLUE, (0, 0, 0), (255, 255, 255), RED]
    for i in range(len(base)):
        for j in range(i + 1, len(base)):
            for k in range(1, 16):
                t = k / 16
                pal.append(tuple(round(base[i][c] * (1 - t) + base[j][c] * t) for c in range(3)))
    levels = (0, 51, 102, 153, 204, 255)
    for r in levels:
        for g in levels:
            for b in levels:
                if len(pal) < 256:
                    pal.append((r, g, b))
    return pal[:256]


def nearest(pal, c, cache):
    if c not in cache:
        cache[c] = min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))
    return cache[c]


def bmp_header(bits, image_size, extra, colours):
    offset = 14 + 40 + 4 * colours
    file_size = offset + image_size + extra
    return (b"BM" + struct.pack("<IHHI", file_size, 0, 0, offset) +
            struct.pack("<IiiHHIIiiII", 40, W, H, 1, bits, 0, image_size, 3780, 3780, colours, 0))


def write_bmp8(path, px):
    pal = palette()
    cache = {}
    stride = (W + 3) & ~3
    rows = b""
    for y in reversed(range(H)):
        row = bytes(nearest(pal, px[y][x], cache) for x in range(W))
        rows += row + b"\0" * (stride - W)
    head = bmp_header(8, len(rows), 0, 256)
    pal_bytes = b"".join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    Path(path).write_bytes(head + pal_bytes + rows)


def write_bmp24(path, px):
    stride = (3 * W + 3) & ~3
    rows = b""
    for y in reversed(range(H)):
        row = b"".join(bytes((b, g, r)) for (r, g, b) in px[y])
        rows += row + b"\0" * (stride - 3 * W)
    # Two trailing pad bytes after the pixels, counted in the file size.
    head = bmp_header(24, len(rows), 2, 0)
    Path(path).write_bytes(head + rows + b"\0\0")


def draw_icon(size):
    surf = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    ctx = cairo.Context(surf)
    s = size / 32
    ctx.scale(s, s)
    ctx.set_source_rgba(0, 0, 0, 0)
    ctx.paint()
    ctx.set_source_rgb(1, 1, 1)
    ctx.rectangle(3, 2, 26, 28)
    ctx.fill_preserve()
    ctx.set_source_rgb(0.3, 0.3, 0.3)
    ctx.set_line_width(1)
    ctx.stroke()
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_source_rgb(*rgb(RED))
    ctx.set_line_width(2.2)
    for (x1, y1, x2, y2) in ((8, 8, 14, 14), (14, 8, 8, 14)):
        ctx.move_to(x1, y1)
        ctx.line_to(x2, y2)
        ctx.stroke()
    ctx.set_source_rgb(0.1, 0.2, 0.9)
    ctx.arc(21, 11, 3.2, 0, 2 * math.pi)
    ctx.stroke()
    ctx.set_source_rgb(*rgb(RED))
    ctx.arc(16, 17, 8, math.radians(25), math.radians(155))
    ctx.stroke()
    surf.flush()
    return surf


def write_png(surf, path):
    # cairo's PNG writer carries no time stamp, so the bytes repeat.
    surf.write_to_png(str(path))


def write_ico(path, surf):
    size = 32
    data = bytes(surf.get_data())
    stride = surf.get_stride()
    px = []
    for y in range(size):
        row = []
        for x in range(size):
            b, g, r, a = data[y * stride + 4 * x: y * stride + 4 * x + 4]
            row.append((r, g, b, a))
        px.append(row)
    pal = palette()
    cache = {}
    xor = b""
    mask = b""
    for y in reversed(range(size)):
        xor += bytes(nearest(pal, (r, g, b), cache) if a >= 128 else 0 for (r, g, b, a) in px[y])
        bits = 0
        row = b""
        for x in range(size):
            bits = (bits << 1) | (1 if px[y][x][3] < 128 else 0)
            if x % 8 == 7:
                row += bytes((bits,))
                bits = 0
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    pal_bytes = b"".join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    image = info + pal_bytes + xor + mask
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 22)
    Path(path).write_bytes(head + image)


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "content"
    write_bmp8(root / "bitmaps" / "logo.bmp", pixels(render(False)))
    write_bmp24(root / "bitmaps" / "psizwin.bmp", pixels(render(True)))
    icon = draw_icon(32)
    write_png(icon, root / "icon" / "mainicon.png")
    write_ico(root / "icon" / "mainicon.ico", icon)
    write_png(draw_icon(256), root / "icon" / "mainicon-256.png")


if __name__ == "__main__":
    main()
