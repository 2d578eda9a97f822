"""The twenty cartoons of the rating pages. Each is drawn at its exact pixel
size, encoded by cjpeg at the quality that brings it nearest to its
intended byte size, and given its application markers."""
import math

import imgio
from draw import INK, SKIN, SKY, GRASS, WHITE, Canvas, hexc

# name, width, height, progressive, greyscale, intended bytes, markers
# markers: "jfif", "adobe", "icc", "com"
TABLE = [
    ("bild001", 450, 346, False, False, 12715, ("jfif", "com")),
    ("bild004", 441, 545, False, False, 50425, ("jfif",)),
    ("bild006", 391, 293, False, False, 21264, ("jfif",)),
    ("bild007", 417, 381, False, False, 36283, ("jfif", "icc")),
    ("bild010", 320, 400, False, False, 24122, ("jfif",)),
    ("bild011", 400, 301, True, False, 30567, ("jfif", "adobe")),
    ("bild012", 451, 385, True, False, 16516, ("jfif",)),
    ("bild014", 399, 246, True, False, 24415, ("jfif",)),
    ("bild015", 320, 287, True, False, 16862, ("jfif",)),
    ("bild018", 320, 281, True, False, 26143, ("jfif",)),
    ("bild020", 320, 210, True, False, 22553, ("jfif", "com")),
    ("bild027", 376, 390, True, False, 35844, ("jfif", "adobe")),
    ("bild031", 505, 430, True, False, 53371, ("jfif", "icc", "com")),
    ("bild033", 447, 308, True, False, 29779, ("jfif",)),
    ("bild044", 340, 343, True, False, 31853, ("adobe",)),
    ("bild051", 300, 369, False, False, 19033, ("jfif",)),
    ("bild053", 213, 276, True, False, 16121, ("jfif",)),
    ("bild055", 223, 303, True, True, 18136, ("jfif",)),
    ("bild057", 295, 459, True, False, 34095, ("jfif", "com")),
    ("bild059", 303, 592, True, False, 35266, ("jfif",)),
]


COMMENTS = {
    "bild001": "Humorstudie: Cartoon 1 (Schnecke)",
    "bild020": "Humorstudie: Cartoon 11 (Blutspende)",
    "bild031": "Humorstudie: Cartoon 13 (Quartalszahlen)",
    "bild057": "Humorstudie: Cartoon 19 (Gipfel)",
}

DRAWINGS = {}


def cartoon(name):
    def register(fn):
        DRAWINGS[name] = fn
        return fn
    return register


# ---------------------------------------------------------------------------
@cartoon("bild001")
def snail_speed_camera(c):
    bottom = c.caption("Geblitzt! Mit 0,03 km/h in der Spielstraße.", 15)
    road = bottom - 70
    c.ground(road, (0.62, 0.62, 0.64), SKY)
    c.line([(0, road + 35), (c.w, road + 35)], 3, WHITE)
    c.cloud(80, 50, 1.1)
    c.cloud(330, 35, 0.8)
    # The sign.
    c.rect(58, road - 150, 6, 150, (0.6, 0.6, 0.62))
    c.rect(22, road - 190, 78, 58, WHITE, INK, 2, r=4)
    c.text(61, road - 168, "Spielstraße", 11, INK, True, align="centre")
    c.text(61, road - 148, "Schritt-", 11, INK, align="centre")
    c.text(61, road - 137, "tempo", 11, INK, align="centre")
    # The speed camera, flashing.
    cx = 360
    c.rect(cx - 4, road - 120, 8, 120, (0.4, 0.4, 0.42))
    c.rect(cx - 22, road - 170, 44, 56, (0.85, 0.85, 0.82), INK, 2, r=3)
    c.circle(cx - 8, road - 150, 9, (0.2, 0.2, 0.25))
    for i in range(8):
        a = math.pi * 0.6 + i * math.pi / 9
        c.line([(cx - 8 + math.cos(a) * 16, road - 150 + math.sin(a) * 16),
                (cx - 8 + math.cos(a) * 30, road - 150 + math.sin(a) * 30)], 2.5, (1, 0.85, 0.1))
    # The snail, startled.
    sx, sy = 190, road + 30
    c.blob([(sx - 50, sy + 8), (sx - 40, sy - 2), (sx + 40, sy - 4), (sx + 62, sy - 30),
            (sx + 72, sy - 26), (sx + 62, sy + 4), (sx + 50, sy + 10)], (0.78, 0.9, 0.5))
    c.circle(sx, sy - 30, 30, (0.85, 0.55, 0.3))
    c.ctx.new_path()
    for i in range(60):
        a = i * 0.3
        r = 26 - i * 0.42
        p = (sx + math.cos(a) * r, sy - 30 + math.sin(a) * r)
        if i == 0:
            c.ctx.move_to(*p)
        else:
            c.ctx.line_to(*p)
    c.ctx.set_source_rgb(*INK)
    c.ctx.set_line_width(2)
    c.ctx.stroke()
    for dx in (0, 12):
        c.line([(sx + 60 + dx * 0.3, sy - 28), (sx + 62 + dx, sy - 56)], 2)
        c.circle(sx + 62 + dx, sy - 58, 5, WHITE, INK, 1.5)
        c.circle(sx + 63 + dx, sy - 58, 2, INK, None)
    c.ellipse(sx + 68, sy - 12, 3, 4, (0.5, 0.1, 0.1), INK, 1.2)
    c.line([(sx - 70, sy - 20), (sx - 95, sy - 20)], 2, (0.5, 0.5, 0.5))
    c.line([(sx - 70, sy - 8), (sx - 100, sy - 8)], 2, (0.5, 0.5, 0.5))


@cartoon("bild006")
def goldfish(c):
    bottom = c.caption("„Draußen soll alles voller Luft sein. Gruselig!“", 14)
    c.rect(0, 0, c.w, bottom, hexc("f3e6cf"), None)
    # A shelf with the bowl.
    c.rect(0, bottom - 40, c.w, 40, hexc("a8773f"), INK, 2)
    c.hatch(0, bottom - 40, c.w, 40, 7, hexc("7a5228"), 1, 20)
    cx, cy, r = c.w / 2, bottom - 118, 88
    c.ellipse(cx, cy, r, r * 0.92, hexc("d6eefc"), INK, 2.5)
    c.ctx.save()
    c.ellipse(cx, cy, r - 1, r * 0.92 - 1, None, None)
    c.ctx.new_path()
    c.ctx.translate(cx, cy)
    c.ctx.scale(r - 2, r * 0.92 - 2)
    c.ctx.arc(0, 0, 1, 0, 2 * math.pi)
    c.ctx.restore()
    c.ctx.save()
    c.ctx.clip()
    c.rect(cx - r, cy - 30, 2 * r, 2 * r, hexc("8fcdf2"), None)
    c.line([(cx - r, cy - 30), (cx + r, cy - 30)], 2, hexc("3f8cc4"))
    c.rect(cx - r, cy + 58, 2 * r, 40, hexc("d9c08a"), None)
    for i in range(14):
        c.circle(cx - 70 + i * 11, cy + 66 + (i * 7) % 9, 4, hexc("bfa46d"), INK, 1)
    c.ctx.restore()
    c.ellipse(cx, cy - r * 0.92 + 10, 48, 9, hexc("f3e6cf"), INK, 2)
    # Weed.
    for k, x in enumerate((cx - 55, cx + 50)):
        c.curve((x, cy + 62), (x - 12, cy + 30), (x + 14, cy + 20), (x - 4 - k * 4, cy - 5), 4, hexc("3f8f3a"))

    def fish(x, y, face, colour):
        c.poly([(x - 26 * face, y), (x - 42 * face, y - 12), (x - 40 * face, y + 12)], colour)
        c.ellipse(x, y, 28, 17, colour)
        c.poly([(x - 6 * face, y - 15), (x + 6 * face, y - 24), (x + 10 * face, y - 14)], colour)
        c.circle(x + 14 * face, y - 4, 5.5, WHITE, INK, 1.3)
        c.circle(x + 16 * face, y - 4, 2.5, INK, None)
        c.ellipse(x + 25 * face, y + 5, 3, 2.2, hexc("8a1a0a"), INK, 1)

    fish(cx - 35, cy + 15, 1, hexc("f59a1b"))
    fish(cx + 38, cy + 28, -1, hexc("f2c023"))
    for i, (bx, by) in enumerate(((cx + 8, cy - 2), (cx + 2, cy - 14), (cx + 10, cy - 24))):
        c.circle(bx, by, 2 + i, None, WHITE, 1.2)
    # A cat's tail swings into the picture: the real danger is outside.
    c.curve((c.w, 40), (c.w - 50, 50), (c.w - 30, 120), (c.w - 62, 150), 12, hexc("555555"))
    c.curve((c.w, 40), (c.w - 50, 50), (c.w - 30, 120), (c.w - 62, 150), 8, hexc("888888"))


@cartoon("bild012")
def cat_and_cup(c):
    bottom = c.caption("„Die war schon kaputt, als ich sie runtergeworfen hab.“", 14)
    floor = bottom - 80
    c.rect(0, 0, c.w, floor, hexc("f7efd9"), None)
    c.rect(0, floor, c.w, bottom - floor, hexc("d9b98c"), None)
    c.line([(0, floor), (c.w, floor)], 2)
    # A picture on the wall, hanging crooked already.
    c.poly([(300, 40), (392, 50), (386, 116), (294, 106)], hexc("c9a26b"), INK, 3)
    c.poly([(308, 50), (382, 58), (377, 108), (303, 99)], hexc("bfe3f2"), INK, 1.5)
    c.poly([(312, 96), (335, 70), (350, 88), (362, 76), (376, 104)], hexc("7fb069"), INK, 1.5)
    # Table.
    tx, tw = 40, 200
    c.table(tx, floor - 110, tw, hexc("9c6b3c"), 110)
    # Cat sits on the table, a paw on the next cup at the edge.
    x, y = 150, floor - 116
    c.curve((x - 28, y - 10), (x - 60, y - 2), (x - 70, y - 40), (x - 52, y - 54), 9, INK)
    c.curve((x - 28, y - 10), (x - 60, y - 2), (x - 70, y - 40), (x - 52, y - 54), 6, hexc("ef9f45"))
    c.ellipse(x, y - 34, 32, 36, hexc("ef9f45"))
    cup_x = tx + tw - 16
    c.rect(cup_x - 14, y - 26, 24, 26, WHITE, INK, 2, r=3)
    c.ellipse(cup_x + 12, y - 14, 7, 7, None, INK, 2, -math.pi / 2, math.pi / 2)
    c.line([(cup_x - 10, y - 18), (cup_x + 6, y - 18)], 3, hexc("d23b3b"))
    c.line([(x + 20, y - 48), (cup_x - 18, y - 22)], 9, INK)
    c.line([(x + 20, y - 48), (cup_x - 18, y - 22)], 6, hexc("ef9f45"))
    c.circle(cup_x - 16, y - 21, 6, hexc("ef9f45"))
    c.circle(x + 6, y - 82, 24, hexc("ef9f45"))
    c.poly([(x - 14, y - 98), (x - 10, y - 122), (x + 4, y - 104)], hexc("ef9f45"))
    c.poly([(x + 10, y - 104), (x + 24, y - 120), (x + 28, y - 96)], hexc("ef9f45"))
    c.eyes(x + 7, y - 86, 5, (0.6, 0.1), 16)
    c.line([(x + 2, y - 74), (x + 7, y - 71), (x + 12, y - 74)], 1.5)
    for dy in (-76, -72):
        c.line([(x - 8, y + dy), (x - 26, y + dy - 3)], 1)
        c.line([(x + 22, y + dy), (x + 40, y + dy - 3)], 1)
    # The shards of the first cup below.
    for (px, py, a) in ((290, floor + 30, 0.3), (320, floor + 42, 1.4), (268, floor + 48, 2.4),
                        (345, floor + 24, 3.0)):
        pts = [(px + 14 * math.cos(a + k * 2.1), py + 8 * math.sin(a + k * 2.1)) for k in range(3)]
        c.poly(pts, WHITE, INK, 1.5)
    c.ellipse(310, floor + 56, 40, 8, hexc("8a5a2b"), None)
    c.ellipse(286, floor + 20, 8, 8, None, INK, 2, -math.pi / 2, math.pi / 2)


def cow(c, x, y, face=1, s=1.0, spots=True):
    """A cow standing with hooves on y."""
    c.rect(x - 40 * s, y - 70 * s, 80 * s, 42 * s, WHITE, INK, 2, r=14 * s)
    if spots:
        c.blob([(x - 20 * s, y - 66 * s), (x - 4 * s, y - 62 * s), (x - 8 * s, y - 46 * s), (x - 26 * s, y - 50 * s)],
               INK, None)
        c.blob([(x + 12 * s, y - 52 * s), (x + 30 * s, y - 56 * s), (x + 28 * s, y - 38 * s), (x + 14 * s, y - 36 * s)],
               INK, None)
    for dx in (-30, -18, 18, 30):
        c.rect(x + dx * s - 4 * s, y - 32 * s, 8 * s, 32 * s, WHITE, INK, 2)
        c.rect(x + dx * s - 4 * s, y - 6 * s, 8 * s, 6 * s, INK, None)
    c.curve((x - 40 * s * face, y - 62 * s), (x - 52 * s * face, y - 50 * s), (x - 50 * s * face, y - 36 * s),
            (x - 48 * s * face, y - 30 * s), 2)
    c.ellipse(x + 22 * s * face, y - 28 * s, 9 * s, 6 * s, hexc("f4b6c2"), INK, 1.5)
    hx, hy = x + 46 * s * face, y - 76 * s
    c.poly([(hx - 8 * s, hy - 14 * s), (hx - 14 * s, hy - 28 * s), (hx - 2 * s, hy - 18 * s)], hexc("e8e0c8"))
    c.poly([(hx + 8 * s, hy - 14 * s), (hx + 14 * s, hy - 28 * s), (hx + 2 * s, hy - 18 * s)], hexc("e8e0c8"))
    c.ellipse(hx - 20 * s, hy - 8 * s, 10 * s, 5 * s, WHITE, INK, 2)
    c.ellipse(hx + 20 * s, hy - 8 * s, 10 * s, 5 * s, WHITE, INK, 2)
    c.ellipse(hx, hy, 18 * s, 22 * s, WHITE)
    c.ellipse(hx, hy + 14 * s, 16 * s, 11 * s, hexc("f4b6c2"))
    c.circle(hx - 6 * s, hy + 14 * s, 2.5 * s, INK, None)
    c.circle(hx + 6 * s, hy + 14 * s, 2.5 * s, INK, None)
    c.eyes(hx, hy - 6 * s, 4.5 * s, (0.4 * face, 0.1), 16 * s)


@cartoon("bild014")
def two_cows(c):
    bottom = c.h
    hor = 120
    c.ground(hor, GRASS, SKY)
    c.sun(350, 40, 18)
    # Hills and a barn.
    c.blob([(-20, hor), (60, hor - 40), (160, hor - 20), (240, hor - 46), (330, hor - 18), (420, hor - 30),
            (420, hor + 2), (-20, hor + 2)], hexc("8cc25d"), INK, 1.5)
    c.rect(300, hor - 62, 60, 56, hexc("c0392b"))
    c.poly([(294, hor - 62), (330, hor - 88), (366, hor - 62)], hexc("8e2a20"))
    c.rect(320, hor - 34, 20, 28, hexc("6e1f17"))
    # Fence.
    for i in range(14):
        c.rect(6 + i * 30, hor - 10, 6, 44, hexc("b98b55"), INK, 1.5)
    c.line([(0, hor + 2), (c.w, hor + 2)], 4, hexc("b98b55"))
    c.line([(0, hor + 20), (c.w, hor + 20)], 4, hexc("b98b55"))
    for i in range(40):
        gx = (i * 53) % c.w
        gy = hor + 40 + (i * 29) % (bottom - hor - 50)
        c.line([(gx, gy), (gx - 3, gy - 7)], 1.2, hexc("3f7a2a"))
        c.line([(gx, gy), (gx + 3, gy - 7)], 1.2, hexc("3f7a2a"))
    cow(c, 110, 228, 1, 1.0)
    cow(c, 290, 232, -1, 1.0)
    c.bubble(30, 16, 70, "Muh.", (150, 118), 14, True)
    c.bubble(180, 12, 150, "Genau das wollte ich auch gerade sagen!", (252, 120), 13)


def sheep(c, x, y, s=1.0, lying=False):
    wool = WHITE
    if lying:
        pts = [(x - 40 * s, y), (x - 46 * s, y - 18 * s), (x - 30 * s, y - 32 * s), (x - 8 * s, y - 38 * s),
               (x + 16 * s, y - 36 * s), (x + 36 * s, y - 26 * s), (x + 40 * s, y - 6 * s), (x + 10 * s, y + 4 * s)]
    else:
        pts = [(x - 36 * s, y - 20 * s), (x - 40 * s, y - 42 * s), (x - 20 * s, y - 56 * s), (x + 4 * s, y - 58 * s),
               (x + 28 * s, y - 52 * s), (x + 38 * s, y - 34 * s), (x + 28 * s, y - 18 * s), (x - 10 * s, y - 14 * s)]
        for dx in (-22, -10, 12, 24):
            c.rect(x + dx * s - 3 * s, y - 20 * s, 6 * s, 20 * s, INK, None)
    c.blob(pts, wool, INK, 2)
    for i in range(5):
        cx = x - 26 * s + i * 13 * s
        c.ellipse(cx, y - (30 if lying else 40) * s, 6 * s, 5 * s, None, INK, 1, 0.4, 2.8)


@cartoon("bild015")
def sheep_counting(c):
    bottom = c.caption("Schlaflos auf der Weide", 14)
    c.rect(0, 0, c.w, bottom, hexc("1f2a5a"), None)
    for i in range(18):
        c.circle((i * 71) % c.w, 12 + (i * 37) % 90, 1.6, hexc("fff6c0"), None)
    c.circle(40, 40, 18, hexc("fff3b0"), INK, 1.5)
    c.circle(48, 34, 15, hexc("1f2a5a"), None)
    floor = bottom - 24
    c.rect(0, floor, c.w, bottom - floor, hexc("2f5a2a"), None)
    c.line([(0, floor), (c.w, floor)], 2)
    # The sheep under a blanket on a straw bed, wide awake.
    c.rect(70, floor - 40, 190, 32, hexc("e3c46a"), INK, 2, r=6)
    for i in range(20):
        c.line([(78 + i * 9, floor - 36), (84 + i * 9, floor - 12)], 1.2, hexc("b39234"))
    c.rect(120, floor - 66, 140, 40, hexc("c85a7c"), INK, 2, r=10)
    for i in range(6):
        c.line([(130 + i * 22, floor - 64), (130 + i * 22, floor - 28)], 3, hexc("e8a0b8"))
    hx, hy = 104, floor - 58
    c.ellipse(hx + 18, hy - 12, 20, 16, WHITE, INK, 2)
    c.ellipse(hx, hy, 16, 20, hexc("3a3a3a"))
    c.ellipse(hx - 14, hy - 10, 10, 5, hexc("3a3a3a"))
    c.ellipse(hx + 14, hy - 10, 10, 5, hexc("3a3a3a"))
    c.eyes(hx, hy - 4, 5.5, (0.3, -0.5), 14)
    c.line([(hx - 4, hy + 10), (hx + 4, hy + 10)], 1.5, WHITE)
    # The thought: people jumping over a fence.
    bx, by, bw, bh = 110, 10, 196, 108
    c.ellipse(bx + bw / 2, by + bh / 2, bw / 2, bh / 2, WHITE, INK, 2)
    for i, r in enumerate((3, 5, 7)):
        c.circle(hx + 18 + i * 12, hy - 34 - i * 14, r, WHITE, INK, 1.5)
    fx = bx + bw / 2
    fy = by + 98
    for k in range(3):
        c.rect(fx - 24 + k * 20, fy - 22, 4, 22, hexc("b98b55"), INK, 1)
    c.line([(fx - 28, fy - 16), (fx + 24, fy - 16)], 2.5, hexc("b98b55"))
    # A small jumper in mid-air.
    px, py = fx, fy - 36
    c.circle(px + 6, py - 10, 5, SKIN, INK, 1.2)
    c.line([(px + 4, py - 5), (px - 4, py + 6)], 4, hexc("3b6fc2"))
    c.line([(px - 4, py + 6), (px - 16, py + 2)], 2.5, hexc("333333"))
    c.line([(px - 4, py + 6), (px + 6, py + 12)], 2.5, hexc("333333"))
    c.line([(px + 2, py - 2), (px + 14, py - 8)], 2, hexc("3b6fc2"))
    c.text(fx, by + 26, "… 41 Menschen,", 11, INK, False, True, "centre")
    c.text(fx, by + 40, "42 Menschen …", 11, INK, False, True, "centre")


def penguin(c, x, y, s=1.0, face=1):
    c.ellipse(x, y - 40 * s, 24 * s, 40 * s, hexc("1d1d24"))
    c.ellipse(x + 4 * s * face, y - 36 * s, 15 * s, 30 * s, WHITE, None)
    c.circle(x + 2 * s * face, y - 84 * s, 16 * s, hexc("1d1d24"))
    c.ellipse(x + 6 * s * face, y - 82 * s, 9 * s, 10 * s, WHITE, None)
    c.circle(x + 8 * s * face, y - 86 * s, 2.5 * s, INK, None)
    c.poly([(x + 14 * s * face, y - 82 * s), (x + 28 * s * face, y - 78 * s), (x + 14 * s * face, y - 74 * s)],
           hexc("f2a516"), INK, 1.5)
    c.ellipse(x - 6 * s, y, 10 * s, 4 * s, hexc("f2a516"), INK, 1.5)
    c.ellipse(x + 10 * s, y, 10 * s, 4 * s, hexc("f2a516"), INK, 1.5)
    c.ellipse(x - 22 * s * face, y - 44 * s, 6 * s, 20 * s, hexc("1d1d24"))


@cartoon("bild018")
def penguin_tailor(c):
    bottom = c.h
    floor = bottom - 50
    c.rect(0, 0, c.w, floor, hexc("efe4d0"), None)
    for i in range(0, c.w, 16):
        c.line([(i, 0), (i, floor)], 1, hexc("e2d3b8"))
    c.rect(0, floor, c.w, bottom - floor, hexc("9a7a5a"), None)
    c.hatch(0, floor, c.w, bottom - floor, 10, hexc("7d5f42"), 1.2, 0)
    c.line([(0, floor), (c.w, floor)], 2)
    c.text(c.w / 2, 26, "HERRENMODE", 16, hexc("7a2b2b"), True, align="centre")
    # A rail of suits, every one black and white.
    c.line([(14, 80), (200, 80)], 4, hexc("777777"))
    for i in range(6):
        sx = 30 + i * 30
        c.line([(sx, 80), (sx, 88)], 2)
        c.poly([(sx - 14, 88), (sx + 14, 88), (sx + 16, 150), (sx - 16, 150)], hexc("1d1d24"), INK, 1.5)
        c.poly([(sx - 5, 88), (sx + 5, 88), (sx, 118)], WHITE, INK, 1)
        c.poly([(sx - 2, 92), (sx + 2, 92), (sx, 96)], hexc("c0392b"), None)
    c.line([(110, 80), (110, floor)], 3, hexc("777777"))
    # The tailor, tape round his neck.
    c.person(255, floor, 150, hexc("6d8fbf"), hexc("3a3a44"), hexc("888888"), -1, "smile", "hips", glasses=True)
    hx, hy, hr = c.head
    c.curve((hx - 10, hy + hr + 2), (hx - 14, hy + 40), (hx - 4, hy + 44), (hx - 2, hy + 56), 3, hexc("e6c44a"))
    c.curve((hx + 10, hy + hr + 2), (hx + 14, hy + 40), (hx + 6, hy + 44), (hx + 8, hy + 52), 3, hexc("e6c44a"))
    penguin(c, 150, floor + 8, 1.0, 1)
    c.bubble(8, 160, 112, "Haben Sie den auch in Blau?", (130, 152), 12)


@cartoon("bild020")
def vampire_blood(c):
    bottom = c.h
    floor = bottom - 30
    c.rect(0, 0, c.w, floor, hexc("e9f1f4"), None)
    for y in range(0, int(floor), 16):
        c.line([(0, y), (c.w, y)], 1, hexc("c6d6dc"))
        for x in range(0 if (y // 16) % 2 else 8, c.w, 16):
            c.line([(x, y), (x, y + 16)], 1, hexc("c6d6dc"))
    c.rect(0, floor, c.w, bottom - floor, hexc("b8c4c8"), None)
    c.hatch(0, floor, c.w, bottom - floor, 7, hexc("98a4a8"), 1, 160)
    c.line([(0, floor), (c.w, floor)], 2)
    # Desk with the nurse.
    c.person(262, floor - 10, 120, WHITE, hexc("c8d8e8"), hexc("d8a848"), -1, "open", "down")
    c.rect(200, floor - 60, 115, 60, hexc("d6dde0"), INK, 2)
    c.hatch(200, floor - 60, 115, 60, 8, hexc("b0bcc0"), 1, 90)
    c.rect(210, floor - 44, 95, 22, WHITE, INK, 1.5, r=3)
    c.text(257, floor - 28, "BLUTSPENDE", 11, hexc("c0262d"), True, align="centre")
    c.rect(286, floor - 74, 24, 14, hexc("c0262d"), INK, 1.5, r=3)
    c.rect(200, 20, 12, 30, hexc("c0262d"), None)
    c.rect(191, 29, 30, 12, hexc("c0262d"), None)
    # The vampire, cape and all.
    vx = 70
    c.poly([(vx - 34, floor), (vx - 16, floor - 92), (vx + 16, floor - 92), (vx + 34, floor)], hexc("1a1a22"))
    c.poly([(vx - 16, floor - 92), (vx - 30, floor - 110), (vx - 8, floor - 96)], hexc("a01822"))
    c.poly([(vx + 16, floor - 92), (vx + 30, floor - 110), (vx + 8, floor - 96)], hexc("a01822"))
    c.circle(vx + 2, floor - 106, 14, hexc("d9e2d0"))
    c.poly([(vx - 12, floor - 114), (vx + 2, floor - 106), (vx + 14, floor - 114), (vx + 14, floor - 122),
            (vx - 12, floor - 122)], hexc("1a1a22"), None)
    c.circle(vx - 2, floor - 108, 2, INK, None)
    c.circle(vx + 8, floor - 108, 2, INK, None)
    c.line([(vx - 2, floor - 99), (vx + 10, floor - 99)], 1.5)
    c.poly([(vx + 1, floor - 99), (vx + 3, floor - 94), (vx + 5, floor - 99)], WHITE, INK, 1)
    c.poly([(vx + 6, floor - 99), (vx + 8, floor - 94), (vx + 10, floor - 99)], WHITE, INK, 1)
    c.bubble(104, 12, 140, "Ich will nichts spenden. Ich will abholen.", (90, 90), 12)


@cartoon("bild053")
def ghost_mirror(c):
    bottom = c.caption("„Ich seh heute so blass aus.“", 13)
    c.rect(0, 0, c.w, bottom, hexc("5a4a6a"), None)
    for i in range(0, c.w, 18):
        c.line([(i, 0), (i, bottom)], 1, hexc("4e405e"))
    c.rect(0, bottom - 30, c.w, 30, hexc("6b4a2f"), INK, 2)
    # The mirror.
    c.ellipse(150, 100, 48, 66, hexc("c9a14a"), INK, 2.5)
    c.ellipse(150, 100, 40, 58, hexc("dfeef2"), INK, 1.5)
    c.line([(130, 60), (140, 52)], 2, WHITE)
    c.line([(126, 72), (146, 54)], 2, WHITE)
    c.ellipse(154, 108, 22, 30, WHITE, hexc("9aa8b0"), 1.5)
    c.circle(146, 102, 3, INK, None)
    c.circle(160, 102, 3, INK, None)
    # The ghost.
    gx, gy = 62, bottom - 50
    c.blob([(gx - 32, gy + 10), (gx - 36, gy - 60), (gx - 16, gy - 104), (gx + 14, gy - 106), (gx + 34, gy - 70),
            (gx + 38, gy + 6), (gx + 22, gy - 4), (gx + 8, gy + 12), (gx - 8, gy - 2), (gx - 20, gy + 12)], WHITE)
    c.circle(gx + 4, gy - 74, 4, INK, None)
    c.circle(gx + 20, gy - 74, 4, INK, None)
    c.ellipse(gx + 14, gy - 58, 5, 7, INK, None)
    c.curve((gx + 30, gy - 50), (gx + 50, gy - 60), (gx + 58, gy - 66), (gx + 64, gy - 78), 3, INK)


@cartoon("bild055")
def zebra_crossing(c):
    bottom = c.caption("„Tarnung ist alles.“", 14)
    c.rect(0, 0, c.w, bottom, hexc("d8d8d8"), None)
    # Houses behind the street.
    c.rect(10, 20, 80, 120, hexc("a8a8a8"), INK, 2)
    c.rect(120, 40, 90, 100, hexc("bcbcbc"), INK, 2)
    for (wx, wy) in ((22, 36), (56, 36), (22, 80), (56, 80), (134, 56), (172, 56), (134, 96), (172, 96)):
        c.rect(wx, wy, 20, 24, hexc("707070"), INK, 1.5)
    road_top, road_bot = 140, bottom - 24
    c.rect(0, road_top, c.w, road_bot - road_top, hexc("4a4a4a"), INK, 2)
    c.rect(0, road_bot, c.w, bottom - road_bot, hexc("9a9a9a"), INK, 2)
    pitch, bar = 24, 12
    for i in range(10):
        c.rect(4 + i * pitch, road_top + 8, bar, road_bot - road_top - 16, WHITE, None)
    # The zebra stands on the crossing, its stripes just where the crossing's are.
    zx0, zx1, zy0, zy1 = 30, 150, road_top + 22, road_top + 70
    c.ctx.save()
    c.rect(zx0, zy0, zx1 - zx0, zy1 - zy0, None, None, 0, r=20)
    c.ctx.new_path()
    c.ctx.rectangle(zx0, zy0, zx1 - zx0, zy1 - zy0)
    c.ctx.clip()
    c.rect(zx0, zy0, zx1 - zx0, zy1 - zy0, hexc("4a4a4a"), None)
    for i in range(10):
        c.rect(4 + i * pitch, zy0, bar, zy1 - zy0, WHITE, None)
    c.ctx.restore()
    for lx in (42, 64, 118, 138):
        c.rect(lx - 4, zy1 - 4, 8, road_bot - zy1 - 2, WHITE, INK, 1.2)
        for k in range(3):
            c.rect(lx - 4, zy1 + 2 + k * 8, 8, 3, INK, None)
        c.rect(lx - 4, road_bot - 8, 8, 6, INK, None)
    c.curve((zx0 + 2, zy0 + 8), (zx0 - 12, zy0 + 10), (zx0 - 14, zy0 + 30), (zx0 - 10, zy0 + 40), 2)
    c.rect(zx0, zy0, zx1 - zx0, zy1 - zy0, None, INK, 1, r=20)
    # Neck and head: the only part that does not blend in.
    nx, ny = zx1 - 10, zy0 + 6
    c.poly([(nx - 14, ny), (nx + 10, ny), (nx + 26, ny - 62), (nx + 6, ny - 68)], WHITE, INK, 2)
    for k in range(5):
        t = k / 5
        c.line([(nx - 12 + t * 20, ny - 6 - t * 62), (nx + 8 + t * 18, ny - 6 - t * 58)], 4)
    c.hatch(nx - 16, ny - 74, 12, 60, 3, INK, 2, 90)
    hx, hy = nx + 22, ny - 74
    c.ctx.save()
    c.ctx.translate(hx, hy)
    c.ctx.rotate(math.radians(35))
    c.ellipse(14, 0, 26, 12, WHITE, INK, 2)
    c.ellipse(34, 0, 9, 10, hexc("3a3a3a"))
    for k in range(3):
        c.line([(2 + k * 8, -11), (2 + k * 8, 11)], 3)
    c.circle(-2, -4, 3, INK, None)
    c.poly([(-8, -10), (-14, -26), (-2, -12)], WHITE, INK, 1.5)
    c.poly([(-2, -11), (2, -26), (6, -11)], WHITE, INK, 1.5)
    c.circle(36, -3, 1.6, WHITE, None)
    c.ctx.restore()


@cartoon("bild010")
def snowman_travel(c):
    bottom = c.h
    floor = bottom - 60
    c.rect(0, 0, c.w, floor, hexc("fbe7c0"), None)
    c.rect(0, floor, c.w, bottom - floor, hexc("a0705a"), None)
    c.line([(0, floor), (c.w, floor)], 2)
    c.text(c.w / 2, 26, "REISEBÜRO SONNENSCHEIN", 13, hexc("c0392b"), True, align="centre")
    # A poster of Mallorca.
    px, py = 14, 38
    c.rect(px, py, 110, 62, hexc("8fd3f4"), INK, 2)
    c.rect(px, py + 36, 110, 26, hexc("f5d78e"), None)
    c.rect(px, py, 110, 62, None, INK, 2)
    c.sun(px + 88, py + 18, 8)
    c.text(px + 55, py + 56, "Mallorca", 14, hexc("c0392b"), True, align="centre")
    # Counter with the travel agent behind it.
    c.person(250, floor - 30, 150, hexc("2e8b57"), hexc("333333"), hexc("8b4513"), -1, "smile", "down", skirt=True)
    c.rect(190, floor - 84, 130, 84, hexc("d4a25a"), INK, 2)
    c.hatch(190, floor - 84, 130, 84, 10, hexc("b88640"), 1, 90)
    # The snowman with a suitcase.
    sx = 90
    c.circle(sx, floor - 32, 34, WHITE)
    c.circle(sx, floor - 86, 26, WHITE)
    c.circle(sx, floor - 130, 20, WHITE)
    c.rect(sx - 20, floor - 152, 40, 4, INK, None)
    c.rect(sx - 13, floor - 174, 26, 22, INK, None)
    c.circle(sx - 7, floor - 134, 2.5, INK, None)
    c.circle(sx + 7, floor - 134, 2.5, INK, None)
    c.poly([(sx, floor - 128), (sx + 24, floor - 124), (sx, floor - 122)], hexc("f08a24"), INK, 1)
    for i in range(5):
        c.circle(sx - 8 + i * 4, floor - 116 + abs(i - 2) * -1.5, 1.5, INK, None)
    for i in range(3):
        c.circle(sx, floor - 98 + i * 12, 3, INK, None)
    c.line([(sx + 24, floor - 92), (sx + 54, floor - 70)], 3, hexc("6b4a2f"))
    c.line([(sx - 24, floor - 92), (sx - 52, floor - 110)], 3, hexc("6b4a2f"))
    c.rect(sx + 40, floor - 68, 44, 34, hexc("8e44ad"), INK, 2, r=4)
    c.rect(sx + 56, floor - 74, 12, 6, None, INK, 2)
    for i in range(4):
        c.curve((sx + 36 + i * 10, floor), (sx + 34 + i * 10, floor + 8), (sx + 40 + i * 10, floor + 10),
                (sx + 38 + i * 10, floor + 18), 2, hexc("6fb4e0"))
    c.bubble(150, 44, 160, "Hin- und Rückflug?", (240, 176), 12)
    c.bubble(12, 112, 156, "Nur hin. Zurück komme ich als Regen.", (84, 180), 12)


def giraffe(c, x, feet, neck_top, face=1):
    """A giraffe with its body on the right of x and its head at neck_top."""
    body = hexc("f2c14e")
    spot = hexc("b86b1f")
    for dx in (-30, -14, 34, 48):
        c.rect(x + dx - 5, feet - 110, 10, 110, body, INK, 2)
        c.rect(x + dx - 5, feet - 8, 10, 8, INK, None)
    c.rect(x - 44, feet - 170, 110, 70, body, INK, 2, r=26)
    c.curve((x + 64, feet - 160), (x + 84, feet - 150), (x + 84, feet - 120), (x + 80, feet - 100), 2)
    c.poly([(x - 38, feet - 150), (x - 10, feet - 160), (x - 2, neck_top + 30), (x - 26, neck_top + 34)], body, INK, 2)
    c.ctx.save()
    c.rect(x - 44, feet - 170, 110, 70, None, None)
    for i in range(12):
        px = x - 34 + (i * 37) % 96
        py = feet - 160 + (i * 23) % 52
        c.blob([(px, py), (px + 10, py - 2), (px + 12, py + 8), (px + 2, py + 11)], spot, None)
    for i in range(int((feet - 170 - neck_top) / 34)):
        t = (i + 0.5) / ((feet - 170 - neck_top) / 34)
        py = feet - 158 - t * (feet - 190 - neck_top)
        px = x - 24 + t * 12
        c.blob([(px - 5, py - 6), (px + 7, py - 4), (px + 6, py + 7), (px - 6, py + 5)], spot, None)
    c.ctx.restore()
    hx, hy = x - 14, neck_top + 14
    c.line([(hx - 6, hy - 14), (hx - 8, hy - 30)], 3)
    c.line([(hx + 8, hy - 14), (hx + 10, hy - 30)], 3)
    c.circle(hx - 8, hy - 32, 4, spot)
    c.circle(hx + 10, hy - 32, 4, spot)
    c.ellipse(hx - 24 * face, hy - 8, 12, 5, body)
    c.ellipse(hx, hy, 20, 18, body)
    c.ellipse(hx - 18 * face, hy + 8, 16, 12, hexc("f6d99a"))
    c.circle(hx - 24 * face, hy + 6, 2, INK, None)
    c.eyes(hx + 2, hy - 6, 4.5, (-0.4 * face, 0), 14)


@cartoon("bild004")
def giraffe_doctor(c):
    floor = c.h - 40
    c.rect(0, 0, c.w, floor, hexc("e6f0ec"), None)
    for y in range(0, int(floor), 22):
        c.line([(0, y), (c.w, y)], 1, hexc("c9d9d2"))
    for x in range(0, c.w, 22):
        c.line([(x, 0), (x, floor)], 1, hexc("c9d9d2"))
    c.rect(0, floor, c.w, c.h - floor, hexc("8aa0a8"), None)
    for x in range(-40, c.w, 30):
        c.line([(x, floor), (x + 40, c.h)], 1.5, hexc("6d848c"))
    c.line([(0, floor), (c.w, floor)], 2)
    # An eye chart and a certificate on the wall.
    c.rect(330, 110, 90, 130, WHITE, INK, 2)
    for i, (t, sz) in enumerate((("E", 30), ("F P", 20), ("T O Z", 14), ("L P E D", 10), ("P E C F D", 8))):
        c.text(375, 144 + i * 22 - (8 if i == 0 else 0), t, sz, INK, True, align="centre")
    c.rect(330, 270, 90, 64, hexc("fff8e0"), INK, 2)
    c.text(375, 292, "Dr. med.", 11, INK, True, align="centre")
    c.text(375, 308, "Hals-Nasen-", 10, INK, align="centre")
    c.text(375, 322, "Ohren", 10, INK, align="centre")
    c.circle(400, 332, 7, hexc("d4a017"))
    giraffe(c, 110, floor, 40, -1)
    # The ladder with the doctor on it.
    lx, ltop = 250, 150
    for dx in (0, 44):
        c.line([(lx + dx - 16 * (1 - 0), floor), (lx + dx, ltop)], 5, hexc("8a6a3a"))
    for i in range(1, 12):
        y = floor - i * (floor - ltop) / 12
        t = (floor - y) / (floor - ltop)
        c.line([(lx - 16 + 16 * t, y), (lx + 28 + 16 * t, y)], 4, hexc("8a6a3a"))
    c.person(272, ltop + 50, 130, WHITE, hexc("4a5a6a"), hexc("555555"), -1, "flat", "point", glasses=True)
    hx, hy = c.hands[0]
    c.curve((272, ltop - 22), (250, ltop + 10), (236, ltop - 10), (hx, hy), 2.5, hexc("555555"))
    c.circle(hx - 4, hy, 5, hexc("aaaaaa"), INK, 1.5)
    c.bubble(250, 20, 170, "Und wo genau tut es weh?", (268, 100), 13)
    c.bubble(150, 96, 110, "Im Hals.", (118, 70), 13)


@cartoon("bild007")
def castaway_parcel(c):
    bottom = c.caption("„Ihr Paket konnte nicht zugestellt werden. Nächster Versuch: morgen.“", 13)
    sea = 150
    c.rect(0, 0, c.w, sea, hexc("9fd6f2"), None)
    c.sun(360, 50, 22)
    c.cloud(90, 48, 1.0)
    c.cloud(220, 30, 0.7)
    c.rect(0, sea, c.w, bottom - sea, hexc("2f8fd0"), None)
    c.line([(0, sea), (c.w, sea)], 2)
    for i in range(26):
        wx = (i * 67) % (c.w + 20) - 10
        wy = sea + 14 + (i * 41) % (int(bottom) - sea - 20)
        c.ellipse(wx, wy, 10, 4, None, hexc("d8f0ff"), 1.5, math.pi, 2 * math.pi)
    # The island.
    c.ellipse(170, bottom - 64, 130, 40, hexc("f1d58a"), INK, 2)
    c.line([(100, bottom - 70), (110, bottom - 68)], 1.5, hexc("c9a85a"))
    c.line([(220, bottom - 60), (232, bottom - 62)], 1.5, hexc("c9a85a"))
    # The palm.
    px, py = 250, bottom - 80
    c.curve((px, py), (px + 6, py - 60), (px - 10, py - 120), (px - 2, py - 170), 12, hexc("8a5a2b"))
    for k in range(8):
        c.line([(px - 8 + k * 0.4, py - 20 - k * 18), (px + 4 + k * 0.4, py - 24 - k * 18)], 1.5, hexc("5a3a1a"))
    top = (px - 2, py - 170)
    for (dx, dy) in ((-70, 20), (-50, 50), (60, 24), (40, 54), (0, -30), (-60, -14)):
        c.curve(top, (top[0] + dx * 0.4, top[1] + dy * 0.2 - 20), (top[0] + dx * 0.8, top[1] + dy * 0.5 - 10),
                (top[0] + dx, top[1] + dy), 9, hexc("2f8a3a"))
    c.circle(top[0] - 6, top[1] + 8, 6, hexc("7a4a1a"))
    c.circle(top[0] + 6, top[1] + 10, 6, hexc("7a4a1a"))
    # The castaway, ragged, with a long beard, reading the note.
    x, feet = 150, bottom - 56
    c.person(x, feet, 120, hexc("e0d6c0"), hexc("6a7a8a"), hexc("6b4a2f"), 1, "frown", "hold")
    hx, hy, hr = c.head
    c.poly([(hx - 6, hy + 6), (hx + 14, hy + 4), (hx + 8, hy + 34), (hx + 2, hy + 30), (hx - 4, hy + 36)],
           hexc("6b4a2f"), INK, 1.5)
    c.poly([(x - 10, feet - 48), (x - 6, feet - 40), (x - 2, feet - 48), (x + 2, feet - 40), (x + 6, feet - 48)],
           hexc("6a7a8a"), INK, 1)
    nx, ny = c.hands[0]
    c.poly([(nx - 8, ny - 30), (nx + 22, ny - 34), (nx + 26, ny + 2), (nx - 4, ny + 6)], hexc("fffbe8"), INK, 1.5)
    for k in range(4):
        c.line([(nx - 2, ny - 22 + k * 7), (nx + 18, ny - 25 + k * 7)], 1.2, hexc("777777"))
    # The bottle it came in.
    c.ctx.save()
    c.ctx.translate(70, bottom - 46)
    c.ctx.rotate(-0.4)
    c.rect(-18, -8, 36, 16, hexc("7fc08a"), INK, 2, r=6)
    c.rect(18, -4, 12, 8, hexc("7fc08a"), INK, 2)
    c.rect(28, -5, 6, 10, hexc("b07a3a"), INK, 1.5)
    c.ctx.restore()


@cartoon("bild011")
def caveman_password(c):
    floor = c.h - 36
    c.rect(0, 0, c.w, floor, hexc("8b7765"), None)
    for i in range(30):
        rx = (i * 83) % c.w
        ry = (i * 47) % int(floor)
        c.blob([(rx, ry), (rx + 26, ry - 4), (rx + 30, ry + 14), (rx + 4, ry + 18)], hexc("9c8672"), hexc("6f5d4c"), 1.2)
    c.rect(0, floor, c.w, c.h - floor, hexc("6a5642"), None)
    c.line([(0, floor), (c.w, floor)], 2)
    # The wall with carved signs.
    c.blob([(150, 30), (380, 24), (392, 140), (160, 150)], hexc("c8b8a2"), INK, 2)
    for i, sym in enumerate(("~", "Δ", "O", "#", "&", "?")):
        c.text(180 + i * 32, 98, sym, 30, hexc("4a3a2a"), True)
    c.line([(176, 110), (372, 110)], 1.5, hexc("4a3a2a"))
    # The carver with hammer and chisel.
    x = 300
    c.person(x, floor, 120, hexc("c98a3a"), hexc("c98a3a"), hexc("3a2a1a"), -1, "frown", "point")
    hx, hy, hr = c.head
    c.hatch(hx - hr, hy - 6, 2 * hr, hr + 6, 3, hexc("3a2a1a"), 1.2, 80)
    px, py = c.hands[0]
    c.line([(px, py), (px - 16, py - 8)], 4, hexc("888888"))
    # The other, with a club, in charge of security.
    x2 = 90
    c.person(x2, floor, 130, hexc("7a9a3a"), hexc("7a9a3a"), hexc("2a1a0a"), 1, "open", "hold")
    for k in range(5):
        c.line([(x2 - 12 + k * 6, floor - 78), (x2 - 10 + k * 6, floor - 60)], 1.2, hexc("4a6a1a"))
    cx, cy = c.hands[0]
    c.line([(cx, cy), (cx + 6, cy - 44)], 9, hexc("7a4a1a"))
    c.circle(cx + 7, cy - 48, 9, hexc("7a4a1a"))
    # A fire for the cave's comfort.
    for (fx, col) in ((200, hexc("e25822")), (206, hexc("f3c623"))):
        c.blob([(fx - 16, floor), (fx - 10, floor - 28), (fx, floor - 46), (fx + 8, floor - 24), (fx + 16, floor)],
               col, INK, 1.5)
    c.bubble(10, 12, 180, "Das Passwort muss mindestens eine Ziffer enthalten.", (86, 124), 12)


@cartoon("bild027")
def fly_soup(c):
    floor = c.h - 50
    c.rect(0, 0, c.w, floor, hexc("f4e2c6"), None)
    for x in range(0, c.w, 28):
        c.rect(x, 0, 14, floor, hexc("efd6b2"), None)
    c.rect(0, floor, c.w, c.h - floor, hexc("7a4a2a"), None)
    c.hatch(0, floor, c.w, c.h - floor, 9, hexc("5e381e"), 1.2, 10)
    c.line([(0, floor), (c.w, floor)], 2)
    # Table with a cloth; the guest on the left, the waiter standing right.
    c.person(86, floor - 10, 118, hexc("3a5ba0"), hexc("2a2a3a"), hexc("2a2a2a"), 1, "open", "point",
             sitting=True, tie=hexc("c0392b"))
    c.chair(80, floor - 40, 1)
    ty = floor - 70
    c.poly([(120, ty), (300, ty), (310, ty + 36), (110, ty + 36)], WHITE, INK, 2)
    for k in range(8):
        c.rect(116 + k * 24, ty + 2, 12, 32, hexc("e8b0b0"), None)
    c.poly([(120, ty), (300, ty), (310, ty + 36), (110, ty + 36)], None, INK, 2)
    c.rect(150, ty + 36, 8, floor - ty - 36, hexc("7a5a3a"))
    c.rect(260, ty + 36, 8, floor - ty - 36, hexc("7a5a3a"))
    c.person(320, floor, 170, hexc("1d1d24"), hexc("1d1d24"), hexc("3a2a1a"), -1, "smile", "hold")
    hx, hy = c.hands[0]
    c.line([(hx - 2, hy - 4), (hx + 16, hy + 30)], 10, WHITE)
    # The soup, and the fly swimming in it.
    sx, sy = 206, ty - 4
    c.ellipse(sx, sy + 6, 40, 10, WHITE, INK, 2)
    c.ellipse(sx, sy, 32, 7, hexc("e3a33a"), INK, 1.5)
    c.ellipse(sx + 6, sy - 1, 8, 4, hexc("333333"), None)
    c.circle(sx + 14, sy - 3, 3.5, hexc("333333"), None)
    c.circle(sx + 15, sy - 4, 1.2, hexc("e23a3a"), None)
    c.ellipse(sx + 2, sy - 7, 6, 3, hexc("cfe8ff"), INK, 0.8)
    c.ellipse(sx + 9, sy - 8, 6, 3, hexc("cfe8ff"), INK, 0.8)
    c.line([(sx + 12, sy - 2), (sx + 18, sy - 12), (sx + 24, sy - 8)], 1.3)
    c.line([(sx + 2, sy), (sx - 4, sy - 8)], 1.3)
    for k in range(3):
        c.ellipse(sx - 8 - k * 7, sy + 1, 3.5, 1.4, None, WHITE, 1.2)
    c.line([(sx + 34, sy + 8), (sx + 56, sy - 20)], 2.5, hexc("999999"))
    c.bubble(10, 12, 190, "Herr Ober, in meiner Suppe schwimmt eine Fliege!", (80, 140), 12)
    c.bubble(186, 80, 180, "Das ist kein Schwimmen, mein Herr. Das ist Kraulen.", (300, 170), 12)


@cartoon("bild031")
def quarterly_chart(c):
    floor = c.h - 60
    c.rect(0, 0, c.w, floor, hexc("e8eef2"), None)
    # A window with the city.
    wx, wy, ww, wh = 20, 70, 170, 110
    c.rect(wx, wy, ww, wh, hexc("bcdcf2"), INK, 3)
    for i, (bx, bh) in enumerate(((28, 70), (58, 96), (96, 56), (122, 84), (152, 64))):
        c.rect(bx, wy + wh - bh, 28, bh, hexc("8a9aaa") if i % 2 else hexc("a2b0bc"), INK, 1.5)
        for k in range(int(bh / 16)):
            c.rect(bx + 5, wy + wh - bh + 6 + k * 16, 6, 8, hexc("f6e08a"), None)
            c.rect(bx + 16, wy + wh - bh + 6 + k * 16, 6, 8, hexc("f6e08a"), None)
    c.line([(wx + ww / 2, wy), (wx + ww / 2, wy + wh)], 3)
    c.rect(wx, wy, ww, wh, None, INK, 3)
    # The flip chart, hung upside down: now the line rises.
    fx, fy, fw, fh = 300, 30, 170, 150
    c.line([(fx + 20, fy + fh), (fx + 4, floor)], 4, hexc("666666"))
    c.line([(fx + fw - 20, fy + fh), (fx + fw - 4, floor)], 4, hexc("666666"))
    c.rect(fx, fy, fw, fh, WHITE, INK, 2)
    c.ctx.save()
    c.ctx.translate(fx + fw / 2, fy + fh / 2)
    c.ctx.rotate(math.pi)
    c.ctx.translate(-(fx + fw / 2), -(fy + fh / 2))
    c.line([(fx + 20, fy + 20), (fx + 20, fy + fh - 20), (fx + fw - 12, fy + fh - 20)], 2)
    pts = [(fx + 24, fy + 36), (fx + 50, fy + 46), (fx + 76, fy + 42), (fx + 100, fy + 76), (fx + 126, fy + 88),
           (fx + 150, fy + 118)]
    c.line(pts, 3.5, hexc("c0262d"))
    c.poly([(fx + 150, fy + 128), (fx + 144, fy + 112), (fx + 158, fy + 114)], hexc("c0262d"), None)
    c.text(fx + 90, fy + 16, "UMSATZ Q3", 12, INK, True, align="centre")
    c.ctx.restore()
    c.rect(0, floor, c.w, c.h - floor, hexc("c4ccd2"), None)
    c.hatch(0, floor, c.w, c.h - floor, 6, hexc("9aa6ae"), 1, 0)
    c.rect(0, floor, c.w, 3, INK, None)
    # The boss by the chart, pointing.
    c.person(262, floor, 150, hexc("2a2a3a"), hexc("2a2a3a"), hexc("aaaaaa"), 1, "grin", "point",
             tie=hexc("c0392b"), bald=True)
    # The table and the staff.
    ty = floor - 56
    for (x, shirt, hair, glasses) in ((60, hexc("6b9bd1"), hexc("6b4a2f"), False),
                                      (130, hexc("d17b6b"), hexc("e2b44a"), True),
                                      (196, hexc("7bbf7b"), hexc("222222"), False)):
        c.person(x, floor - 8, 120, shirt, hexc("333344"), hair, 1, "flat", "down", sitting=True, glasses=glasses)
    c.rect(20, ty, 220, 12, hexc("8a6a4a"))
    c.rect(30, ty + 12, 8, floor - ty - 12, hexc("6a4a2a"))
    c.rect(222, ty + 12, 8, floor - ty - 12, hexc("6a4a2a"))
    for x in (70, 140, 206):
        c.rect(x - 4, ty - 12, 12, 12, WHITE, INK, 1.5, r=2)
        c.poly([(x - 30, ty), (x - 6, ty), (x - 12, ty - 16), (x - 36, ty - 16)], hexc("b0b8c0"), INK, 1.5)
    c.bubble(12, 10, 270, "Die Zahlen sind schlecht? Dann hängen wir das Diagramm eben andersrum auf!",
             (256, 218), 13)


@cartoon("bild033")
def ufo_gnome(c):
    bottom = c.caption("Seit drei Stunden warten sie auf eine Antwort.", 14)
    hor = 150
    c.ground(hor, GRASS, hexc("243a6a"))
    for i in range(24):
        c.circle((i * 61) % c.w, 10 + (i * 29) % 120, 1.4, hexc("fff6c0"), None)
    c.circle(400, 40, 16, hexc("fff3b0"), INK, 1.5)
    # The house and fence.
    c.rect(20, hor - 80, 100, 80, hexc("d6c4a0"), INK, 2)
    c.poly([(10, hor - 80), (70, hor - 124), (130, hor - 80)], hexc("a0443a"))
    c.rect(40, hor - 60, 24, 24, hexc("f6e08a"), INK, 2)
    c.rect(80, hor - 50, 24, 50, hexc("6a4a2a"), INK, 2)
    for i in range(15):
        c.rect(140 + i * 21, hor - 26, 8, 30, WHITE, INK, 1.2)
    c.line([(136, hor - 14), (c.w, hor - 14)], 3, WHITE)
    for i in range(12):
        fx = 30 + (i * 37) % 400
        fy = hor + 40 + (i * 17) % int(bottom - hor - 50)
        c.line([(fx, fy), (fx, fy - 10)], 1.5, hexc("2a6a2a"))
        c.circle(fx, fy - 12, 4, (hexc("f24b4b"), hexc("f2d24b"), hexc("f2f2f2"))[i % 3], INK, 1)
    # The saucer, landed, with light beam.
    ux, uy = 300, hor + 30
    c.poly([(ux - 60, uy + 40), (ux - 30, uy - 4), (ux + 30, uy - 4), (ux + 60, uy + 40)], hexc("fff7b0"), None)
    c.line([(ux - 40, uy - 2), (ux - 56, uy + 36)], 4, hexc("777777"))
    c.line([(ux + 40, uy - 2), (ux + 56, uy + 36)], 4, hexc("777777"))
    c.ellipse(ux, uy - 26, 36, 26, hexc("bfeaf0"), INK, 2)
    c.ellipse(ux, uy - 8, 80, 18, hexc("b0b8c4"), INK, 2)
    for k in range(6):
        c.circle(ux - 55 + k * 22, uy - 6, 4, hexc("f2d24b"), INK, 1)
    # The alien, green, three eyes.
    ax, ay = 220, bottom - 40
    c.rect(ax - 12, ay - 50, 24, 46, hexc("7ed957"), INK, 2, r=10)
    c.line([(ax - 6, ay - 6), (ax - 8, ay + 6)], 5, hexc("7ed957"))
    c.line([(ax + 6, ay - 6), (ax + 8, ay + 6)], 5, hexc("7ed957"))
    c.line([(ax - 10, ay - 40), (ax - 36, ay - 50)], 4, hexc("7ed957"))
    c.circle(ax, ay - 70, 20, hexc("7ed957"))
    for dx in (-9, 0, 9):
        c.circle(ax + dx, ay - 74, 4, WHITE, INK, 1)
        c.circle(ax + dx - 1, ay - 74, 1.8, INK, None)
    c.line([(ax - 6, ay - 88), (ax - 12, ay - 104)], 2)
    c.circle(ax - 12, ay - 106, 3, hexc("f24b4b"), INK, 1)
    c.ellipse(ax, ay - 60, 5, 3, INK, None)
    # The garden gnome, silent as ever.
    gx, gy = 110, bottom - 30
    c.ellipse(gx, gy, 18, 5, hexc("777777"), INK, 1.5)
    c.rect(gx - 14, gy - 40, 28, 38, hexc("3a6ac0"), INK, 2, r=8)
    c.poly([(gx - 16, gy - 58), (gx, gy - 100), (gx + 16, gy - 58)], hexc("d63a2a"))
    c.circle(gx, gy - 52, 10, SKIN)
    c.poly([(gx - 12, gy - 48), (gx + 12, gy - 48), (gx, gy - 24)], WHITE, INK, 1.5)
    c.circle(gx - 4, gy - 54, 1.6, INK, None)
    c.circle(gx + 4, gy - 54, 1.6, INK, None)
    c.line([(gx + 12, gy - 30), (gx + 24, gy - 40), (gx + 24, gy)], 3, hexc("8a6a3a"))
    c.bubble(130, 12, 170, "Bring mich zu deinem Anführer!", (206, 94), 13)


def bird(c, x, y, colour, upside=False, face=1):
    c.ctx.save()
    c.ctx.translate(x, y)
    if upside:
        c.ctx.scale(1, -1)
    c.ellipse(0, -16, 16, 13, colour)
    c.circle(10 * face, -30, 9, colour)
    c.poly([(17 * face, -32), (27 * face, -29), (17 * face, -26)], hexc("f2a516"), INK, 1.2)
    c.circle(12 * face, -32, 3.2, WHITE, INK, 1)
    c.circle(13 * face, -32, 1.5, INK, None)
    c.poly([(-14 * face, -18), (-30 * face, -10), (-14 * face, -8)], colour)
    c.ellipse(-2 * face, -16, 9, 6, None, INK, 1.2, 0.3, 2.6)
    c.line([(-3, -4), (-3, 2)], 1.8)
    c.line([(4, -4), (4, 2)], 1.8)
    c.ctx.restore()


@cartoon("bild044")
def bird_bat(c):
    bottom = c.h
    c.rect(0, 0, c.w, bottom, hexc("f7c77a"), None)
    c.rect(0, 140, c.w, bottom - 140, hexc("f2a45a"), None)
    c.circle(250, 240, 60, hexc("f7e27a"), None)
    c.rect(0, 250, c.w, bottom - 250, hexc("5a7a3a"), None)
    c.blob([(-10, 250), (60, 220), (130, 236), (200, 214), (290, 232), (350, 220), (350, 260), (-10, 260)],
           hexc("4a6a2a"), INK, 1.5)
    c.line([(0, 250), (c.w, 250)], 2)
    # Two poles and the line between them.
    for px in (30, 310):
        c.rect(px - 5, 80, 10, 200, hexc("6a4a2a"), INK, 2)
        c.rect(px - 24, 86, 48, 6, hexc("6a4a2a"), INK, 1.5)
    c.curve((30, 90), (120, 130), (220, 130), (310, 90), 2.5, INK)
    c.curve((30, 90), (120, 150), (220, 150), (310, 90), 1.5, hexc("333333"))
    # One bird sits, the other hangs head down.
    bird(c, 120, 115, hexc("5a8ad6"), False, 1)
    bird(c, 210, 122, hexc("c9506a"), True, -1)
    for k in range(5):
        c.line([(250 + k * 14, 280 + (k % 2) * 10), (256 + k * 14, 296 + (k % 2) * 10)], 1.5, hexc("2a4a1a"))
    c.bubble(20, 14, 150, "Was machst du da?", (112, 76), 12)
    c.bubble(120, 172, 208, "Ich bin in einer Selbstfindungsphase. Vielleicht bin ich eine Fledermaus.", (212, 160), 12)


@cartoon("bild051")
def knight_security(c):
    bottom = c.caption("„Haben Sie noch etwas Metallisches dabei?“", 12)
    floor = bottom - 34
    c.rect(0, 0, c.w, floor, hexc("dfe6ea"), None)
    c.rect(0, floor, c.w, bottom - floor, hexc("9aa2a8"), None)
    c.line([(0, floor), (c.w, floor)], 2)
    c.text(c.w / 2, 24, "SICHERHEITSKONTROLLE", 13, hexc("2a4a7a"), True, align="centre")
    # The detector arch, alarm lit.
    ax0, ax1, atop = 60, 190, 84
    c.rect(ax0, atop, 16, floor - atop, hexc("c8c8c8"), INK, 2)
    c.rect(ax1 - 16, atop, 16, floor - atop, hexc("c8c8c8"), INK, 2)
    c.rect(ax0, atop - 16, ax1 - ax0, 18, hexc("c8c8c8"), INK, 2)
    c.circle((ax0 + ax1) / 2, atop - 7, 6, hexc("f23a2a"), INK, 1.5)
    for k in range(5):
        a = math.pi + k * math.pi / 4
        c.line([((ax0 + ax1) / 2 + 10 * math.cos(a), atop - 7 + 10 * math.sin(a)),
                ((ax0 + ax1) / 2 + 18 * math.cos(a), atop - 7 + 18 * math.sin(a))], 2, hexc("f23a2a"))
    c.text((ax0 + ax1) / 2 - 56, atop - 2, "PIEP!", 16, hexc("f23a2a"), True, align="centre")
    # The knight in full armour.
    kx = (ax0 + ax1) / 2
    steel = hexc("b8c0c8")
    for dx in (-12, 12):
        c.rect(kx + dx - 7, floor - 70, 14, 66, steel, INK, 2)
        c.rect(kx + dx - 9, floor - 8, 18, 8, steel, INK, 2)
    c.rect(kx - 28, floor - 150, 56, 84, steel, INK, 2, r=10)
    c.line([(kx, floor - 146), (kx, floor - 70)], 1.5)
    c.rect(kx - 26, floor - 84, 52, 16, hexc("8a2a2a"), INK, 1.5)
    c.rect(kx - 22, floor - 196, 44, 48, steel, INK, 2, r=12)
    c.rect(kx - 16, floor - 178, 32, 6, INK, None)
    for k in range(4):
        c.line([(kx - 8 + k * 6, floor - 166), (kx - 8 + k * 6, floor - 156)], 1.5)
    c.poly([(kx, floor - 196), (kx + 6, floor - 222), (kx + 18, floor - 226), (kx + 6, floor - 196)],
           hexc("c0392b"), INK, 1.5)
    for dx in (-1, 1):
        c.line([(kx + 28 * dx, floor - 140), (kx + 40 * dx, floor - 96)], 12, INK)
        c.line([(kx + 28 * dx, floor - 140), (kx + 40 * dx, floor - 96)], 9, steel)
    # The sword, already on the tray.
    c.rect(196, floor - 50, 90, 8, hexc("7a5a3a"), INK, 1.5)
    c.line([(200, floor - 58), (280, floor - 58)], 4, steel)
    c.line([(206, floor - 66), (206, floor - 50)], 3, hexc("d4a017"))
    # The officer.
    c.person(255, floor, 150, hexc("3a6ac0"), hexc("2a2a3a"), hexc("2a2a2a"), -1, "flat", "hips")


@cartoon("bild057")
def summit_kiosk(c):
    bottom = c.h
    c.rect(0, 0, c.w, bottom, hexc("a9d8f5"), None)
    c.cloud(250, 250, 0.8)
    c.cloud(40, 400, 0.9)
    # The mountain, snowy on top.
    peak = (176, 170)
    c.poly([(-20, bottom), peak, (c.w + 60, bottom)], hexc("8a8a96"))
    c.poly([(144, 206), peak, (214, 208), (200, 216), (186, 206), (172, 220), (158, 208)], WHITE, INK, 2)
    for i in range(11):
        y = 240 + i * 20
        left = -20 + 196 * (bottom - y) / (bottom - 170)
        right = 176 + (c.w + 80 - 176) * (y - 170) / (bottom - 170)
        c.line([(left + 14 + (i * 17) % 30, y), (left + 32 + (i * 17) % 30, y + 7)], 1.5, hexc("5a5a66"))
        c.line([(right - 24 - (i * 23) % 40, y), (right - 44 - (i * 23) % 40, y + 7)], 1.5, hexc("5a5a66"))
    # The summit cross, and the kiosk right beside it.
    kx, ky = peak
    c.line([(kx + 62, ky + 16), (kx + 62, ky - 100)], 5, hexc("6a4a2a"))
    c.line([(kx + 44, ky - 76), (kx + 80, ky - 76)], 5, hexc("6a4a2a"))
    c.rect(kx - 46, ky - 60, 92, 64, hexc("c98a4a"), INK, 2)
    c.poly([(kx - 56, ky - 60), (kx - 46, ky - 84), (kx + 46, ky - 84), (kx + 56, ky - 60)], hexc("d63a2a"))
    for k in range(5):
        c.rect(kx - 46 + k * 18.4, ky - 84, 9, 24, WHITE, None)
    c.poly([(kx - 56, ky - 60), (kx - 46, ky - 84), (kx + 46, ky - 84), (kx + 56, ky - 60)], None)
    c.rect(kx - 36, ky - 54, 72, 30, hexc("3a2a1a"), INK, 2)
    c.circle(kx, ky - 38, 8, SKIN, INK, 1.5)
    c.ellipse(kx, ky - 45, 8, 4, hexc("6b4a2f"), None)
    c.text(kx, ky - 6, "GIPFELKIOSK", 10, WHITE, True, align="centre")
    # The climber on the slope below, worn out.
    x, feet = 82, 318
    c.person(x, feet, 110, hexc("f2a516"), hexc("3a4a6a"), hexc("6b4a2f"), 1, "open", "up")
    hx, hy, hr = c.head
    c.ellipse(hx, hy - hr * 0.5, hr * 1.1, hr * 0.7, hexc("d63a2a"), INK, 1.5, math.pi, 2 * math.pi)
    c.rect(x - 22, feet - 86, 10, 30, hexc("6a8a3a"), INK, 1.5, r=3)
    for k in range(3):
        c.circle(hx - 17, hy - 4 + k * 8, 2, hexc("6fb4e0"), None)
    c.line([(x + 26, feet - 4), (x + 40, feet - 96)], 3, hexc("555555"))
    c.bubble(8, 112, 112, "Wasser! Bitte!", (hx, hy - hr - 4), 13)
    c.bubble(120, 14, 168, "Nur mit Karte. Ab zehn Euro.", (kx, ky - 50), 12)


@cartoon("bild059")
def cat_tree(c):
    bottom = c.h
    ground = bottom - 50
    c.rect(0, 0, c.w, ground, hexc("bfe3f7"), None)
    c.cloud(240, 40, 0.9)
    c.rect(0, ground, c.w, bottom - ground, GRASS, None)
    c.line([(0, ground), (c.w, ground)], 2)
    # A tall tree.
    tx = 90
    c.poly([(tx - 16, ground), (tx - 8, 90), (tx + 8, 90), (tx + 16, ground)], hexc("7a4f2a"))
    for k in range(14):
        y = 110 + k * 30
        c.line([(tx - 6, y), (tx + 2, y + 10)], 1.5, hexc("4a2f1a"))
    for (by, d) in ((150, 1), (230, -1), (320, 1), (400, -1)):
        c.line([(tx, by + 10), (tx + 50 * d, by - 20)], 7, hexc("7a4f2a"))
    for (cx, cy, r) in ((tx, 80, 46), (tx + 44, 130, 32), (tx - 40, 210, 30), (tx + 48, 300, 30),
                        (tx - 44, 380, 28)):
        c.blob([(cx - r, cy), (cx - r * 0.7, cy - r * 0.8), (cx, cy - r), (cx + r * 0.7, cy - r * 0.8), (cx + r, cy),
                (cx + r * 0.6, cy + r * 0.7), (cx - r * 0.6, cy + r * 0.7)], hexc("3f9a3a"))
    # The cat on the top branch.
    kx, ky = tx + 44, 112
    c.ellipse(kx, ky, 16, 12, hexc("555555"))
    c.circle(kx + 14, ky - 12, 10, hexc("555555"))
    c.poly([(kx + 6, ky - 18), (kx + 8, ky - 30), (kx + 14, ky - 21)], hexc("555555"))
    c.poly([(kx + 16, ky - 21), (kx + 22, ky - 31), (kx + 23, ky - 17)], hexc("555555"))
    c.eyes(kx + 15, ky - 13, 3, (0.5, 0.3), 8)
    c.curve((kx - 16, ky), (kx - 30, ky + 10), (kx - 26, ky + 30), (kx - 20, ky + 36), 4, hexc("555555"))
    # The fire engine's ladder and the fire-fighter.
    c.rect(150, ground - 60, 150, 50, hexc("d62a2a"), INK, 2, r=6)
    c.rect(250, ground - 90, 50, 34, hexc("d62a2a"), INK, 2, r=4)
    c.rect(258, ground - 84, 32, 18, hexc("cfe8f7"), INK, 1.5)
    for wx in (180, 270):
        c.circle(wx, ground - 8, 16, hexc("333333"))
        c.circle(wx, ground - 8, 6, hexc("aaaaaa"))
    lx0, ly0, lx1, ly1 = 200, ground - 62, 150, 250
    for off in (-7, 7):
        c.line([(lx0 + off, ly0), (lx1 + off, ly1)], 4, hexc("bbbbbb"))
    for k in range(1, 14):
        t = k / 14
        px, py = lx0 + (lx1 - lx0) * t, ly0 + (ly1 - ly0) * t
        c.line([(px - 8, py), (px + 8, py)], 3, hexc("bbbbbb"))
    c.person(158, 290, 110, hexc("2a3a5a"), hexc("2a3a5a"), hexc("2a2a2a"), -1, "open", "wave")
    hx, hy, hr = c.head
    c.ellipse(hx, hy - hr * 0.4, hr * 1.25, hr * 0.8, hexc("e8c23a"), INK, 1.5, math.pi, 2 * math.pi)
    c.bubble(150, 150, 140, "Komm runter, Mieze!", (170, 270), 12)
    c.bubble(120, 16, 176, "Erst wenn das WLAN wieder geht.", (kx + 12, ky - 30), 12)


def render(name, w, h):
    c = Canvas(w, h)
    DRAWINGS[name](c)
    c.finish()
    return imgio.rgb_rows(c.surf)


def encode(rows, progressive, grey, target):
    """Finds by bisection the quality whose size is nearest to the target."""
    lo, hi = 10, 98
    best = None
    tried = {}

    def size(q):
        if q not in tried:
            tried[q] = imgio.cjpeg(rows, q, progressive, grey)
        return len(tried[q])

    while lo <= hi:
        mid = (lo + hi) // 2
        if size(mid) < target:
            lo = mid + 1
        else:
            hi = mid - 1
    for q in (hi, lo):
        if 10 <= q <= 98 and (best is None or abs(size(q) - target) < abs(size(best) - target)):
            best = q
    return best, tried[best]


def with_markers(name, jpeg, grey, markers):
    extra = []
    if "adobe" in markers:
        extra.append(imgio.adobe_segment(0 if grey else 1))
    if "icc" in markers:
        extra.append(imgio.icc_segment(imgio.srgb_profile()))
    if "com" in markers:
        extra.append(imgio.comment_segment(COMMENTS[name]))
    return imgio.with_markers(jpeg, "jfif" in markers, extra)


def write_all(root, only=None, report=print):
    for (name, w, h, progressive, grey, target, markers) in TABLE:
        if name not in DRAWINGS or (only and name not in only):
            continue
        rows = render(name, w, h)
        q, jpeg = encode(rows, progressive, grey, target)
        data = with_markers(name, jpeg, grey, markers)
        (root / "cartoons" / (name + ".jpg")).write_bytes(data)
        report("%s %dx%d q=%d %d bytes (%+.1f %%)" % (name, w, h, q, len(data), 100 * (len(data) / target - 1)))
