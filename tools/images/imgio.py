"""File writers shared by the picture generators: Windows bitmaps and icons,
PNG, and JPEG through Debian's cjpeg with extra marker segments spliced in.
Everything here is deterministic: the same drawing gives the same bytes."""
import struct
import subprocess
import tempfile
from pathlib import Path

import cairo


def rgb_rows(surf):
    """The surface's pixels as rows of (r, g, b) tuples, top row first."""
    surf.flush()
    data = bytes(surf.get_data())
    stride = surf.get_stride()
    w, h = surf.get_width(), surf.get_height()
    rows = []
    for y in range(h):
        line = data[y * stride: y * stride + 4 * w]
        # cairo keeps native-endian 32-bit pixels: B, G, R, A in memory here.
        rows.append([(line[4 * x + 2], line[4 * x + 1], line[4 * x]) for x in range(w)])
    return rows


def argb_rows(surf):
    """Rows of (r, g, b, a), un-premultiplied, for the icon's mask."""
    surf.flush()
    data = bytes(surf.get_data())
    stride = surf.get_stride()
    w, h = surf.get_width(), surf.get_height()
    rows = []
    for y in range(h):
        line = data[y * stride: y * stride + 4 * w]
        row = []
        for x in range(w):
            b, g, r, a = line[4 * x: 4 * x + 4]
            if a:
                r, g, b = (min(255, round(v * 255 / a)) for v in (r, g, b))
            row.append((r, g, b, a))
        rows.append(row)
    return rows


def build_palette(rows_list, fixed, size=256):
    """A palette of `size` colours: the fixed ones first, then the most
    frequent colours of the given pictures (ties broken by colour value, so
    the choice never depends on dictionary order)."""
    counts = {}
    for rows in rows_list:
        for row in rows:
            for c in row:
                counts[c] = counts.get(c, 0) + 1
    pal = list(dict.fromkeys(fixed))
    for c, _ in sorted(counts.items(), key=lambda kv: (-kv[1], kv[0])):
        if len(pal) == size:
            break
        if c not in pal:
            pal.append(c)
    while len(pal) < size:
        pal.append((0, 0, 0))
    return pal


class Quantiser:
    """Nearest palette entry per colour, remembered because edges repeat."""

    def __init__(self, pal):
        self.pal = pal
        self.cache = {c: i for i, c in reversed(list(enumerate(pal)))}

    def index(self, c):
        i = self.cache.get(c)
        if i is None:
            r, g, b = c
            # Weighted distance: the eye forgives blue errors most.
            i = min(range(len(self.pal)),
                    key=lambda k: 3 * (self.pal[k][0] - r) ** 2 + 4 * (self.pal[k][1] - g) ** 2
                    + 2 * (self.pal[k][2] - b) ** 2)
            self.cache[c] = i
        return i


def bmp_file_header(file_size, offset):
    return b"BM" + struct.pack("<IHHI", file_size, 0, 0, offset)


def bmp_info_header(w, h, bits, image_size, colours):
    # 3780 pixels per metre is 96 dots per inch.
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, image_size, 3780, 3780, colours, colours)


def bmp8(rows, pal):
    """Uncompressed 8-bit bottom-up bitmap with a 256-colour palette."""
    h, w = len(rows), len(rows[0])
    q = Quantiser(pal)
    stride = (w + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        pixels += bytes(q.index(c) for c in row)
        pixels += b"\0" * (stride - w)
    offset = 14 + 40 + 4 * len(pal)
    pal_bytes = b"".join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    return (bmp_file_header(offset + len(pixels), offset)
            + bmp_info_header(w, h, 8, len(pixels), len(pal)) + pal_bytes + bytes(pixels))


def bmp24(rows, trailing=0):
    """Uncompressed 24-bit bottom-up bitmap; `trailing` zero bytes follow the
    pixels and are counted in the header's file size."""
    h, w = len(rows), len(rows[0])
    stride = (3 * w + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        for (r, g, b) in row:
            pixels += bytes((b, g, r))
        pixels += b"\0" * (stride - 3 * w)
    offset = 14 + 40
    return (bmp_file_header(offset + len(pixels) + trailing, offset)
            + bmp_info_header(w, h, 24, len(pixels), 0) + bytes(pixels) + b"\0" * trailing)


def ico8(argb, pal):
    """A one-image icon file: 8-bit palette image plus 1-bit transparency mask."""
    size = len(argb)
    q = Quantiser(pal)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(argb):
        xor += bytes(q.index(px[:3]) if px[3] >= 128 else 0 for px in row)
        bits = 0
        line = bytearray()
        for x, px in enumerate(row):
            bits = (bits << 1) | (1 if px[3] < 128 else 0)
            if x % 8 == 7:
                line.append(bits)
                bits = 0
        line += b"\0" * ((-len(line)) % 4)
        mask += line
    # Inside an icon the height counts the colour image and the mask together.
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    pal_bytes = b"".join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    image = info + pal_bytes + bytes(xor) + bytes(mask)
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 22)
    return head + image


def png(surf):
    """cairo's PNG writer stores no time stamp, so its bytes repeat."""
    with tempfile.TemporaryDirectory() as tmp:
        p = Path(tmp) / "x.png"
        surf.write_to_png(str(p))
        return p.read_bytes()


def netpbm(rows, grey):
    h, w = len(rows), len(rows[0])
    if grey:
        body = bytes(round(0.299 * r + 0.587 * g + 0.114 * b) for row in rows for (r, g, b) in row)
        return b"P5\n%d %d\n255\n" % (w, h) + body
    body = bytes(v for row in rows for px in row for v in px)
    return b"P6\n%d %d\n255\n" % (w, h) + body


def cjpeg(rows, quality, progressive, grey, sample="2x2"):
    args = ["cjpeg", "-quality", str(quality), "-optimize"]
    if progressive:
        args.append("-progressive")
    if grey:
        args.append("-grayscale")
    else:
        args += ["-sample", sample]
    return subprocess.run(args, input=netpbm(rows, grey), stdout=subprocess.PIPE, check=True).stdout


def segment(marker, payload):
    return bytes((0xFF, marker)) + struct.pack(">H", len(payload) + 2) + payload


def adobe_segment(transform):
    # "Adobe", version 100, no flags; transform 1 = YCbCr, 0 = none (grey).
    return segment(0xEE, b"Adobe" + struct.pack(">HHHB", 100, 0, 0, transform))


def icc_segment(profile):
    return segment(0xE2, b"ICC_PROFILE\0" + bytes((1, 1)) + profile)


def comment_segment(text):
    return segment(0xFE, text.encode("latin-1"))


def with_markers(jpeg, jfif=True, extra=()):
    """Rebuilds the marker run after SOI: JFIF kept or dropped, then the extra
    segments, then the rest of the file unchanged."""
    assert jpeg[:2] == b"\xff\xd8"
    pos = 2
    head = []
    while jpeg[pos] == 0xFF and 0xE0 <= jpeg[pos + 1] <= 0xEF:
        length = struct.unpack(">H", jpeg[pos + 2: pos + 4])[0]
        head.append(jpeg[pos: pos + 2 + length])
        pos += 2 + length
    kept = [s for s in head if jfif and s[1] == 0xE0 and s[4:9] == b"JFIF\0"]
    return b"\xff\xd8" + b"".join(kept) + b"".join(extra) + jpeg[pos:]


def s15(v):
    return struct.pack(">i", round(v * 65536))


def srgb_profile():
    """A small ICC version 2 display profile for sRGB (D50-adapted primaries,
    a 2.2 gamma curve), written here so no outside file is needed."""
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + s15(x) + s15(y) + s15(z)

    def desc(text):
        t = text.encode("ascii") + b"\0"
        return (b"desc\0\0\0\0" + struct.pack(">I", len(t)) + t
                + struct.pack(">II", 0, 0) + struct.pack(">HB", 0, 0) + b"\0" * 67)

    def text(t):
        return b"text\0\0\0\0" + t.encode("ascii") + b"\0"

    curve = b"curv\0\0\0\0" + struct.pack(">IH", 1, round(2.2 * 256)) + b"\0\0"
    tags = [
        (b"desc", desc("sRGB (Fragebogen)")),
        (b"cprt", text("No copyright, use freely")),
        (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
        (b"rXYZ", xyz(0.4361, 0.2225, 0.0139)),
        (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)),
        (b"bXYZ", xyz(0.1431, 0.0606, 0.7141)),
        (b"rTRC", curve),
        (b"gTRC", curve),
        (b"bTRC", curve),
    ]
    table_size = 4 + 12 * len(tags)
    offset = 128 + table_size
    table = struct.pack(">I", len(tags))
    body = b""
    shared = {}
    for sig, data in tags:
        if data in shared:
            off = shared[data]
        else:
            off = offset + len(body)
            shared[data] = off
            body += data + b"\0" * ((-len(data)) % 4)
        table += sig + struct.pack(">II", off, len(data))
    size = offset + len(body)
    header = (struct.pack(">I", size) + b"\0\0\0\0" + bytes((2, 0x10, 0, 0)) + b"mntrRGB XYZ "
              + struct.pack(">HHHHHH", 2002, 1, 1, 0, 0, 0) + b"acsp" + b"\0" * 4
              + struct.pack(">I", 0) + b"\0" * 8 + b"\0" * 8 + struct.pack(">I", 0)
              + s15(0.9642) + s15(1.0) + s15(0.8249) + b"\0" * 4 + b"\0" * 16 + b"\0" * 28)
    assert len(header) == 128
    return header + table + body


def surface(w, h, fmt=cairo.FORMAT_RGB24):
    return cairo.ImageSurface(fmt, w, h)
