#!/usr/bin/env python3
"""Draws the updater's pictures: the window banner and the window icon.

Writes banner.bmp (160 x 70, 24 bits per pixel) and updater.ico (16 x 16 and
32 x 32, 256 colours each) beside this script. Only the standard library is
used, and scattered details come from a fixed generator rather than random,
so every run writes the same bytes.

    python3 draw_art.py                  rewrite banner.bmp and updater.ico
    python3 draw_art.py --preview DIR    also write enlarged PNGs into DIR
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BANNER_W, BANNER_H = 160, 70


# ---------------------------------------------------------------- basics

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def ramp(stops, t):
    """Colour at t on a gradient given as sorted (position, colour) pairs."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0))
    return stops[-1][1]


def new_image(w, h, colour=(0.0, 0.0, 0.0)):
    return [[list(colour) for _ in range(w)] for _ in range(h)]


def blend(img, x, y, colour, alpha):
    if alpha <= 0.0:
        return
    p = img[y][x]
    for i in range(3):
        p[i] += (colour[i] - p[i]) * alpha


def coverage(sd):
    """Anti-aliased coverage of a pixel whose centre lies sd pixels outside."""
    return clamp(0.5 - sd)


def make_lcg(seed):
    """A tiny fixed generator, so the art never depends on Python's random."""
    state = [seed & 0xFFFFFFFF]

    def next_unit():
        state[0] = (state[0] * 1664525 + 1013904223) & 0xFFFFFFFF
        return state[0] / 4294967296.0
    return next_unit


# ------------------------------------------------------- distance shapes

def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_polygon(px, py, pts):
    """Signed distance to a simple polygon; negative inside."""
    d = (px - pts[0][0]) ** 2 + (py - pts[0][1]) ** 2
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        ax, ay = pts[i]
        ex, ey = pts[j][0] - ax, pts[j][1] - ay
        wx, wy = px - ax, py - ay
        t = clamp((wx * ex + wy * ey) / (ex * ex + ey * ey))
        bx, by = wx - ex * t, wy - ey * t
        d = min(d, bx * bx + by * by)
        c1, c2, c3 = py >= ay, py < pts[j][1], ex * wy > ey * wx
        if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
            inside = not inside
        j = i
    return -math.sqrt(d) if inside else math.sqrt(d)


def sd_shape(px, py, shape):
    """A shape is a list of (polygon, is_hole) parts: union minus holes."""
    solid, hole = 1e9, 1e9
    for pts, is_hole in shape:
        d = sd_polygon(px, py, pts)
        if is_hole:
            hole = min(hole, d)
        else:
            solid = min(solid, d)
    return max(solid, -hole)


def transform(shape, scale, ox, oy):
    return [([(ox + x * scale, oy + y * scale) for x, y in pts], hole)
            for pts, hole in shape]


def shape_bounds(shape):
    xs = [x for pts, _ in shape for x, _ in pts]
    ys = [y for pts, _ in shape for _, y in pts]
    return min(xs), min(ys), max(xs), max(ys)


# ------------------------------------------------------- the title face
# Letters drawn on a 10-unit cap height: square-cut strokes 2.4 units thick
# with chamfered corners, the A without a crossbar as in the game's logo.

def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def octagon(x0, y0, x1, y1, c):
    return [(x0 + c, y0), (x1 - c, y0), (x1, y0 + c), (x1, y1 - c),
            (x1 - c, y1), (x0 + c, y1), (x0, y1 - c), (x0, y0 + c)]


GLYPHS = {
    "O": (9.0, [(octagon(0, 0, 9, 10, 2.6), False),
                (octagon(2.4, 2.4, 6.6, 7.6, 1.0), True)]),
    "R": (8.8, [(rect(0, 0, 2.4, 10), False),
                ([(0, 0), (6.6, 0), (8.4, 1.8), (8.4, 4.2), (6.6, 6.0),
                  (0, 6.0)], False),
                (rect(2.4, 2.2, 6.0, 3.8), True),
                ([(3.4, 6.0), (6.2, 6.0), (8.8, 10), (6.0, 10)], False)]),
    "V": (9.4, [([(0, 0), (2.6, 0), (4.7, 6.6), (6.8, 0), (9.4, 0),
                  (6.0, 10), (3.4, 10)], False)]),
    "A": (9.4, [([(3.4, 0), (6.0, 0), (9.4, 10), (6.8, 10), (4.7, 3.4),
                  (2.6, 10), (0, 10)], False),
                ([(4.0, 7.0), (5.4, 7.0), (5.9, 8.6), (3.5, 8.6)], False)]),
    "N": (9.0, [(rect(0, 0, 2.4, 10), False),
                (rect(6.6, 0, 9, 10), False),
                ([(0, 0), (2.8, 0), (9, 10), (6.2, 10)], False)]),
    "T": (9.0, [(rect(0, 0, 9, 2.4), False),
                (rect(3.3, 0, 5.7, 10), False)]),
}
LETTER_GAP = 1.5


def text_shape(text, scale, ox, oy):
    shape, x = [], 0.0
    for ch in text:
        width, parts = GLYPHS[ch]
        shape += transform(parts, scale, ox + x * scale, oy)
        x += width + LETTER_GAP
    return shape


def text_width(text):
    return sum(GLYPHS[c][0] for c in text) + LETTER_GAP * (len(text) - 1)


# ------------------------------------------------------------- the banner
# The picture control sits inside a 2-pixel sunken edge that the dialog gives
# a bordered picture, yet it sizes its window to the whole bitmap. Windows
# clips the bitmap to the 156 x 66 pixels left inside; Wine squeezes it in
# instead, merging four pairs of columns and four pairs of rows, and the
# merge ANDs their colours into stray dots. So the scene is painted at
# 156 x 66 and widened to 160 x 70 by doubling exactly the columns and rows
# that the squeeze merges: Wine then shows the scene unharmed, and Windows
# shows it with a few doubled lines that nobody notices. Shapes are placed
# in banner coordinates (160 x 70) throughout.

SCENE_W, SCENE_H = 156, 66
DOUBLED_COLUMNS = (19, 59, 99, 139)
DOUBLED_ROWS = (8, 25, 43, 60)
SX, SY = BANNER_W / SCENE_W, BANNER_H / SCENE_H

SKY = [(0.00, (12, 14, 46)), (0.30, (34, 30, 88)), (0.55, (92, 52, 124)),
       (0.72, (196, 92, 112)), (0.82, (246, 160, 96)), (1.00, (255, 214, 140))]
HORIZON_Y = 54.0
LAKE_Y = 60.0


def scene_pixels(x0, y0, x1, y1):
    """Scene pixels whose centres may fall in a box given in banner
    coordinates, each with its centre in banner coordinates."""
    for y in range(max(0, int(y0 / SY)), min(SCENE_H, int(y1 / SY) + 1)):
        for x in range(max(0, int(x0 / SX)), min(SCENE_W, int(x1 / SX) + 1)):
            yield x, y, (x + 0.5) * SX, (y + 0.5) * SY


def scene_at(bx, by):
    """The scene pixel under a point in banner coordinates, if any."""
    x, y = int(bx / SX), int(by / SY)
    return (x, y) if 0 <= x < SCENE_W and 0 <= y < SCENE_H else None


def paint_sky(img):
    for x, y, px, py in scene_pixels(0, 0, BANNER_W, BANNER_H):
        base = ramp(SKY, py / HORIZON_Y)
        # A warm glow where the sun has just set behind the ridge.
        glow = math.exp(-(((px - 96) / 46) ** 2 + ((py - 50) / 16) ** 2))
        img[y][x] = list(mix(base, (255, 190, 120), 0.45 * glow))


def paint_stars(img):
    rnd = make_lcg(20240611)
    for _ in range(70):
        bx, by = rnd() * BANNER_W, rnd() * 40
        fade = clamp(1.0 - by / 40.0) ** 1.5
        bright = (0.35 + 0.65 * rnd()) * fade
        x, y = scene_at(bx, by)
        blend(img, x, y, (255, 250, 235), bright)
        if bright > 0.8:
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                if 0 <= x + dx < SCENE_W and 0 <= y + dy < SCENE_H:
                    blend(img, x + dx, y + dy, (200, 210, 255), 0.35)


def ring_distance(px, py, cx, cy, radius, tilt, flat):
    """Distance to a planetary ring seen at an angle; also which half."""
    c, s = math.cos(tilt), math.sin(tilt)
    rx = (px - cx) * c + (py - cy) * s
    ry = (-(px - cx) * s + (py - cy) * c) / flat
    return abs(math.hypot(rx, ry) - radius) * flat * 1.6, ry > 0


def paint_planet(img):
    cx, cy, r = 134.0, 17.0, 9.5
    for x, y, px, py in scene_pixels(108, 0, BANNER_W, 36):
        ring_d, front = ring_distance(px, py, cx, cy, 15.0, -0.38, 0.28)
        ring_a = coverage(ring_d - 1.1) * 0.85
        if not front:
            blend(img, x, y, (214, 190, 230), ring_a)
        body = coverage(sd_circle(px, py, cx, cy, r))
        if body > 0:
            # Lit from the lower left, where the sunset is.
            lx, ly = (px - cx) / r, (py - cy) / r
            light = clamp(0.55 - 0.6 * lx + 0.45 * ly)
            band = 0.08 * math.sin(ly * 9.0 + lx * 2.0)
            colour = mix((38, 46, 96), (170, 200, 230), clamp(light + band))
            blend(img, x, y, colour, body)
        if front:
            blend(img, x, y, (236, 214, 240), ring_a)
    for x, y, px, py in scene_pixels(110, 4, 120, 14):
        blend(img, x, y, (230, 226, 250),
              coverage(sd_circle(px, py, 114.5, 8.5, 2.4)))


FAR_PEAKS = [(6, 36, 0.9, 1.2), (30, 33, 1.1, 0.8), (58, 38, 0.9, 1.0),
             (84, 41, 0.8, 0.9), (112, 35, 1.0, 1.3), (156, 39, 0.9, 0.9)]
NEAR_PEAKS = [(-4, 48, 0.5, 0.6), (22, 51, 0.6, 0.5), (52, 49, 0.7, 0.6),
              (76, 54, 0.5, 0.5), (104, 50, 0.6, 0.7), (142, 45, 0.5, 0.6)]


def ridge(x, peaks, rough, seed):
    """Skyline height at x: the highest of several slopes, made jagged."""
    y = 1e9
    for px, py, left, right in peaks:
        slope = left if x < px else right
        y = min(y, py + abs(x - px) * slope)
    rnd = make_lcg(seed)
    lattice = [rnd() for _ in range(64)]
    v = 0.0
    for step, weight in ((5.0, 1.0), (2.0, 0.6), (0.9, 0.3)):
        u = x / step
        i = int(math.floor(u))
        f = u - i
        a = lattice[(i * 7 + int(step)) % 64]
        b = lattice[(i * 7 + 7 + int(step)) % 64]
        v += (a + (b - a) * f - 0.5) * weight
    return y + v * rough


def paint_layer(img, peaks, rough, seed, shades):
    """shades: rim light, lit face, shadowed face, colour at the foot."""
    rim, lit, shade, foot = shades
    for x in range(SCENE_W):
        px = (x + 0.5) * SX
        heights = [ridge(px + ((k + 0.5) / 4 - 0.5) * SX, peaks, rough, seed)
                   for k in range(4)]
        top = min(heights)
        facing = ridge(px + 1, peaks, 0, seed) - ridge(px - 1, peaks, 0, seed)
        # The sun sets behind the ridge at x = 96: slopes falling towards it
        # catch a little of its light.
        towards = clamp(facing * (1 if px < 96 else -1) * 0.8 + 0.3)
        for y in range(max(0, int(top / SY) - 1), SCENE_H):
            cover = sum(clamp(((y + 1) * SY - h) / SY) for h in heights) / 4
            if cover <= 0:
                continue
            depth = (y + 0.5) * SY - top
            colour = mix(mix(shade, lit, towards), foot, clamp(depth / 16.0))
            colour = mix(rim, colour, clamp(depth / 1.6))
            blend(img, x, y, colour, cover)


def paint_spire(img):
    """A crystal citadel on the near ridge, its beacon lit."""
    towers = [rect(137.0, 37.0, 139.0, 52.0), rect(141.0, 31.0, 143.5, 52.0),
              rect(145.5, 39.0, 147.5, 52.0),
              [(141.0, 31.0), (142.25, 26.0), (143.5, 31.0)],
              [(137.0, 37.0), (138.0, 34.0), (139.0, 37.0)],
              [(145.5, 39.0), (146.5, 36.0), (147.5, 39.0)]]
    gem_shape = [(142.25, 20.0), (144.3, 23.2), (142.25, 26.4), (140.2, 23.2)]
    for x, y, px, py in scene_pixels(128, 16, 156, 56):
        d = min(sd_polygon(px, py, t) for t in towers)
        blend(img, x, y, (22, 16, 40), coverage(d))
        gem = sd_polygon(px, py, gem_shape)
        halo = math.exp(-max(gem, 0.0) / 3.0) * 0.55
        blend(img, x, y, (120, 240, 255), halo * (1 - coverage(gem)))
        blend(img, x, y, mix((190, 255, 255), (60, 190, 230),
                             clamp((px - 141.5) / 2.5)), coverage(gem))
    for bx, by in ((142.5, 36.5), (142.5, 41.5), (138.5, 44.5), (146.5, 45.5)):
        x, y = scene_at(bx, by)
        blend(img, x, y, (255, 214, 130), 0.9)


def paint_lake(img):
    """Still water mirroring the range, with a few glints of the sunset."""
    top = int(LAKE_Y / SY + 0.5)
    for y in range(top, SCENE_H):
        depth = (y - top) / (SCENE_H - top)
        mirror = max(0, 2 * top - y - 1)
        for x in range(SCENE_W):
            colour = mix(img[mirror][x], (20, 18, 52), 0.45 + 0.4 * depth)
            ripple = 0.5 + 0.5 * math.sin(x * 0.9 + y * 2.7
                                          + math.sin(x * 0.23) * 3)
            glint = 0.10 * ripple * (1 - depth) * math.exp(
                -(((x + 0.5) * SX - 96) / 40.0) ** 2)
            img[y][x] = list(mix(colour, (255, 200, 150), glint))
    for x in range(SCENE_W):
        blend(img, x, top, (255, 210, 160), 0.25)


def paint_title(img):
    word = "ORVANTA"
    scale = 1.42
    ox = round((112 - text_width(word) * scale) / 2) + 2
    shape = text_shape(word, scale, ox, 8.0)
    x0, y0, x1, y1 = shape_bounds(shape)
    for x, y, px, py in scene_pixels(x0 - 3, y0 - 3, x1 + 4, y1 + 4):
        d = sd_shape(px, py, shape)
        shadow = sd_shape(px - 1.2, py - 1.6, shape)
        blend(img, x, y, (8, 6, 24), coverage(shadow - 0.6) * 0.75)
        blend(img, x, y, (40, 20, 30), coverage(d - 1.0))
        gold = ramp([(0.0, (255, 250, 210)), (0.45, (255, 214, 110)),
                     (0.55, (232, 160, 58)), (1.0, (255, 206, 120))],
                    clamp((py - y0) / (y1 - y0)))
        blend(img, x, y, gold, coverage(d))
    paint_rule(img, (x0 + x1) / 2, y1 + 4.5, (x1 - x0) / 2)


def paint_rule(img, cx, cy, half):
    """A gold rule under the title with a diamond at its middle."""
    diamond = [(cx, cy - 3.2), (cx + 3.2, cy), (cx, cy + 3.2), (cx - 3.2, cy)]
    for x, y, px, py in scene_pixels(cx - half - 1, cy - 5, cx + half + 1,
                                     cy + 5):
        fade = clamp(1.0 - abs(px - cx) / half) ** 0.6
        line = coverage(abs(py - cy) - 1.0) * fade
        gem = sd_polygon(px, py, diamond)
        blend(img, x, y, (8, 6, 24), coverage(gem - 1.2) * 0.8)
        blend(img, x, y, (255, 206, 110), max(line, coverage(gem)))
        blend(img, x, y, (255, 250, 220), coverage(gem + 1.2))


def widen(scene):
    """The 160 x 70 banner: the scene with its merged lines doubled."""
    def source(i, doubled):
        return i - sum(1 for d in doubled if d < i)
    return [[scene[source(y, DOUBLED_ROWS)][source(x, DOUBLED_COLUMNS)]
             for x in range(BANNER_W)] for y in range(BANNER_H)]


def draw_banner():
    img = new_image(SCENE_W, SCENE_H)
    paint_sky(img)
    paint_stars(img)
    paint_planet(img)
    paint_layer(img, FAR_PEAKS, 3.2, 31, ((255, 196, 160), (176, 112, 156),
                                          (120, 76, 140), (140, 90, 140)))
    paint_layer(img, NEAR_PEAKS, 2.6, 77, ((214, 120, 130), (70, 44, 90),
                                           (40, 28, 66), (30, 22, 54)))
    paint_spire(img)
    paint_lake(img)
    paint_title(img)
    return widen([[tuple(int(round(clamp(c, 0, 255))) for c in p)
                   for p in row] for row in img])


# --------------------------------------------------------------- the icon
# A round badge: a dark enamel disc with a gold rim and a bright downward
# arrow landing on a bar, drawn separately for each size so that the small
# one keeps strokes a whole pixel wide.

ICON_STYLES = {
    32: dict(radius=15.4, rim=2.2, outline=0.9, shaft=3.6, head_w=14.0,
             head_h=7.0, top=6.0, tip=22.0, bar=(9.0, 24.2, 23.0, 26.0)),
    16: dict(radius=7.4, rim=1.4, outline=0.0, shaft=3.0, head_w=9.0,
             head_h=4.4, top=3.4, tip=12.6, bar=None),
}


def arrow_polygon(size, s):
    c = size / 2.0
    half, head = s["shaft"] / 2, s["head_w"] / 2
    neck = s["tip"] - s["head_h"]
    return [(c - half, s["top"]), (c + half, s["top"]), (c + half, neck),
            (c + head, neck), (c, s["tip"]), (c - head, neck),
            (c - half, neck)]


def icon_pixel(size, s, px, py):
    """Colour and alpha of one icon pixel."""
    c = size / 2.0
    disc = sd_circle(px, py, c, c, s["radius"])
    alpha = coverage(disc)
    if alpha <= 0:
        return (0, 0, 0), 0.0
    # Enamel lit from the upper left.
    t = clamp(((px - c) * 0.5 + (py - c)) / (s["radius"] * 1.6) + 0.5)
    colour = ramp([(0.0, (72, 86, 200)), (0.5, (44, 36, 132)),
                   (1.0, (22, 14, 66))], t)
    ring = disc + s["rim"]
    gold = ramp([(0.0, (255, 240, 170)), (0.5, (240, 176, 60)),
                 (1.0, (170, 96, 30))], clamp((py - c) / (2 * s["radius"]) + 0.5))
    colour = mix(colour, gold, coverage(-ring))
    if s["outline"]:
        colour = mix(colour, (60, 30, 10), coverage(-(disc + s["outline"])))
    arrow = sd_polygon(px, py, arrow_polygon(size, s))
    if s["bar"]:
        arrow = min(arrow, sd_polygon(px, py, rect(*s["bar"])))
    colour = mix(colour, (10, 8, 30), coverage(arrow - 1.0) * 0.8)
    bright = ramp([(0.0, (255, 255, 255)), (1.0, (130, 230, 255))],
                  clamp((py - s["top"]) / (s["tip"] - s["top"])))
    colour = mix(colour, bright, coverage(arrow))
    return colour, alpha


def draw_icon(size):
    s = ICON_STYLES[size]
    pixels, mask = [], []
    for y in range(size):
        for x in range(size):
            colour, alpha = icon_pixel(size, s, x + 0.5, y + 0.5)
            opaque = alpha >= 0.5
            mask.append(opaque)
            pixels.append(tuple(int(round(clamp(v, 0, 255))) for v in colour)
                          if opaque else (0, 0, 0))
    return pixels, mask


# ---------------------------------------------------------- quantisation

def median_cut(colours, count):
    """Up to count representative colours for a list of (colour, weight)."""
    boxes = [colours]
    while len(boxes) < count:
        best, best_range, best_axis = -1, 0, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for axis in range(3):
                values = [c[axis] for c, _ in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_axis = i, spread, axis
        if best < 0:
            break
        box = sorted(boxes.pop(best), key=lambda cw: (cw[0][best_axis], cw[0]))
        half = len(box) // 2
        boxes += [box[:half], box[half:]]
    palette = []
    for box in boxes:
        total = sum(w for _, w in box)
        palette.append(tuple(int(round(sum(c[i] * w for c, w in box) / total))
                             for i in range(3)))
    return palette


def quantise(pixels, mask):
    """Palette of 256 entries (entry 0 black, for the see-through pixels)."""
    counts = {}
    for p, opaque in zip(pixels, mask):
        if opaque:
            counts[p] = counts.get(p, 0) + 1
    colours = sorted(counts.items())
    chosen = [c for c, _ in colours] if len(colours) <= 255 \
        else median_cut(colours, 255)
    palette = [(0, 0, 0)] + chosen
    palette += [(0, 0, 0)] * (256 - len(palette))
    lookup = {}
    indices = []
    for p, opaque in zip(pixels, mask):
        if not opaque:
            indices.append(0)
            continue
        if p not in lookup:
            lookup[p] = 1 + min(range(len(chosen)), key=lambda i: (
                sum((p[k] - chosen[i][k]) ** 2 for k in range(3)), i))
        indices.append(lookup[p])
    return palette, indices


# ------------------------------------------------------------ file formats

def bmp_rows(rows, row_bytes):
    """Bottom-up rows padded to whole 32-bit words, as DIBs store them."""
    out = bytearray()
    for row in reversed(rows):
        out += bytes(row) + b"\0" * (row_bytes - len(row))
    return bytes(out)


def padded(n):
    return (n + 3) // 4 * 4


def encode_bmp(img):
    h, w = len(img), len(img[0])
    stride = padded(w * 3)
    rows = [[v for r, g, b in row for v in (b, g, r)] for row in img]
    pixels = bmp_rows(rows, stride)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels),
                       2835, 2835, 0, 0)
    offset = 14 + len(info)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + pixels


def encode_icon_image(size, palette, indices, mask):
    xor_rows = [indices[y * size:(y + 1) * size] for y in range(size)]
    and_rows = []
    for y in range(size):
        bits = bytearray((size + 7) // 8)
        for x in range(size):
            if not mask[y * size + x]:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bits)
    xor = bmp_rows(xor_rows, padded(size))
    and_mask = bmp_rows(and_rows, padded((size + 7) // 8))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                       len(xor) + len(and_mask), 0, 0, 256, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return info + colours + xor + and_mask


def encode_ico(images):
    """images: list of (size, encoded image); largest colour depth is 8."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries, blobs = b"", b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8,
                               len(blob), offset)
        offset += len(blob)
        blobs += blob
    return head + entries + blobs


def encode_png(rgb_rows):
    h, w = len(rgb_rows), len(rgb_rows[0])
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rgb_rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + \
            struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# ---------------------------------------------------------------- preview

def enlarge(rows, factor):
    out = []
    for row in rows:
        wide = [p for p in row for _ in range(factor)]
        out += [wide] * factor
    return out


def icon_on(size, pixels, mask, background):
    return [[pixels[y * size + x] if mask[y * size + x] else background
             for x in range(size)] for y in range(size)]


def write_previews(folder, banner, icons):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "banner.png"), "wb") as f:
        f.write(encode_png(enlarge(banner, 4)))
    sheet = []
    for background in ((240, 240, 240), (40, 44, 52)):
        band = [[background] * 480 for _ in range(272)]
        x = 8
        for size, (pixels, mask) in sorted(icons.items()):
            for factor in (1, 8):
                tile = enlarge(icon_on(size, pixels, mask, background), factor)
                for y, row in enumerate(tile):
                    band[8 + y][x:x + len(row)] = row
                x += size * factor + 8
        sheet += band
    with open(os.path.join(folder, "icons.png"), "wb") as f:
        f.write(encode_png(sheet))


def main(argv):
    banner = draw_banner()
    icons = {size: draw_icon(size) for size in (16, 32)}
    images = []
    for size in (16, 32):
        pixels, mask = icons[size]
        palette, indices = quantise(pixels, mask)
        images.append((size, encode_icon_image(size, palette, indices, mask)))
    with open(os.path.join(HERE, "banner.bmp"), "wb") as f:
        f.write(encode_bmp(banner))
    with open(os.path.join(HERE, "updater.ico"), "wb") as f:
        f.write(encode_ico(images))
    if len(argv) == 3 and argv[1] == "--preview":
        write_previews(argv[2], banner, icons)
    elif len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
