#!/usr/bin/env python3
"""Draws the program's pictures: the selection dialog's banner and the
application icon with all fifteen images.

Everything is computed from shapes with signed distances, so the output is
the same byte for byte on every run and every machine (no fonts, no image
library, no randomness). Standard library only.

usage: make_art.py OUTDIR    writes OUTDIR/banner.bmp and OUTDIR/velta.ico
"""
import math
import os
import struct
import sys
import zlib

# --------------------------------------------------------------------------
# Shapes


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy
    t = 0.0 if ll == 0 else clamp01(((px - ax) * dx + (py - ay) * dy) / ll)
    ex, ey = px - (ax + t * dx), py - (ay + t * dy)
    return math.sqrt(ex * ex + ey * ey)


def rounded_rect_sd(px, py, x0, y0, x1, y1, r):
    """Signed distance to a rounded rectangle (negative inside)."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - r


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def stroke_coverage(w, h, segments, half_width):
    """Anti-aliased coverage (0..1 per pixel) of capsule strokes; each
    segment only touches the pixels of its own bounding box."""
    cov = [0.0] * (w * h)
    reach = half_width + 1.0
    for (ax, ay, bx, by) in segments:
        x0 = max(0, int(math.floor(min(ax, bx) - reach)))
        x1 = min(w - 1, int(math.ceil(max(ax, bx) + reach)))
        y0 = max(0, int(math.floor(min(ay, by) - reach)))
        y1 = min(h - 1, int(math.ceil(max(ay, by) + reach)))
        for y in range(y0, y1 + 1):
            row = y * w
            for x in range(x0, x1 + 1):
                c = clamp01(half_width - seg_dist(x + 0.5, y + 0.5, ax, ay, bx, by) + 0.5)
                if c > cov[row + x]:
                    cov[row + x] = c
    return cov


# --------------------------------------------------------------------------
# A small stroke font for the banner lettering. Glyphs are polylines in
# units of the cap height (y grows downwards); curves are sampled arcs.


def arc(cx, cy, rx, ry, t0, t1, steps=14):
    pts = []
    for i in range(steps + 1):
        t = math.radians(t0 + (t1 - t0) * i / steps)
        pts.append((cx + rx * math.cos(t), cy + ry * math.sin(t)))
    return pts


GLYPHS = {
    'V': (0.70, [[(0, 0), (0.35, 1), (0.70, 0)]]),
    'E': (0.55, [[(0.55, 0), (0, 0), (0, 1), (0.55, 1)], [(0, 0.5), (0.45, 0.5)]]),
    'L': (0.50, [[(0, 0), (0, 1), (0.50, 1)]]),
    'T': (0.62, [[(0, 0), (0.62, 0)], [(0.31, 0), (0.31, 1)]]),
    'A': (0.72, [[(0, 1), (0.36, 0), (0.72, 1)], [(0.14, 0.62), (0.58, 0.62)]]),
    'D': (0.64, [[(0.26, 1), (0, 1), (0, 0), (0.26, 0)] + arc(0.26, 0.5, 0.38, 0.5, -90, 90)]),
    'S': (0.58, [arc(0.29, 0.25, 0.29, 0.25, -25, -270) + arc(0.29, 0.75, 0.29, 0.25, -90, 155)]),
    'U': (0.62, [[(0, 0), (0, 0.69)] + arc(0.31, 0.69, 0.31, 0.31, 180, 0) + [(0.62, 0)]]),
    'P': (0.58, [[(0, 1), (0, 0), (0.30, 0)] + arc(0.30, 0.27, 0.28, 0.27, -90, 90) + [(0, 0.54)]]),
    'R': (0.60, [[(0, 1), (0, 0), (0.30, 0)] + arc(0.30, 0.27, 0.28, 0.27, -90, 90) + [(0, 0.54)],
                 [(0.30, 0.54), (0.60, 1)]]),
    'O': (0.74, [arc(0.37, 0.5, 0.37, 0.5, 0, 360, 28)]),
    'W': (0.94, [[(0, 0), (0.23, 1), (0.47, 0.22), (0.71, 1), (0.94, 0)]]),
    'N': (0.62, [[(0, 1), (0, 0), (0.62, 1), (0.62, 0)]]),
    ' ': (0.45, []),
}


def text_segments(text, x, y, cap, spacing):
    """Segments of a text line whose top-left corner is (x, y)."""
    segs = []
    for ch in text:
        width, lines = GLYPHS[ch]
        for line in lines:
            for (ax, ay), (bx, by) in zip(line, line[1:]):
                segs.append((x + ax * cap, y + ay * cap, x + bx * cap, y + by * cap))
        x += (width + spacing) * cap
    return segs


# --------------------------------------------------------------------------
# The icon: a blue tile with a white chevron (the V of VELTA, read as a
# download arrow) above a tray bar. Shapes are in tile units 0..1 and are
# thick enough to survive 16 x 16.

TILE_TOP = (0x3A, 0xA0, 0xFF)
TILE_BOTTOM = (0x0A, 0x35, 0x8C)
WHITE = (0xFF, 0xFF, 0xFF)


def icon_pixel(u, v, px):
    """RGBA (0..255 floats) of the icon at tile coordinates (u, v); px is
    the size of one pixel in tile units, for edge smoothing."""
    sd = rounded_rect_sd(u, v, 0.04, 0.04, 0.96, 0.96, 0.22)
    alpha = clamp01(0.5 - sd / px)
    if alpha <= 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    col = lerp(TILE_TOP, TILE_BOTTOM, clamp01((v - 0.04) / 0.92))
    # Soft light on the upper half gives the tile some depth.
    glow = clamp01(1.0 - math.hypot(u - 0.3, v - 0.15) / 0.7) * 0.22
    col = lerp(col, WHITE, glow)
    hw = 0.085
    d = min(seg_dist(u, v, 0.27, 0.22, 0.50, 0.60),
            seg_dist(u, v, 0.73, 0.22, 0.50, 0.60))
    mark = clamp01((hw - d) / px + 0.5)
    d_tray = seg_dist(u, v, 0.28, 0.78, 0.72, 0.78)
    mark = max(mark, clamp01((0.06 - d_tray) / px + 0.5))
    col = lerp(col, WHITE, mark)
    return (col[0], col[1], col[2], alpha * 255.0)


def render_icon(size):
    """size x size RGBA rows, top row first, as integer tuples."""
    px = 1.0 / size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r, g, b, a = icon_pixel((x + 0.5) * px, (y + 0.5) * px, px)
            row.append((int(r + 0.5), int(g + 0.5), int(b + 0.5), int(a + 0.5)))
        rows.append(row)
    return rows


# The classic 16-colour palette, which is what 4-bit icons are drawn with.
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    """6x6x6 colour cube plus a ramp along the tile's gradient and its
    lightened variant, so the 8-bit images keep a smooth tile."""
    pal = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    for i in range(20):
        pal.append(tuple(int(c + 0.5) for c in lerp(TILE_TOP, TILE_BOTTOM, i / 19)))
    for i in range(20):
        base = lerp(TILE_TOP, TILE_BOTTOM, i / 19)
        pal.append(tuple(int(c + 0.5) for c in lerp(base, WHITE, 0.18)))
    return pal


# Entries of VGA16 the 4-bit images may use: the full palette turns the
# tile's light blue into teal and grey, a blue-only subset keeps it blue.
VGA16_USED = [0, 4, 12, 15]


def nearest(pal, rgb, cache, candidates=None):
    hit = cache.get(rgb)
    if hit is None:
        r, g, b = rgb
        hit = min(candidates or range(len(pal)),
                  key=lambda i: (pal[i][0] - r) ** 2 + (pal[i][1] - g) ** 2 + (pal[i][2] - b) ** 2)
        cache[rgb] = hit
    return hit


def bmp_icon_image(rows, bpp):
    """One icon image in BMP form: BITMAPINFOHEADER with doubled height,
    palette (4 and 8 bit), colour bits bottom-up, then the AND mask.
    Transparent pixels get a set mask bit and black colour bits."""
    size = len(rows)
    opaque = [[p[3] >= (1 if bpp == 32 else 128) for p in row] for row in rows]
    pal = VGA16 if bpp == 4 else palette256() if bpp == 8 else []
    cache = {}
    stride = ((size * bpp + 31) // 32) * 4
    colour = bytearray()
    for y in range(size - 1, -1, -1):
        line = bytearray()
        if bpp in (4, 8):
            idx = [nearest(pal, row[:3], cache, VGA16_USED if bpp == 4 else None) if opaque[y][x] else 0
                   for x, row in enumerate(rows[y])]
            if bpp == 8:
                line.extend(idx)
            else:
                for x in range(0, size, 2):
                    line.append((idx[x] << 4) | (idx[x + 1] if x + 1 < size else 0))
        elif bpp == 24:
            for x, (r, g, b, a) in enumerate(rows[y]):
                line.extend((b, g, r) if opaque[y][x] else (0, 0, 0))
        else:
            for r, g, b, a in rows[y]:
                # Colour bits are not premultiplied in icons.
                line.extend((b, g, r, a) if a else (0, 0, 0, 0))
        line.extend(b'\0' * (stride - len(line)))
        colour.extend(line)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        line = bytearray(mask_stride)
        for x in range(size):
            if not opaque[y][x]:
                line[x // 8] |= 0x80 >> (x % 8)
        mask.extend(line)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0,
                         len(colour) + len(mask), 0, 0, len(pal), 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in pal)
    return header + palette + bytes(colour) + bytes(mask)


def png_image(rows):
    size = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for p in row:
            raw.extend(p)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


# Order, sizes and depths of the application icon's images.
ICON_IMAGES = [(32, 4), (16, 4), (48, 8), (32, 8), (24, 8), (16, 8),
               (48, 24), (32, 24), (24, 24), (16, 24),
               (256, 32), (48, 32), (32, 32), (24, 32), (16, 32)]


def make_icon():
    rendered = {}
    images = []
    for size, bpp in ICON_IMAGES:
        if size not in rendered:
            rendered[size] = render_icon(size)
        rows = rendered[size]
        data = png_image(rows) if size == 256 else bmp_icon_image(rows, bpp)
        images.append((size, bpp, data))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        dim = 0 if size == 256 else size
        colours = 16 if bpp == 4 else 0
        out += struct.pack('<BBBBHHII', dim, dim, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


# --------------------------------------------------------------------------
# The banner: 537 x 95, 24 bits, bottom-up.

BANNER_W, BANNER_H = 537, 95
BG_LEFT = (0x08, 0x22, 0x5A)
BG_RIGHT = (0x12, 0x7C, 0xC8)


def make_banner():
    w, h = BANNER_W, BANNER_H
    pixels = [[(0.0, 0.0, 0.0)] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            t = x / (w - 1)
            col = lerp(BG_LEFT, BG_RIGHT, t * t * (3 - 2 * t))
            # A wide, faint diagonal sheen across the right half.
            band = math.exp(-((x - 0.9 * y - 380) / 70.0) ** 2) * 0.10
            col = lerp(col, WHITE, band)
            # Slightly darker towards the bottom edge.
            col = lerp(col, (0, 0, 0), (y / (h - 1)) * 0.18)
            pixels[y][x] = col

    def paint(cov, colour, strength=1.0, dx=0, dy=0):
        for y in range(h):
            for x in range(w):
                sx, sy = x - dx, y - dy
                if 0 <= sx < w and 0 <= sy < h:
                    c = cov[sy * w + sx] * strength
                    if c > 0:
                        pixels[y][x] = lerp(pixels[y][x], colour, c)

    # Icon tile on the left, composited with its alpha.
    tile = 71
    ox, oy = 14, 12
    icon = render_icon(tile)
    for y in range(tile):
        for x in range(tile):
            r, g, b, a = icon[y][x]
            if a:
                pixels[oy + y][ox + x] = lerp(pixels[oy + y][ox + x], (r, g, b), a / 255.0)

    title = text_segments('VELTA', 104, 17, 38, 0.24)
    title_cov = stroke_coverage(w, h, title, 38 * 0.085)
    dl = text_segments('DL', 104 + 38 * 4.52, 17, 38, 0.24)
    dl_cov = stroke_coverage(w, h, dl, 38 * 0.085)
    sub = text_segments('SETUP DOWNLOADER', 105, 67, 11, 0.34)
    sub_cov = stroke_coverage(w, h, sub, 11 * 0.085)

    paint(title_cov, (0, 0, 0), 0.35, 2, 2)
    paint(dl_cov, (0, 0, 0), 0.35, 2, 2)
    paint(title_cov, WHITE)
    paint(dl_cov, (0x8F, 0xE0, 0xFF))
    paint(sub_cov, (0xC8, 0xE6, 0xFF))

    # Thin rule under the lettering.
    for x in range(104, w - 24):
        fade = clamp01((w - 24 - x) / 200.0)
        pixels[59][x] = lerp(pixels[59][x], (0x8F, 0xE0, 0xFF), 0.55 * fade)

    stride = (w * 3 + 3) & ~3
    bits = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for r, g, b in pixels[y]:
            line.extend((int(b + 0.5), int(g + 0.5), int(r + 0.5)))
        line.extend(b'\0' * (stride - len(line)))
        bits.extend(line)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(bits), 3778, 3778, 0, 0)
    # The file header is only the container; the resource keeps info + bits.
    file_header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    return file_header + info + bytes(bits)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, data in (('banner.bmp', make_banner()), ('velta.ico', make_icon())):
        path = os.path.join(outdir, name)
        tmp = path + '.tmp'
        with open(tmp, 'wb') as f:
            f.write(data)
        os.replace(tmp, path)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
