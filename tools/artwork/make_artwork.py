#!/usr/bin/env python3
"""Draws Tandrel's splash picture and icons from code, with nothing but the standard library.

    python3 tools/artwork/make_artwork.py [OUTPUT_DIR] [--preview DIR]

OUTPUT_DIR defaults to app/resources next to this tool. --preview also writes enlarged
copies for looking at; they are not part of the build.
"""
import math
import os
import struct
import sys
import zlib
from contextlib import contextmanager

# Sub-samples per pixel along each axis where an edge crosses a pixel: 4x4 is the usual
# "draw at four times the size, then shrink", without paying for it inside flat areas.
SS = 4
SUB = [(i + 0.5) / SS for i in range(SS)]


# ----------------------------------------------------------------------------------------
# Shapes. Each knows a bounding box and a signed distance (negative inside). Distances only
# need to be lower bounds of the true one: the canvas uses them to skip pixels that are
# wholly in or out and to grow or shrink a shape for outlines, so being a little short
# costs only speed.


class Shape:
    bbox = (0.0, 0.0, 0.0, 0.0)

    def sdf(self, x, y):
        raise NotImplementedError

    def __or__(self, other):
        return Union(self, other)

    def __sub__(self, other):
        return Subtract(self, other)

    def __and__(self, other):
        return Intersect(self, other)

    def grow(self, d):
        return Offset(self, d)

    def moved(self, dx, dy):
        return Moved(self, dx, dy)


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r
        self.bbox = (cx - r, cy - r, cx + r, cy + r)

    def sdf(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r


class Box(Shape):
    """Axis-aligned rectangle with optionally rounded corners."""

    def __init__(self, x0, y0, x1, y1, r=0.0):
        self.cx, self.cy = (x0 + x1) / 2, (y0 + y1) / 2
        self.hx, self.hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
        self.r = r
        self.bbox = (x0, y0, x1, y1)

    def sdf(self, x, y):
        qx = abs(x - self.cx) - self.hx
        qy = abs(y - self.cy) - self.hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - self.r


class Segment(Shape):
    """A straight stroke of width w with round ends."""

    def __init__(self, x0, y0, x1, y1, w):
        self.x0, self.y0, self.dx, self.dy = x0, y0, x1 - x0, y1 - y0
        self.len2 = self.dx * self.dx + self.dy * self.dy or 1e-12
        self.h = w / 2
        self.bbox = (min(x0, x1) - self.h, min(y0, y1) - self.h,
                     max(x0, x1) + self.h, max(y0, y1) + self.h)

    def sdf(self, x, y):
        px, py = x - self.x0, y - self.y0
        t = max(0.0, min(1.0, (px * self.dx + py * self.dy) / self.len2))
        return math.hypot(px - t * self.dx, py - t * self.dy) - self.h


class Arc(Shape):
    """A circular stroke of width w with round ends, from angle a0 to a1 in degrees.

    Angles grow clockwise on screen (y points down), so 270 is straight up.
    """

    def __init__(self, cx, cy, r, a0, a1, w):
        self.cx, self.cy, self.r, self.h = cx, cy, r, w / 2
        self.a0, self.span = a0, a1 - a0
        self.ends = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
                     for a in (a0, a1)]
        e = r + self.h
        self.bbox = (cx - e, cy - e, cx + e, cy + e)

    def sdf(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        if (math.degrees(math.atan2(dy, dx)) - self.a0) % 360.0 <= self.span:
            return abs(math.hypot(dx, dy) - self.r) - self.h
        return min(math.hypot(x - ex, y - ey) for ex, ey in self.ends) - self.h


class Polygon(Shape):
    def __init__(self, points):
        self.p = [(float(x), float(y)) for x, y in points]
        xs, ys = [q[0] for q in self.p], [q[1] for q in self.p]
        self.bbox = (min(xs), min(ys), max(xs), max(ys))

    def sdf(self, x, y):
        p = self.p
        d = (x - p[0][0]) ** 2 + (y - p[0][1]) ** 2
        inside = False
        j = len(p) - 1
        for i in range(len(p)):
            (xi, yi), (xj, yj) = p[i], p[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / ((ex * ex + ey * ey) or 1e-12)))
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / ey:
                inside = not inside
            j = i
        return -math.sqrt(d) if inside else math.sqrt(d)


def _box_gap(bbox, x, y):
    dx = max(bbox[0] - x, 0.0, x - bbox[2])
    dy = max(bbox[1] - y, 0.0, y - bbox[3])
    return math.hypot(dx, dy)


class Union(Shape):
    def __init__(self, *shapes):
        self.shapes = [s for s in shapes if s is not None]
        self.bbox = (min(s.bbox[0] for s in self.shapes), min(s.bbox[1] for s in self.shapes),
                     max(s.bbox[2] for s in self.shapes), max(s.bbox[3] for s in self.shapes))

    def sdf(self, x, y):
        best = math.inf
        for s in self.shapes:
            # A part whose box is farther away than the best distance so far cannot win;
            # text is a union of dozens of strokes, so this keeps it quick.
            if best > 0 and _box_gap(s.bbox, x, y) >= best:
                continue
            d = s.sdf(x, y)
            if d < best:
                best = d
        return best


class Intersect(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bbox = (max(a.bbox[0], b.bbox[0]), max(a.bbox[1], b.bbox[1]),
                     min(a.bbox[2], b.bbox[2]), min(a.bbox[3], b.bbox[3]))

    def sdf(self, x, y):
        return max(self.a.sdf(x, y), self.b.sdf(x, y))


class Subtract(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bbox = a.bbox

    def sdf(self, x, y):
        return max(self.a.sdf(x, y), -self.b.sdf(x, y))


class Offset(Shape):
    """The shape grown by d (or shrunk, for negative d): how outlines are made."""

    def __init__(self, shape, d):
        self.shape, self.d = shape, d
        g = max(d, 0.0)
        b = shape.bbox
        self.bbox = (b[0] - g, b[1] - g, b[2] + g, b[3] + g)

    def sdf(self, x, y):
        return self.shape.sdf(x, y) - self.d


class Moved(Shape):
    def __init__(self, shape, dx, dy):
        self.shape, self.dx, self.dy = shape, dx, dy
        b = shape.bbox
        self.bbox = (b[0] + dx, b[1] + dy, b[2] + dx, b[3] + dy)

    def sdf(self, x, y):
        return self.shape.sdf(x - self.dx, y - self.dy)


def gear(cx, cy, teeth, r_tip, r_root, tip_share=0.5, root_share=0.34):
    """Gear outline as a polygon; shares are fractions of one tooth's angle."""
    pts = []
    step = 2 * math.pi / teeth
    slope = (1.0 - tip_share - root_share) / 2
    for k in range(teeth):
        a = k * step - math.pi / 2
        for frac, r in ((-tip_share / 2, r_tip), (tip_share / 2, r_tip),
                        (tip_share / 2 + slope, r_root),
                        (tip_share / 2 + slope + root_share, r_root)):
            pts.append((cx + r * math.cos(a + frac * step), cy + r * math.sin(a + frac * step)))
    return Polygon(pts)


# ----------------------------------------------------------------------------------------
# Colours and paints. Colours are (r, g, b, a) floats in 0..1; a paint is a colour or a
# function from a drawing position to a colour.


def rgb(hex_text, a=1.0):
    v = int(hex_text.lstrip("#"), 16)
    return ((v >> 16 & 255) / 255, (v >> 8 & 255) / 255, (v & 255) / 255, a)


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def linear(x0, y0, x1, y1, stops):
    """Gradient along the line (x0,y0)->(x1,y1); stops are (position 0..1, colour)."""
    dx, dy = x1 - x0, y1 - y0
    n2 = dx * dx + dy * dy or 1e-12

    def paint(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / n2))
        for (ta, ca), (tb, cb) in zip(stops, stops[1:]):
            if t <= tb:
                return mix(ca, cb, (t - ta) / ((tb - ta) or 1e-12))
        return stops[-1][1]

    return paint


def vertical(shape, top, bottom):
    """Top-to-bottom gradient over the shape's own height."""
    return linear(0, shape.bbox[1], 0, shape.bbox[3], [(0.0, top), (1.0, bottom)])


def radial(cx, cy, r, inner, outer):
    def paint(x, y):
        return mix(inner, outer, min(1.0, math.hypot(x - cx, y - cy) / r))

    return paint


# ----------------------------------------------------------------------------------------
# Canvas: straight (not premultiplied) RGBA floats, with a view transform so that a design
# drawn on a 16-unit grid can be rendered at 16, 32, 48 or 128 pixels.


class Canvas:
    def __init__(self, width, height, background=(0.0, 0.0, 0.0, 0.0)):
        self.w, self.h = width, height
        n = width * height
        self.r, self.g, self.b, self.a = ([background[k]] * n for k in range(4))
        self.scale, self.ox, self.oy = 1.0, 0.0, 0.0

    @contextmanager
    def view(self, scale, ox, oy):
        saved = self.scale, self.ox, self.oy
        self.scale, self.ox, self.oy = scale, ox, oy
        try:
            yield
        finally:
            self.scale, self.ox, self.oy = saved

    def _coverage(self, shape, px, py, soft):
        s = self.scale
        x, y = (px + 0.5 - self.ox) / s, (py + 0.5 - self.oy) / s
        d = shape.sdf(x, y) * s
        if soft:
            t = max(0.0, min(1.0, 0.5 - d / soft))
            return t * t * (3 - 2 * t), x, y
        # Half a pixel's diagonal is 0.707: farther than that, the pixel is all in or out.
        if d >= 0.75:
            return 0.0, x, y
        if d <= -0.75:
            return 1.0, x, y
        hits = 0
        for sy in SUB:
            yy = (py + sy - self.oy) / s
            for sx in SUB:
                if shape.sdf((px + sx - self.ox) / s, yy) < 0:
                    hits += 1
        return hits / (SS * SS), x, y

    def _pixels(self, shape, margin):
        s = self.scale
        b = shape.bbox
        x0 = max(0, int(math.floor(b[0] * s + self.ox - margin)))
        y0 = max(0, int(math.floor(b[1] * s + self.oy - margin)))
        x1 = min(self.w, int(math.ceil(b[2] * s + self.ox + margin)))
        y1 = min(self.h, int(math.ceil(b[3] * s + self.oy + margin)))
        for py in range(y0, y1):
            for px in range(x0, x1):
                yield px, py

    def fill(self, shape, paint, opacity=1.0, soft=0.0):
        """Paints the shape over what is there; soft > 0 gives an edge that fades over
        that many pixels (shadows and glows)."""
        for px, py in self._pixels(shape, soft):
            cov, x, y = self._coverage(shape, px, py, soft)
            if cov <= 0.0:
                continue
            c = paint(x, y) if callable(paint) else paint
            self._blend(py * self.w + px, c, cov * opacity)

    def erase(self, shape):
        """Cuts the shape out to transparency, to set a badge apart from what is under it."""
        for px, py in self._pixels(shape, 0):
            cov, _, _ = self._coverage(shape, px, py, 0)
            if cov > 0.0:
                self.a[py * self.w + px] *= 1.0 - cov

    def _blend(self, i, c, k):
        sa = c[3] * k
        da = self.a[i] * (1.0 - sa)
        oa = sa + da
        if oa <= 0.0:
            return
        self.r[i] = (c[0] * sa + self.r[i] * da) / oa
        self.g[i] = (c[1] * sa + self.g[i] * da) / oa
        self.b[i] = (c[2] * sa + self.b[i] * da) / oa
        self.a[i] = oa

    def snap_alpha(self, low=0.05, high=0.95):
        """Icons look crisper when the nearly-empty and nearly-full edge pixels commit."""
        for i, a in enumerate(self.a):
            self.a[i] = 0.0 if a < low else 1.0 if a > high else a

    def rgba(self):
        """Rows of 8-bit (r, g, b, a) tuples, top row first."""
        def q(v):
            return max(0, min(255, int(round(v * 255))))

        rows = []
        for py in range(self.h):
            row = []
            for i in range(py * self.w, (py + 1) * self.w):
                a = q(self.a[i])
                row.append((q(self.r[i]), q(self.g[i]), q(self.b[i]), a) if a else (0, 0, 0, 0))
            rows.append(row)
        return rows


def outlined(cv, shape, fill, outline, ow):
    """The house style: a body in its fill with a darker rim ow drawing units wide."""
    cv.fill(shape, outline)
    cv.fill(shape.grow(-ow), fill)


# ----------------------------------------------------------------------------------------
# File writers.


def png_bytes(rows, alpha):
    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    h, w = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter type none; zlib does well enough on smooth gradients
        for p in row:
            raw.extend(p if alpha else p[:3])
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico_image(rows):
    """One icon image as Windows stores it in an .ico: a BITMAPINFOHEADER whose height
    counts the colour and mask halves together, 32-bit BGRA rows bottom-up, then the
    1-bit AND mask (set where fully transparent), each mask row padded to 4 bytes."""
    h, w = len(rows), len(rows[0])
    mask_row = (w + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor.extend((b, g, r, a))
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask.extend(bits)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def icon_images(draw):
    """The 16, 32 and 48 pixel images of one icon, drawn by `draw(size)`."""
    images = []
    for size in (16, 32, 48):
        cv = draw(size)
        cv.snap_alpha()
        images.append(cv.rgba())
    return images


def ico_bytes(images):
    """images: list of pixel rows, one entry per size."""
    blobs = [ico_image(rows) for rows in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for rows, blob in zip(images, blobs):
        h, w = len(rows), len(rows[0])
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


# ----------------------------------------------------------------------------------------
# Palette. Every object has a light and a base tone for its gradient and a dark tone for
# its rim, so the icons read as one family.

WHITE = rgb("#ffffff")
INK = {
    "folder": (rgb("#ffd978"), rgb("#f0b43c"), rgb("#9a6410")),
    "folder_back": (rgb("#f2c25a"), rgb("#d9992a"), rgb("#9a6410")),
    "blue": (rgb("#6fb2ff"), rgb("#2f74d8"), rgb("#17407e")),
    "teal": (rgb("#5fd0d0"), rgb("#1d9aa6"), rgb("#0c5660")),
    "green": (rgb("#8ad86a"), rgb("#3a9e3c"), rgb("#1c5e1e")),
    "red": (rgb("#ff8a78"), rgb("#d8412f"), rgb("#7e1a12")),
    "orange": (rgb("#ffc060"), rgb("#f08418"), rgb("#8a4408")),
    "steel": (rgb("#c8d2de"), rgb("#8593a6"), rgb("#3a4556")),
    "paper": (rgb("#ffffff"), rgb("#e4eaf0"), rgb("#7d8896")),
}


def ink_fill(shape, name):
    light, base, _ = INK[name]
    return vertical(shape, light, base)


def ink(cv, shape, name, ow):
    outlined(cv, shape, ink_fill(shape, name), INK[name][2], ow)


# ----------------------------------------------------------------------------------------
# The emblem: a magnifier over a folder, on a 16-unit grid. ow is the rim width in grid
# units (one pixel at 16 px); detail adds what only shows when drawn larger.

# Lens low and right, so the folder's tab and left side stay visible even at 16 px.
LENS = (9.8, 8.8, 4.5)  # centre x, centre y, outer radius


def draw_folder(cv, ow, detail, x0=0.5, y0=2.0, x1=12.5, y1=13.0):
    r = 1.0 if not detail else 0.8
    back = Box(x0, y0, x0 + 6.0, y0 + 4.0, r) | Box(x0, y0 + 1.5, x1, y1, r)
    ink(cv, back, "folder_back", ow)
    if detail:
        sheet = Box(x0 + 1.4, y0 + 2.1, x1 - 1.2, y1 - 2.0, 0.3)
        ink(cv, sheet, "paper", ow * 0.8)
        # Only the top of the sheet shows above the front, so one line of "writing" is enough.
        cv.fill(Segment(x0 + 2.6, y0 + 3.2, x1 - 4.2, y0 + 3.2, 0.4), INK["paper"][2], 0.6)
    front = Box(x0, y0 + 4.0, x1, y1, r)
    ink(cv, front, "folder", ow)
    if detail:
        # A thin light line under the front's top edge gives the flap some thickness.
        cv.fill(Segment(x0 + 1.0, y0 + 4.0 + ow * 1.6, x1 - 1.0, y0 + 4.0 + ow * 1.6, ow * 0.8),
                WHITE, 0.55)


def draw_magnifier(cv, ow, detail, cx, cy, r, reach=15.4):
    d = math.sqrt(0.5)
    hw = 3.0
    end = reach - hw / 2 * d
    # The handle's round end must stay hidden under the rim, not show through the glass.
    start = cx + (r + 0.2) * d
    handle = Segment(start, cy - cx + start, end, cy - cx + end, hw)
    ink(cv, handle, "steel", ow)
    if detail:
        # A soft sheen along the handle keeps it from reading as a flat blob when large.
        k = hw * 0.22
        cv.fill(Segment(start + 1.2 * d - k, cy - cx + start + 1.2 * d + k,
                        end - 0.5 * d - k, cy - cx + end - 0.5 * d + k, hw * 0.22), WHITE, 0.45)
    rim_w = 1.9 if not detail else 1.5
    glass_r = r - rim_w
    ring = Circle(cx, cy, r) - Circle(cx, cy, glass_r)
    cv.fill(ring, INK["blue"][2])
    cv.fill(Circle(cx, cy, r - ow) - Circle(cx, cy, glass_r + (ow * 0.6 if detail else 0)),
            linear(cx - r, cy - r, cx + r, cy + r,
                   [(0.0, INK["blue"][0]), (1.0, INK["blue"][1])]))
    glass = Circle(cx, cy, glass_r)
    cv.fill(glass, radial(cx - glass_r * 0.4, cy - glass_r * 0.4, glass_r * 1.6,
                          rgb("#f4fbff", 0.90), rgb("#8ccaf2", 0.72)))
    if detail:
        cv.fill(Arc(cx, cy, glass_r * 0.66, 190, 255, glass_r * 0.2), WHITE, 0.85)
    else:
        cv.fill(Circle(cx - glass_r * 0.35, cy - glass_r * 0.35, 0.75), WHITE, 0.9)


def draw_emblem(cv, ow, detail):
    draw_folder(cv, ow, detail)
    draw_magnifier(cv, ow, detail, *LENS)


def draw_busy_marker(cv, ow):
    dot = Circle(13.0, 3.0, 3.0)
    cv.erase(dot.grow(1.0))
    ink(cv, dot, "orange", ow)
    cv.fill(Circle(12.2, 2.2, 0.9), WHITE, 0.75)


# ----------------------------------------------------------------------------------------
# Menu and tray icons, each on a 16 x 16 grid with one-pixel rims.


def icon_canvas():
    return Canvas(16, 16)


def icon_manage_folders():
    cv = icon_canvas()
    draw_folder(cv, 1.0, False, 0.5, 2.0, 15.5, 14.0)
    badge = Circle(11.5, 11.5, 4.0)
    cv.erase(badge.grow(1.0))
    ink(cv, badge, "green", 1.0)
    cv.fill(Box(10.5, 9.0, 12.5, 14.0) | Box(9.0, 10.5, 14.0, 12.5), WHITE)
    return cv


def icon_update_index():
    cv = icon_canvas()
    cx, cy, r, w = 8.0, 8.0, 5.0, 2.6
    parts = []
    for a0, a1 in ((200.0, 335.0), (20.0, 155.0)):
        parts.append(Arc(cx, cy, r, a0, a1 - 8.0, w))
        # Arrowhead at the clockwise end, pointing along the direction of travel.
        a = math.radians(a1 - 12.0)
        ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
        tx, ty = -math.sin(a), math.cos(a)   # tangent, clockwise
        nx, ny = math.cos(a), math.sin(a)    # outward
        half, length = 3.6, 4.0
        parts.append(Polygon([(ex + nx * half, ey + ny * half),
                              (ex + tx * length, ey + ty * length),
                              (ex - nx * half, ey - ny * half)]))
    arrows = Union(*parts)
    outlined(cv, arrows, linear(2, 2, 14, 14, [(0.0, INK["blue"][0]), (1.0, INK["blue"][1])]),
             INK["blue"][2], 1.0)
    return cv


def badge_icon(name):
    cv = icon_canvas()
    disc = Circle(8.0, 8.0, 7.5)
    ink(cv, disc, name, 1.0)
    return cv


def icon_help():
    cv = badge_icon("blue")
    mark = Union(Arc(8.0, 6.0, 2.3, 185.0, 440.0, 2.0),
                 Segment(8.0, 8.3, 8.0, 9.0, 2.0),
                 Circle(8.0, 12.2, 1.15))
    cv.fill(mark.moved(0, 0.5), INK["blue"][2], 0.45)  # a faint drop keeps white readable
    cv.fill(mark, WHITE)
    return cv


def icon_about():
    cv = badge_icon("teal")
    mark = Union(Circle(8.0, 4.4, 1.25), Box(7.0, 6.6, 9.0, 12.4, 0.3),
                 Box(6.0, 11.0, 10.0, 12.4, 0.3), Box(6.0, 6.6, 8.6, 8.0, 0.3))
    cv.fill(mark.moved(0, 0.5), INK["teal"][2], 0.45)
    cv.fill(mark, WHITE)
    return cv


def icon_tray(busy):
    cv = icon_canvas()
    draw_emblem(cv, 1.0, False)
    if busy:
        draw_busy_marker(cv, 1.0)
    return cv


def icon_quit():
    cv = badge_icon("red")
    mark = Union(Arc(8.0, 8.6, 3.7, 300.0, 600.0, 1.9), Segment(8.0, 3.4, 8.0, 7.8, 1.9))
    cv.fill(mark.moved(0, 0.5), INK["red"][2], 0.45)
    cv.fill(mark, WHITE)
    return cv


def icon_settings():
    cv = icon_canvas()
    wheel = gear(8.0, 8.0, 8, 7.5, 5.4) - Circle(8.0, 8.0, 2.2)
    outlined(cv, wheel, linear(2, 1, 14, 15, [(0.0, INK["steel"][0]), (1.0, INK["steel"][1])]),
             INK["steel"][2], 1.0)
    return cv


def draw_program_update(cv, ow):
    tray = Box(0.5, 9.0, 4.0, 15.0, 0.8) | Box(12.0, 9.0, 15.5, 15.0, 0.8) | Box(0.5, 11.5, 15.5, 15.0, 0.8)
    ink(cv, tray, "steel", ow)
    arrow = Box(5.5, 0.5, 10.5, 7.0, 0.6) | Polygon([(1.8, 6.0), (14.2, 6.0), (8.0, 12.6)])
    cv.erase(arrow.grow(ow) & Box(0, 8, 16, 16))
    ink(cv, arrow, "green", ow)


def icon_program_update():
    cv = icon_canvas()
    draw_program_update(cv, 1.0)
    return cv


ICONS = [
    ("icon02_manage_folders.ico", icon_manage_folders),
    ("icon03_update_index.ico", icon_update_index),
    ("icon04_help.ico", icon_help),
    ("icon05_about.ico", icon_about),
    ("icon06_tray_idle.ico", lambda: icon_tray(False)),
    ("icon07_tray_busy.ico", lambda: icon_tray(True)),
    ("icon08_quit.ico", icon_quit),
    ("icon09_settings.ico", icon_settings),
    ("icon10_program_update.ico", icon_program_update),
]


def program_icon(size, draw):
    """A program's icon at 16, 32 or 48 pixels, from a design on the 16-unit grid."""
    cv = Canvas(size, size)
    s = size / 16.0
    # Rims stay whole pixels wide so the larger sizes keep a crisp edge.
    ow = {16: 1.0, 32: 1.5, 48: 2.0}.get(size, 2.0) / s
    with cv.view(s, 0, 0):
        draw(cv, ow, size)
    return cv


def app_icon(size):
    return program_icon(size, lambda cv, ow, n: draw_emblem(cv, ow, n > 16))


def updater_icon(size):
    return program_icon(size, lambda cv, ow, n: draw_program_update(cv, ow))


# ----------------------------------------------------------------------------------------
# A geometric monoline type: every letter is strokes and arcs of one width with round ends.
# Units are the x-height; y is 0 at the baseline and negative upwards.

CAP, ASC = 1.36, 1.40


def glyph(ch, hw):
    """(strokes, advance) for one letter; strokes are ('l', x0, y0, x1, y1),
    ('a', cx, cy, r, a0, a1) or ('d', cx, cy, r) in x-height units."""
    top, base = -1.0 + hw, -hw
    bowl_r = 0.5 - hw
    arch_w = 0.84
    arch_r = (arch_w - 2 * hw) / 2
    arch_cy = top + arch_r
    if ch == "T":
        w = 0.92
        return [("l", hw, -CAP + hw, w - hw, -CAP + hw), ("l", w / 2, -CAP + hw, w / 2, base)], w
    if ch == "a":
        return [("a", 0.5, -0.5, bowl_r, 0, 360), ("l", 1 - hw, top, 1 - hw, base)], 1.0
    if ch == "d":
        return [("a", 0.5, -0.5, bowl_r, 0, 360), ("l", 1 - hw, -ASC + hw, 1 - hw, base)], 1.0
    if ch == "o":
        return [("a", 0.5, -0.5, bowl_r, 0, 360)], 1.0
    if ch == "e":
        return [("a", 0.5, -0.5, bowl_r, 42, 360), ("l", 0.5 - bowl_r, -0.5, 0.5 + bowl_r, -0.5)], 1.0
    if ch == "n":
        return [("l", hw, top, hw, base), ("a", hw + arch_r, arch_cy, arch_r, 180, 360),
                ("l", arch_w - hw, arch_cy, arch_w - hw, base)], arch_w
    if ch == "r":
        end = 292.0
        right = hw + arch_r + arch_r * math.cos(math.radians(end)) + hw
        return [("l", hw, top, hw, base), ("a", hw + arch_r, arch_cy, arch_r, 180, end)], right
    if ch == "l":
        return [("l", hw, -ASC + hw, hw, base)], 2 * hw
    if ch == "i":
        return [("l", hw, top, hw, base), ("d", hw, -1.34, hw * 1.1)], 2 * hw
    if ch == "f":
        rf, xs = 0.26, 0.2 + hw
        cy = -ASC + hw + rf
        return [("a", xs + rf, cy, rf, 180, 300), ("l", xs, cy, xs, base),
                ("l", xs - 0.2, top, xs + 0.3, top)], xs + rf * 1.5 + hw
    if ch == "t":
        xs = 0.2 + hw
        return [("l", xs, -1.3, xs, base), ("l", xs - 0.2, top, xs + 0.3, top)], xs + 0.3 + hw
    if ch == "s":
        r = (1.0 - 2 * hw) / 4
        cx = r + hw
        return [("a", cx, top + r, r, 90, 330), ("a", cx, base - r, r, 270, 510)], 2 * r + 2 * hw
    if ch == " ":
        return [], 0.32
    raise ValueError("no glyph for %r" % ch)


KERN = {("T", "a"): -0.16, ("r", "e"): -0.04, ("f", "i"): -0.02, ("f", "o"): -0.04}


def text_shape(text, x, baseline, xheight, stroke, tracking):
    """The text as one shape, so overlapping strokes blend as a single body."""
    hw = stroke / 2 / xheight
    parts = []
    pen = 0.0
    prev = None
    for ch in text:
        if prev:
            pen += tracking + KERN.get((prev, ch), 0.0)
        strokes, adv = glyph(ch, hw)

        def P(u, v):
            return x + (pen + u) * xheight, baseline + v * xheight

        for s in strokes:
            if s[0] == "l":
                (x0, y0), (x1, y1) = P(s[1], s[2]), P(s[3], s[4])
                parts.append(Segment(x0, y0, x1, y1, stroke))
            elif s[0] == "a":
                cx, cy = P(s[1], s[2])
                parts.append(Arc(cx, cy, s[3] * xheight, s[4], s[5], stroke))
            else:
                cx, cy = P(s[1], s[2])
                parts.append(Circle(cx, cy, s[3] * xheight))
        pen += adv
        prev = ch
    return Union(*parts), pen * xheight


# ----------------------------------------------------------------------------------------
# The splash, 400 x 200. The program prints its version at (5, 180) in dark grey, so the
# bottom is a plain light band.

SPLASH_W, SPLASH_H, BAND_Y = 400, 200, 166


def draw_splash():
    cv = Canvas(SPLASH_W, SPLASH_H, (0, 0, 0, 1))
    sky = Box(0, 0, SPLASH_W, BAND_Y)
    cv.fill(sky, linear(0, 0, 60, BAND_Y, [(0.0, rgb("#0b2250")), (0.55, rgb("#0f4a78")),
                                           (1.0, rgb("#137c86"))]))
    band = Box(0, BAND_Y, SPLASH_W, SPLASH_H)
    cv.fill(band, linear(0, BAND_Y, 0, SPLASH_H, [(0.0, rgb("#f3f6f8")), (1.0, rgb("#e2e9ee"))]))
    cv.fill(Box(0, BAND_Y - 1.0, SPLASH_W, BAND_Y + 1.0), rgb("#53c2c4"))

    scale, ox, oy = 8.0, 14.0, 14.0
    lx, ly = ox + LENS[0] * scale, oy + LENS[1] * scale
    # Faint rings spreading from the lens, like a search sweeping outwards.
    for k, rr in enumerate((86.0, 122.0, 158.0, 194.0)):
        cv.fill(Arc(lx, ly, rr, 0, 360, 1.6) & sky, WHITE, 0.075 - 0.012 * k)
    cv.fill(Circle(lx, ly, 70.0), radial(lx, ly, 70.0, rgb("#9ae6ff", 0.22), rgb("#9ae6ff", 0.0)))

    with cv.view(scale, ox, oy):
        silhouette = Box(0.5, 2.0, 12.5, 13.0, 0.8) | Circle(*LENS) | Segment(12, 12, 14.6, 14.6, 3.1)
        cv.fill(silhouette.moved(0.35, 0.55), rgb("#020c1e"), 0.45, soft=9.0)
        draw_emblem(cv, 2.4 / scale, True)

    title, width = text_shape("Tandrel", 0, 0, 36.0, 6.4, 0.13)
    tx, base = 380.0 - width, 100.0
    title = title.moved(tx, base)
    cv.fill(title.moved(1.5, 2.5), rgb("#020c1e"), 0.35, soft=4.0)
    cv.fill(title, linear(0, base - 50, 0, base, [(0.0, rgb("#ffffff")), (1.0, rgb("#dff4f6"))]))

    tag, tag_w = text_shape("find files and folders fast", 0, 0, 6.6, 1.3, 0.2)
    tag = tag.moved(380.0 - tag_w, base + 28.0)
    cv.fill(tag, rgb("#bfe9ee"), 0.95)
    return cv


# ----------------------------------------------------------------------------------------


def enlarge(rows, k, checker=True):
    """Nearest-neighbour enlargement on a checkerboard, for looking at icon pixels."""
    out = []
    for y, row in enumerate(rows):
        line = []
        for x, (r, g, b, a) in enumerate(row):
            for sx in range(k):
                line.append((x, sx, r, g, b, a))
        for sy in range(k):
            o = []
            for x, sx, r, g, b, a in line:
                bg = 255 if not checker else (236 if ((x * k + sx) // 4 + (y * k + sy) // 4) % 2 else 200)
                f = a / 255
                o.append(tuple(int(round(c * f + bg * (1 - f))) for c in (r, g, b)) + (255,))
            out.append(o)
    return out


def sheet(icons, k, background):
    """All icons side by side at size k, on a flat background, with 4-pixel gaps."""
    n = len(icons)
    h = 16 * k + 8
    w = n * (16 * k + 4) + 4
    out = [[background + (255,)] * w for _ in range(h)]
    for idx, rows in enumerate(icons):
        for y in range(16 * k):
            for x in range(16 * k):
                r, g, b, a = rows[y // k][x // k]
                f = a / 255
                out[y + 4][4 + idx * (16 * k + 4) + x] = tuple(
                    int(round(c * f + bgc * (1 - f))) for c, bgc in zip((r, g, b), background)) + (255,)
    return out


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = os.path.join(here, "..", "..", "app", "resources")
    preview = None
    args = list(argv)
    if "--preview" in args:
        i = args.index("--preview")
        preview = args[i + 1]
        del args[i:i + 2]
    if args:
        out_dir = args[0]
    os.makedirs(out_dir, exist_ok=True)

    icon_rows = []
    for name, draw in ICONS:
        cv = draw()
        cv.snap_alpha()
        rows = cv.rgba()
        icon_rows.append(rows)
        write(os.path.join(out_dir, name), ico_bytes([rows]))

    write(os.path.join(out_dir, "tandrel.ico"), ico_bytes(icon_images(app_icon)))
    write(os.path.join(out_dir, "update.ico"), ico_bytes(icon_images(updater_icon)))

    splash = draw_splash().rgba()
    write(os.path.join(out_dir, "splash.png"), png_bytes(splash, alpha=False))

    if preview:
        os.makedirs(preview, exist_ok=True)
        for (name, _), rows in zip(ICONS, icon_rows):
            write(os.path.join(preview, name.replace(".ico", "_x8.png")),
                  png_bytes(enlarge(rows, 8), alpha=True))
        write(os.path.join(preview, "icons_x1_light.png"), png_bytes(sheet(icon_rows, 1, (240, 240, 240)), True))
        write(os.path.join(preview, "icons_x1_dark.png"), png_bytes(sheet(icon_rows, 1, (40, 44, 52)), True))
        write(os.path.join(preview, "icons_x4_light.png"), png_bytes(sheet(icon_rows, 4, (240, 240, 240)), True))
        for name, rows_of_sizes in (("tandrel", app_rows), ("update", updater_rows)):
            for rows in rows_of_sizes:
                n = len(rows)
                write(os.path.join(preview, "%s_%d_x%d.png" % (name, n, 192 // n)),
                      png_bytes(enlarge(rows, 192 // n), alpha=True))
        write(os.path.join(preview, "splash.png"), png_bytes(splash, alpha=False))
        write(os.path.join(preview, "splash_x2.png"),
              png_bytes(enlarge([[p for p in row] for row in splash], 2, checker=False), alpha=True))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
