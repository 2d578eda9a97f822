"""A small drawing kit for the cartoons: flat colours, black outlines,
speech bubbles and captions, and a few stock figures. Every shape takes
plain numbers, so a cartoon reads as a list of what is in the picture."""
import math

import cairo

import imgio

INK = (0.08, 0.08, 0.1)
WHITE = (1, 1, 1)
PAPER = (1, 0.99, 0.95)
SKIN = (0.98, 0.82, 0.68)
SKY = (0.72, 0.87, 0.98)
GRASS = (0.55, 0.78, 0.35)
FONT = "DejaVu Sans"


def hexc(s):
    return tuple(int(s[i:i + 2], 16) / 255 for i in (0, 2, 4))


class Canvas:
    def __init__(self, w, h, background=PAPER):
        self.w, self.h = w, h
        self.surf = imgio.surface(w, h)
        self.ctx = cairo.Context(self.surf)
        opts = cairo.FontOptions()
        # Fixed rendering options, so the text never depends on a desktop's settings.
        opts.set_antialias(cairo.ANTIALIAS_GRAY)
        opts.set_hint_style(cairo.HINT_STYLE_NONE)
        opts.set_hint_metrics(cairo.HINT_METRICS_OFF)
        self.ctx.set_font_options(opts)
        self.ctx.set_line_join(cairo.LINE_JOIN_ROUND)
        self.ctx.set_line_cap(cairo.LINE_CAP_ROUND)
        self.rect(0, 0, w, h, background, None)

    # -- primitives -------------------------------------------------------
    def _finish(self, fill, line, width):
        c = self.ctx
        if fill is not None:
            c.set_source_rgb(*fill)
            if line is not None:
                c.fill_preserve()
            else:
                c.fill()
        if line is not None:
            c.set_source_rgb(*line)
            c.set_line_width(width)
            c.stroke()
        c.new_path()

    def rect(self, x, y, w, h, fill, line=INK, width=2, r=0):
        c = self.ctx
        c.new_path()
        if r:
            c.arc(x + w - r, y + r, r, -math.pi / 2, 0)
            c.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
            c.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
            c.arc(x + r, y + r, r, math.pi, 1.5 * math.pi)
            c.close_path()
        else:
            c.rectangle(x, y, w, h)
        self._finish(fill, line, width)

    def ellipse(self, cx, cy, rx, ry, fill, line=INK, width=2, a0=0, a1=2 * math.pi):
        c = self.ctx
        c.new_path()
        c.save()
        c.translate(cx, cy)
        c.scale(rx, ry)
        c.arc(0, 0, 1, a0, a1)
        c.restore()
        self._finish(fill, line, width)

    def circle(self, cx, cy, r, fill, line=INK, width=2):
        self.ellipse(cx, cy, r, r, fill, line, width)

    def poly(self, pts, fill, line=INK, width=2, close=True):
        c = self.ctx
        c.new_path()
        c.move_to(*pts[0])
        for p in pts[1:]:
            c.line_to(*p)
        if close:
            c.close_path()
        self._finish(fill, line, width)

    def line(self, pts, width=2, colour=INK):
        self.poly(pts, None, colour, width, close=False)

    def curve(self, p0, p1, p2, p3, width=2, colour=INK, fill=None):
        c = self.ctx
        c.new_path()
        c.move_to(*p0)
        c.curve_to(*p1, *p2, *p3)
        self._finish(fill, colour, width)

    def blob(self, pts, fill, line=INK, width=2):
        """A closed smooth shape through the points (Catmull-Rom)."""
        c = self.ctx
        c.new_path()
        n = len(pts)
        c.move_to(*pts[0])
        for i in range(n):
            p0, p1, p2, p3 = pts[i - 1], pts[i], pts[(i + 1) % n], pts[(i + 2) % n]
            c.curve_to(p1[0] + (p2[0] - p0[0]) / 6, p1[1] + (p2[1] - p0[1]) / 6,
                       p2[0] - (p3[0] - p1[0]) / 6, p2[1] - (p3[1] - p1[1]) / 6, *p2)
        c.close_path()
        self._finish(fill, line, width)

    def hatch(self, x, y, w, h, step=5, colour=INK, width=0.8, angle=45):
        """Shading by parallel lines, clipped to a rectangle, newspaper style."""
        c = self.ctx
        c.save()
        c.rectangle(x, y, w, h)
        c.clip()
        c.set_source_rgb(*colour)
        c.set_line_width(width)
        d = math.hypot(w, h)
        a = math.radians(angle)
        ux, uy = math.cos(a), math.sin(a)
        k = -d
        while k < d:
            cx, cy = x + w / 2 + k * -uy, y + h / 2 + k * ux
            c.move_to(cx - ux * d, cy - uy * d)
            c.line_to(cx + ux * d, cy + uy * d)
            k += step
        c.stroke()
        c.restore()

    # -- text -------------------------------------------------------------
    def font(self, size, bold=False, italic=False):
        self.ctx.select_font_face(FONT, cairo.FONT_SLANT_ITALIC if italic else cairo.FONT_SLANT_NORMAL,
                                  cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
        self.ctx.set_font_size(size)

    def text_width(self, s):
        return self.ctx.text_extents(s).x_advance

    def wrap(self, text, width):
        lines = []
        for para in text.split("\n"):
            cur = ""
            for word in para.split(" "):
                trial = word if not cur else cur + " " + word
                if self.text_width(trial) <= width or not cur:
                    cur = trial
                else:
                    lines.append(cur)
                    cur = word
            lines.append(cur)
        return lines

    def text(self, x, y, s, size=13, colour=INK, bold=False, italic=False, align="left"):
        self.font(size, bold, italic)
        w = self.text_width(s)
        dx = {"left": 0, "centre": -w / 2, "right": -w}[align]
        self.ctx.set_source_rgb(*colour)
        self.ctx.move_to(x + dx, y)
        self.ctx.show_text(s)
        self.ctx.new_path()

    def text_block(self, cx, top, lines, size, bold=False, italic=False, colour=INK, lead=1.22):
        for i, s in enumerate(lines):
            self.text(cx, top + size * (0.95 + lead * i), s, size, colour, bold, italic, "centre")
        return size * (0.3 + lead * len(lines))

    def caption(self, text, size=14, italic=True, pad=8):
        """Reserves a caption strip along the bottom and returns its top, the
        bottom of the drawing area; the strip is drawn by finish(), over the scene."""
        self.font(size, italic=italic)
        lines = self.wrap(text, self.w - 2 * pad - 6)
        hgt = size * (0.5 + 1.22 * len(lines)) + pad
        top = self.h - hgt
        self.pending = (top, hgt, lines, size, italic, pad)
        return top

    def finish(self):
        if getattr(self, "pending", None):
            top, hgt, lines, size, italic, pad = self.pending
            self.rect(0, top, self.w, hgt, WHITE, None)
            self.line([(0, top), (self.w, top)], 2)
            self.text_block(self.w / 2, top + pad / 2 + 1, lines, size, italic=italic)
        # A frame around the whole cartoon, as printed.
        self.rect(1, 1, self.w - 2, self.h - 2, None, INK, 2)

    def bubble(self, x, y, w, text, tail, size=13, bold=False, think=False, shout=False):
        """A speech bubble whose top-left corner is (x, y) and whose tail points
        at `tail`; its height follows the wrapped text. Returns its bottom."""
        self.font(size, bold)
        lines = self.wrap(text, w - 16)
        h = size * (0.35 + 1.22 * len(lines)) + 12
        cx, cy = x + w / 2, y + h / 2
        if think:
            self.ellipse(cx, cy, w / 2 + 4, h / 2 + 6, WHITE, INK, 2)
            tx, ty = tail
            for i, r in enumerate((6, 4, 2.5)):
                t = 0.55 + 0.18 * i
                self.circle(cx + (tx - cx) * t, cy + (ty - cy) * t, r, WHITE, INK, 1.5)
        else:
            # Tail first, then the bubble over its root, then the tail's outline.
            bx = min(max(tail[0], x + max(18, w * 0.25)), x + w - max(18, w * 0.25))
            root_y = y + h if tail[1] > y + h / 2 else y
            spread = 7
            tip = [(bx - spread, root_y), tail, (bx + spread, root_y)]
            self.poly(tip, WHITE, INK, 2, close=False)
            self.rect(x, y, w, h, WHITE, INK, 2.2 if shout else 2, r=min(12, h / 2))
            self.poly([(bx - spread + 1.5, root_y), (bx + spread - 1.5, root_y)], None, WHITE, 3.5, close=False)
            self.line([(bx - spread, root_y + (1 if root_y == y + h else -1)), tail,
                       (bx + spread, root_y + (1 if root_y == y + h else -1))], 2)
        self.text_block(cx, y + 5, lines, size, bold)
        return y + h

    # -- stock figures ------------------------------------------------------
    def person(self, x, feet, height=120, shirt=(0.3, 0.5, 0.8), trousers=(0.25, 0.25, 0.3),
               hair=(0.35, 0.2, 0.1), face=1, mouth="smile", arms="down", skirt=False,
               bald=False, glasses=False, sitting=False, tie=None):
        """A person standing with feet on `feet`, facing left (-1) or right (1).
        arms: 'down', 'up', 'point' (front arm forward), 'wave', 'hips'."""
        s = height / 120
        head_r = 13 * s
        top = feet - height
        hx, hy = x + 2 * s * face, top + head_r
        body_top, body_bot = hy + head_r + 2 * s, feet - 48 * s
        if sitting:
            body_bot = feet - 30 * s
        # Legs.
        if sitting:
            knee = (x + 26 * s * face, body_bot + 2 * s)
            for dx in (-4 * s, 4 * s):
                self.line([(x + dx, body_bot), (knee[0] + dx, knee[1]), (knee[0] + dx, feet - 2 * s)], 7 * s, trousers)
                self.ellipse(knee[0] + dx + 5 * s * face, feet - 2 * s, 7 * s, 3.5 * s, INK, None)
        else:
            for dx in (-6 * s, 6 * s):
                self.line([(x + dx * 0.6, body_bot - 2 * s), (x + dx, feet - 3 * s)], 7 * s, trousers)
                self.line([(x + dx * 0.6, body_bot - 2 * s), (x + dx, feet - 3 * s)], 1.2, INK)
                self.ellipse(x + dx + 4 * s * face, feet - 3 * s, 7 * s, 3.5 * s, INK, None)
        # Body.
        if skirt:
            self.poly([(x - 11 * s, body_top + 4 * s), (x + 11 * s, body_top + 4 * s), (x + 20 * s, body_bot + 8 * s),
                       (x - 20 * s, body_bot + 8 * s)], shirt)
        self.rect(x - 13 * s, body_top, 26 * s, body_bot - body_top + 4 * s, shirt, INK, 2, r=9 * s)
        if tie:
            self.poly([(x + 1 * s * face, body_top + 2 * s), (x + 4 * s * face, body_top + 14 * s),
                       (x + 1 * s * face, body_top + 26 * s), (x - 2 * s * face, body_top + 14 * s)], tie, INK, 1)
        # Arms.
        sh = (x + 10 * s * face, body_top + 8 * s)
        sh2 = (x - 10 * s * face, body_top + 8 * s)
        poses = {
            "down": [(sh, (x + 16 * s * face, body_top + 40 * s)), (sh2, (x - 16 * s * face, body_top + 40 * s))],
            "up": [(sh, (x + 22 * s * face, body_top - 22 * s)), (sh2, (x - 22 * s * face, body_top - 22 * s))],
            "point": [(sh, (x + 40 * s * face, body_top + 4 * s)), (sh2, (x - 15 * s * face, body_top + 40 * s))],
            "wave": [(sh, (x + 26 * s * face, body_top - 18 * s)), (sh2, (x - 15 * s * face, body_top + 40 * s))],
            "hips": [(sh, (x + 14 * s * face, body_top + 30 * s)), (sh2, (x - 14 * s * face, body_top + 30 * s))],
            "hold": [(sh, (x + 30 * s * face, body_top + 22 * s)), (sh2, (x + 22 * s * face, body_top + 26 * s))],
        }
        for (a, b) in poses[arms]:
            if arms == "hips":
                mid = (a[0] + (b[0] - x) * 1.2, (a[1] + b[1]) / 2)
                self.line([a, mid, b], 6 * s, shirt)
            else:
                self.line([a, b], 6 * s, shirt)
            self.circle(b[0], b[1], 3.6 * s, SKIN, INK, 1.5)
        self.hands = [p[1] for p in poses[arms]]
        # Head.
        self.circle(hx, hy, head_r, SKIN, INK, 2)
        if not bald:
            self.ellipse(hx - 2 * s * face, hy - head_r * 0.45, head_r * 1.02, head_r * 0.62, hair, INK, 1.5,
                         math.pi * 1.02, math.pi * 1.98 + 0.3)
            self.ellipse(hx - 2 * s * face, hy - head_r * 0.48, head_r * 0.95, head_r * 0.52, hair, None, 0,
                         math.pi, 2 * math.pi)
        self.face(hx + 4 * s * face, hy, s, face, mouth, glasses)
        self.head = (hx, hy, head_r)
        return hx, hy

    def face(self, fx, fy, s, face=1, mouth="smile", glasses=False):
        ex = 4.5 * s
        for d in (-ex, ex):
            self.circle(fx + d, fy - 1 * s, 1.6 * s, INK, None)
            if glasses:
                self.circle(fx + d, fy - 1 * s, 3.6 * s, None, INK, 1.2)
        if glasses:
            self.line([(fx - ex + 3.6 * s, fy - s), (fx + ex - 3.6 * s, fy - s)], 1.2)
        my = fy + 6 * s
        if mouth == "smile":
            self.ellipse(fx, my - 2 * s, 5 * s, 3 * s, None, INK, 1.5, 0.2, math.pi - 0.2)
        elif mouth == "frown":
            self.ellipse(fx, my + 2 * s, 4.5 * s, 2.5 * s, None, INK, 1.5, math.pi + 0.3, 2 * math.pi - 0.3)
        elif mouth == "open":
            self.ellipse(fx, my, 3.4 * s, 2.8 * s, (0.55, 0.1, 0.1), INK, 1.3)
        elif mouth == "flat":
            self.line([(fx - 4 * s, my), (fx + 4 * s, my)], 1.5)
        elif mouth == "grin":
            self.ellipse(fx, my - 1.5 * s, 5.5 * s, 4 * s, WHITE, INK, 1.4, 0, math.pi)
            self.line([(fx - 5.5 * s, my - 1.5 * s), (fx + 5.5 * s, my - 1.5 * s)], 1.4)

    def eyes(self, cx, cy, r, look=(0.3, 0.1), gap=None):
        gap = gap if gap is not None else r * 1.9
        for d in (-gap / 2, gap / 2):
            self.circle(cx + d, cy, r, WHITE, INK, 1.5)
            self.circle(cx + d + look[0] * r, cy + look[1] * r, r * 0.45, INK, None)

    def ground(self, y, colour=GRASS, sky=SKY):
        if sky is not None:
            self.rect(0, 0, self.w, y, sky, None)
        self.rect(0, y, self.w, self.h - y, colour, None)
        self.line([(0, y), (self.w, y)], 2)

    def cloud(self, cx, cy, s=1.0):
        self.blob([(cx - 30 * s, cy + 8 * s), (cx - 26 * s, cy - 6 * s), (cx - 10 * s, cy - 14 * s),
                   (cx + 8 * s, cy - 16 * s), (cx + 24 * s, cy - 8 * s), (cx + 32 * s, cy + 6 * s),
                   (cx + 10 * s, cy + 12 * s), (cx - 12 * s, cy + 12 * s)], WHITE, INK, 1.5)

    def sun(self, cx, cy, r):
        for i in range(12):
            a = i * math.pi / 6
            self.line([(cx + math.cos(a) * (r + 4), cy + math.sin(a) * (r + 4)),
                       (cx + math.cos(a) * (r + 12), cy + math.sin(a) * (r + 12))], 2, (0.95, 0.65, 0.1))
        self.circle(cx, cy, r, (1, 0.85, 0.2), INK, 2)

    def tree(self, x, base, h=120, leaves=(0.3, 0.62, 0.25)):
        self.poly([(x - 7, base), (x - 5, base - h * 0.55), (x + 5, base - h * 0.55), (x + 7, base)],
                  (0.5, 0.33, 0.18))
        r = h * 0.3
        self.blob([(x - r, base - h * 0.55), (x - r * 1.1, base - h * 0.8), (x - r * 0.5, base - h),
                   (x + r * 0.5, base - h), (x + r * 1.1, base - h * 0.8), (x + r, base - h * 0.55)], leaves)

    def table(self, x, y, w, colour=(0.62, 0.42, 0.25), legs=40):
        self.rect(x + 8, y, 6, legs, colour)
        self.rect(x + w - 14, y, 6, legs, colour)
        self.rect(x, y - 6, w, 8, colour)

    def chair(self, x, y, face=1, colour=(0.55, 0.35, 0.2)):
        """Seat top at y, back on the side away from `face`."""
        self.rect(x - 16, y, 32, 5, colour)
        self.rect(x - 14, y + 5, 4, 30, colour)
        self.rect(x + 10, y + 5, 4, 30, colour)
        bx = x - 16 * face - (4 if face > 0 else 0)
        self.rect(bx, y - 38, 4, 38, colour)
