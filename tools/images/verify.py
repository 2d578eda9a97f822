#!/usr/bin/env python3
"""Checks the committed pictures against what the program relies on: the
cartoons' pixel sizes, codings, component counts, markers and byte sizes, the
two logo bitmaps' headers and sizes, and the icon. Needs only Python's
standard library (djpeg, when installed, also decodes every cartoon).
Usage: verify.py [CONTENT_DIR]; exits 1 and lists every deviation."""
import shutil
import struct
import subprocess
import sys
from pathlib import Path

# file, width, height, progressive, components, bytes
CARTOONS = [
    ("bild001", 450, 346, False, 3, 12715),
    ("bild004", 441, 545, False, 3, 50425),
    ("bild006", 391, 293, False, 3, 21264),
    ("bild007", 417, 381, False, 3, 36283),
    ("bild010", 320, 400, False, 3, 24122),
    ("bild011", 400, 301, True, 3, 30567),
    ("bild012", 451, 385, True, 3, 16516),
    ("bild014", 399, 246, True, 3, 24415),
    ("bild015", 320, 287, True, 3, 16862),
    ("bild018", 320, 281, True, 3, 26143),
    ("bild020", 320, 210, True, 3, 22553),
    ("bild027", 376, 390, True, 3, 35844),
    ("bild031", 505, 430, True, 3, 53371),
    ("bild033", 447, 308, True, 3, 29779),
    ("bild044", 340, 343, True, 3, 31853),
    ("bild051", 300, 369, False, 3, 19033),
    ("bild053", 213, 276, True, 3, 16121),
    ("bild055", 223, 303, True, 1, 18136),
    ("bild057", 295, 459, True, 3, 34095),
    ("bild059", 303, 592, True, 3, 35266),
]
TOLERANCE = 0.15
BACKGROUND = (6, 0, 255)
LOGO_W, LOGO_H = 213, 195


class JpegInfo:
    def __init__(self):
        self.sof = None
        self.width = self.height = self.components = self.precision = None
        self.markers = set()


def parse_jpeg(data):
    """Walks the marker segments up to the first scan. Raises ValueError on a
    malformed file."""
    if data[:2] != b"\xff\xd8":
        raise ValueError("does not start with SOI")
    if data[-2:] != b"\xff\xd9":
        raise ValueError("does not end with EOI")
    info = JpegInfo()
    pos = 2
    while True:
        if pos + 4 > len(data) or data[pos] != 0xFF:
            raise ValueError("broken marker at offset %d" % pos)
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        body = data[pos + 4:pos + 2 + length]
        if length < 2 or pos + 2 + length > len(data):
            raise ValueError("segment %02X overruns the file" % marker)
        if marker == 0xE0 and body[:5] == b"JFIF\0":
            info.markers.add("jfif")
        elif marker == 0xEE and body[:5] == b"Adobe":
            info.markers.add("adobe")
        elif marker == 0xE2 and body[:12] == b"ICC_PROFILE\0":
            info.markers.add("icc")
            profile = body[14:]
            if len(profile) < 132 or struct.unpack(">I", profile[:4])[0] != len(profile) or profile[36:40] != b"acsp":
                raise ValueError("colour profile is malformed")
        elif marker == 0xFE:
            info.markers.add("com")
        elif 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            if info.sof is not None:
                raise ValueError("more than one frame header")
            info.sof = marker
            info.precision, info.height, info.width, info.components = struct.unpack(">BHHB", body[:6])
        elif marker == 0xDA:
            break
        pos += 2 + length
    if info.sof is None:
        raise ValueError("no frame header before the first scan")
    return info


def djpeg_size(path):
    """Decodes with libjpeg's djpeg; returns (width, height, components)."""
    out = subprocess.run(["djpeg", "-pnm", str(path)], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if out.returncode != 0 or out.stderr:
        raise ValueError("djpeg: " + out.stderr.decode(errors="replace").strip())
    kind, w, h = out.stdout.split(maxsplit=4)[:3]
    return int(w), int(h), 1 if kind == b"P5" else 3


def check_cartoons(root, problems, decode):
    folder = root / "cartoons"
    seen = {"jfif": 0, "adobe": 0, "icc": 0, "com": 0}
    names = {c[0] for c in CARTOONS}
    for extra in sorted(p.name for p in folder.glob("*") if p.stem not in names or p.suffix != ".jpg"):
        problems.append("cartoons/%s: not one of the cartoons" % extra)
    for (name, w, h, progressive, comps, size) in CARTOONS:
        path = folder / (name + ".jpg")
        label = "cartoons/%s.jpg" % name
        if not path.exists():
            problems.append(label + ": missing")
            continue
        data = path.read_bytes()
        try:
            info = parse_jpeg(data)
        except ValueError as e:
            problems.append("%s: %s" % (label, e))
            continue
        want = 0xC2 if progressive else 0xC0
        if info.sof != want:
            problems.append("%s: coded with SOF%d, expected SOF%d (%s)" % (
                label, info.sof - 0xC0, want - 0xC0, "progressive" if progressive else "baseline"))
        if (info.width, info.height) != (w, h):
            problems.append("%s: %d x %d pixels, expected %d x %d" % (label, info.width, info.height, w, h))
        if info.components != comps:
            problems.append("%s: %d components, expected %d" % (label, info.components, comps))
        if info.precision != 8:
            problems.append("%s: %d-bit samples, expected 8" % (label, info.precision))
        if abs(len(data) - size) > TOLERANCE * size:
            problems.append("%s: %d bytes, more than %d %% away from %d" % (label, len(data), TOLERANCE * 100, size))
        for m in info.markers:
            seen[m] += 1
        if decode:
            try:
                got = djpeg_size(path)
                if got != (w, h, comps):
                    problems.append("%s: decodes to %s, expected %s" % (label, got, (w, h, comps)))
            except ValueError as e:
                problems.append("%s: %s" % (label, e))
    if seen["jfif"] <= len(CARTOONS) // 2:
        problems.append("cartoons: only %d carry a JFIF marker, most should" % seen["jfif"])
    for m, what in (("adobe", "an Adobe marker"), ("icc", "a colour profile"), ("com", "a comment")):
        if seen[m] == 0:
            problems.append("cartoons: none carries " + what)


def read_bmp(path, problems, label, bits, size):
    """Checks the headers; returns the pixel rows top first as (r, g, b), or None."""
    if not path.exists():
        problems.append(label + ": missing")
        return None
    d = path.read_bytes()
    if len(d) != size:
        problems.append("%s: %d bytes, expected %d" % (label, len(d), size))
    if len(d) < 54 or d[:2] != b"BM":
        problems.append(label + ": not a Windows bitmap")
        return None
    file_size, _, _, offset = struct.unpack_from("<IHHI", d, 2)
    hsize, w, h, planes, bpp, comp, image_size = struct.unpack_from("<IiiHHII", d, 14)
    colours = struct.unpack_from("<I", d, 46)[0]
    if file_size != len(d):
        problems.append("%s: header says %d bytes, file has %d" % (label, file_size, len(d)))
    if hsize != 40:
        problems.append("%s: information header of %d bytes, expected 40" % (label, hsize))
    if (w, h) != (LOGO_W, LOGO_H):
        problems.append("%s: %d x %d, expected %d x %d bottom-up" % (label, w, h, LOGO_W, LOGO_H))
        return None
    if planes != 1 or bpp != bits or comp != 0:
        problems.append("%s: %d planes, %d bits, compression %d; expected 1, %d, 0" % (
            label, planes, bpp, comp, bits))
        return None
    stride = ((w * bits // 8) + 3) & ~3
    if image_size not in (0, stride * h):
        problems.append("%s: image size field %d, expected %d" % (label, image_size, stride * h))
    pal = []
    if bits == 8:
        n = colours or 256
        if n != 256:
            problems.append("%s: %d palette colours, expected 256" % (label, n))
        pal = [(d[54 + 4 * i + 2], d[54 + 4 * i + 1], d[54 + 4 * i]) for i in range(n)]
        if offset != 54 + 4 * n:
            problems.append("%s: pixels at %d, expected %d" % (label, offset, 54 + 4 * n))
    elif offset != 54:
        problems.append("%s: pixels at %d, expected 54" % (label, offset))
    if offset + stride * h > len(d):
        problems.append(label + ": pixel data cut short")
        return None
    rows = []
    for y in range(h):
        line = d[offset + stride * (h - 1 - y):]
        if bits == 8:
            rows.append([pal[line[x]] if line[x] < len(pal) else (0, 0, 0) for x in range(w)])
        else:
            rows.append([(line[3 * x + 2], line[3 * x + 1], line[3 * x]) for x in range(w)])
    return rows, d[offset + stride * h:]


def check_bitmaps(root, problems):
    logo = read_bmp(root / "bitmaps" / "logo.bmp", problems, "bitmaps/logo.bmp", 8, 43198)
    wink = read_bmp(root / "bitmaps" / "psizwin.bmp", problems, "bitmaps/psizwin.bmp", 24, 124856)
    for label, got in (("bitmaps/logo.bmp", logo), ("bitmaps/psizwin.bmp", wink)):
        if got is None:
            continue
        rows = got[0]
        for (x, y) in ((0, 0), (LOGO_W - 1, 0), (0, LOGO_H - 1), (LOGO_W - 1, LOGO_H - 1)):
            if rows[y][x] != BACKGROUND:
                problems.append("%s: background at (%d, %d) is %s, expected %s" % (label, x, y, rows[y][x], BACKGROUND))
    if wink is not None and wink[1] != b"\0\0":
        problems.append("bitmaps/psizwin.bmp: expected two zero bytes after the pixels")
    if logo is not None and wink is not None:
        # The same psi: the lower part (stem and cup) matches up to the palette's
        # rounding; the eyes above differ, because one of them is closed.
        a, b = logo[0], wink[0]
        off = sum(1 for y in range(110, LOGO_H) for x in range(LOGO_W)
                  if max(abs(p - q) for p, q in zip(a[y][x], b[y][x])) > 60)
        if off > 40:
            problems.append("bitmaps: logo and winking logo differ in %d pixels of the psi's lower part" % off)
        if a[:110] == b[:110]:
            problems.append("bitmaps: the winking logo does not differ from the logo")


def check_icon(root, problems):
    path = root / "icon" / "mainicon.ico"
    if not path.exists():
        problems.append("icon/mainicon.ico: missing")
    else:
        d = path.read_bytes()
        head = struct.unpack_from("<HHH", d, 0) if len(d) >= 6 else None
        entry = struct.unpack_from("<BBBBHHII", d, 6) if len(d) >= 22 else None
        if head != (0, 1, 1) or entry is None:
            problems.append("icon/mainicon.ico: not an icon file with one image")
        else:
            w, h, ncol, _, planes, bpp, size, offset = entry
            if (w, h, ncol, bpp) != (32, 32, 0, 8):
                problems.append("icon/mainicon.ico: %dx%d, %d bits; expected 32x32 in 256 colours" % (w, h, bpp))
            if size != 2216 or offset + size != len(d):
                problems.append("icon/mainicon.ico: image of %d bytes at %d in %d; expected 2216 after the "
                                "directory" % (size, offset, len(d)))
            elif struct.unpack_from("<IiiHH", d, offset) != (40, 32, 64, 1, 8):
                problems.append("icon/mainicon.ico: image header is not 32 x (2 x 32), 8 bits")
    for name, size in (("mainicon.png", 32), ("mainicon-256.png", 256)):
        path = root / "icon" / name
        if not path.exists():
            problems.append("icon/%s: missing" % name)
            continue
        d = path.read_bytes()
        if d[:8] != b"\x89PNG\r\n\x1a\n" or d[12:16] != b"IHDR":
            problems.append("icon/%s: not a PNG file" % name)
        elif struct.unpack_from(">II", d, 16) != (size, size):
            problems.append("icon/%s: %s, expected %d x %d" % (name, struct.unpack_from(">II", d, 16), size, size))


def verify(root, decode=None):
    if decode is None:
        decode = shutil.which("djpeg") is not None
    problems = []
    check_cartoons(root, problems, decode)
    check_bitmaps(root, problems)
    check_icon(root, problems)
    return problems


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "content"
    problems = verify(root)
    for p in problems:
        print(p)
    if problems:
        print("%d problem(s) in %s" % (len(problems), root))
        return 1
    print("All pictures in %s are as expected." % root)
    return 0


if __name__ == "__main__":
    sys.exit(main())
