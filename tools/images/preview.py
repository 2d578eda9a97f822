#!/usr/bin/python3
"""Decodes the committed cartoons with djpeg and writes PNG copies, for
looking at them in tools that do not show JPEG: preview.py OUTDIR [names]."""
import subprocess
import sys
from pathlib import Path

import cairo

ROOT = Path(__import__('os').environ.get('CART', str(Path(__file__).resolve().parents[2] / 'content' / 'cartoons')))


def ppm_to_surface(data):
    parts = data.split(maxsplit=4)
    kind, w, h, body = parts[0], int(parts[1]), int(parts[2]), parts[4]
    surf = cairo.ImageSurface(cairo.FORMAT_RGB24, w, h)
    buf = surf.get_data()
    stride = surf.get_stride()
    n = 1 if kind == b"P5" else 3
    for y in range(h):
        for x in range(w):
            px = body[(y * w + x) * n:(y * w + x) * n + n]
            r, g, b = (px[0],) * 3 if n == 1 else px
            buf[y * stride + 4 * x:y * stride + 4 * x + 4] = bytes((b, g, r, 255))
    surf.mark_dirty()
    return surf


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    names = sys.argv[2:] or sorted(p.stem for p in ROOT.glob("*.jpg"))
    for name in names:
        ppm = subprocess.run(["djpeg", "-pnm", str(ROOT / (name + ".jpg"))], stdout=subprocess.PIPE,
                             check=True).stdout
        ppm_to_surface(ppm).write_to_png(str(out / (name + ".png")))


if __name__ == "__main__":
    main()
