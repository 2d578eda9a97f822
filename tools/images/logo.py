"""The main window's logo (a red psi with two open cartoon eyes on blue), its
winking twin for the mouse-over wink, and the program icon."""
import math

import cairo

import imgio

W, H = 213, 195
BLUE = (6, 0, 255)          # also the main window's background
RED = (226, 18, 36)
DARK_RED = (120, 0, 18)
SHINE = (255, 120, 120)
SHADOW = (2, 0, 140)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
CX = 96                     # the memo covers the logo from x = 192 on


def src(ctx, c):
    ctx.set_source_rgb(*(v / 255 for v in c))


def psi_path(ctx):
    """Centre lines of the letter: the cup, the stem and the foot."""
    ctx.new_path()
    ctx.move_to(CX - 58, 66)
    ctx.curve_to(CX - 60, 128, CX - 36, 146, CX, 146)
    ctx.curve_to(CX + 36, 146, CX + 60, 128, CX + 58, 66)
    ctx.move_to(CX, 72)
    ctx.line_to(CX, 170)
    ctx.move_to(CX - 30, 176)
    ctx.line_to(CX + 30, 176)


def stroke_psi(ctx, colour, grow, dx=0, dy=0):
    ctx.save()
    ctx.translate(dx, dy)
    src(ctx, colour)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_join(cairo.LINE_JOIN_ROUND)
    psi_path(ctx)
    ctx.set_line_width(18 + grow)
    ctx.stroke()
    # The stem is a little heavier than the arms, as in a printed letter.
    ctx.move_to(CX, 78)
    ctx.line_to(CX, 170)
    ctx.set_line_width(22 + grow)
    ctx.stroke()
    # Serifs: small flat caps on top of the arms.
    for x in (CX - 58, CX + 58):
        ctx.move_to(x - 13, 60)
        ctx.line_to(x + 13, 60)
        ctx.set_line_width(8 + grow)
        ctx.stroke()
    ctx.restore()


def draw_eye(ctx, cx, cy, closed):
    if closed:
        # A closed lid curving downwards, with three lashes.
        src(ctx, BLACK)
        ctx.set_line_cap(cairo.LINE_CAP_ROUND)
        ctx.set_line_width(6)
        ctx.move_to(cx - 17, cy + 2)
        ctx.curve_to(cx - 8, cy + 14, cx + 8, cy + 14, cx + 17, cy + 2)
        ctx.stroke()
        ctx.set_line_width(3.5)
        for (x0, y0, x1, y1) in ((-10, 10, -15, 18), (0, 13, 0, 22), (10, 10, 15, 18)):
            ctx.move_to(cx + x0, cy + y0)
            ctx.line_to(cx + x1, cy + y1)
            ctx.stroke()
        return
    ctx.save()
    ctx.translate(cx, cy)
    ctx.scale(1.0, 1.25)
    ctx.arc(0, 0, 19, 0, 2 * math.pi)
    ctx.restore()
    src(ctx, WHITE)
    ctx.fill_preserve()
    src(ctx, BLACK)
    ctx.set_line_width(4)
    ctx.stroke()
    # Pupils look up and to the right, towards the window's text.
    src(ctx, BLACK)
    ctx.arc(cx + 6, cy - 3, 9, 0, 2 * math.pi)
    ctx.fill()
    src(ctx, WHITE)
    ctx.arc(cx + 9, cy - 7, 3, 0, 2 * math.pi)
    ctx.fill()


def draw_brow(ctx, cx, cy, lowered):
    src(ctx, BLACK)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(5)
    lift = 5 if lowered else 0
    ctx.move_to(cx - 15, cy + 6 + lift)
    ctx.curve_to(cx - 6, cy - 2 + lift, cx + 6, cy - 2 + lift, cx + 15, cy + 4 + lift)
    ctx.stroke()


def draw_logo(ctx, wink):
    src(ctx, BLUE)
    ctx.paint()
    stroke_psi(ctx, SHADOW, 6, 5, 5)
    stroke_psi(ctx, DARK_RED, 6)
    stroke_psi(ctx, RED, 0)
    # A shine along the left of each stroke, drawn flat like a cartoon.
    src(ctx, SHINE)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(3.5)
    ctx.move_to(CX - 62, 72)
    ctx.curve_to(CX - 63, 110, CX - 56, 128, CX - 44, 136)
    ctx.stroke()
    ctx.move_to(CX - 5, 96)
    ctx.line_to(CX - 5, 130)
    ctx.stroke()
    ctx.move_to(CX + 54, 72)
    ctx.line_to(CX + 54, 96)
    ctx.stroke()
    eyes = ((CX - 20, 48), (CX + 20, 48))
    for i, (ex, ey) in enumerate(eyes):
        draw_brow(ctx, ex, 8, wink and i == 0)
    for i, (ex, ey) in enumerate(eyes):
        draw_eye(ctx, ex, ey, wink and i == 0)


def render_logo(wink):
    surf = imgio.surface(W, H)
    draw_logo(cairo.Context(surf), wink)
    return imgio.rgb_rows(surf)


ICON_RED = (222, 22, 34)
ICON_BLUE = (20, 50, 220)


def draw_icon(size):
    surf = imgio.surface(size, size, cairo.FORMAT_ARGB32)
    ctx = cairo.Context(surf)
    ctx.scale(size / 32, size / 32)
    # A white card with rounded corners and a thin grey edge.
    r = 2.5
    x0, y0, x1, y1 = 3.5, 2.5, 28.5, 29.5
    ctx.new_path()
    ctx.arc(x1 - r, y0 + r, r, -math.pi / 2, 0)
    ctx.arc(x1 - r, y1 - r, r, 0, math.pi / 2)
    ctx.arc(x0 + r, y1 - r, r, math.pi / 2, math.pi)
    ctx.arc(x0 + r, y0 + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()
    ctx.set_source_rgb(1, 1, 1)
    ctx.fill_preserve()
    ctx.set_source_rgb(0.35, 0.35, 0.35)
    ctx.set_line_width(1)
    ctx.stroke()
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    src(ctx, ICON_RED)
    ctx.set_line_width(2.4)
    for (a, b, c, d) in ((8, 8, 14, 14), (14, 8, 8, 14)):
        ctx.move_to(a, b)
        ctx.line_to(c, d)
        ctx.stroke()
    src(ctx, ICON_BLUE)
    ctx.arc(21.5, 11, 3.2, 0, 2 * math.pi)
    ctx.stroke()
    src(ctx, ICON_RED)
    ctx.arc(16, 16, 8.5, math.radians(30), math.radians(150))
    ctx.stroke()
    surf.flush()
    return surf


def write_all(root):
    logo = render_logo(False)
    wink = render_logo(True)
    pal = imgio.build_palette([logo, wink], [BLUE, RED, DARK_RED, SHADOW, SHINE, BLACK, WHITE])
    (root / "bitmaps" / "logo.bmp").write_bytes(imgio.bmp8(logo, pal))
    (root / "bitmaps" / "psizwin.bmp").write_bytes(imgio.bmp24(wink, trailing=2))
    icon = draw_icon(32)
    argb = imgio.argb_rows(icon)
    ipal = imgio.build_palette([[[px[:3] for px in row if px[3] >= 128] for row in argb]],
                               [(255, 255, 255), ICON_RED, ICON_BLUE, (0, 0, 0)])
    (root / "icon" / "mainicon.ico").write_bytes(imgio.ico8(argb, ipal))
    (root / "icon" / "mainicon.png").write_bytes(imgio.png(icon))
    (root / "icon" / "mainicon-256.png").write_bytes(imgio.png(draw_icon(256)))
