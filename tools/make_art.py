#!/usr/bin/python3
"""Generate the project's own artwork: shell icons and update-window images.

Usage: python3 tools/make_art.py OUTDIR

Everything is drawn from simple geometric shapes using only the standard
library (zlib + struct), so the output is byte-for-byte deterministic.
Files written under OUTDIR:

  icon/ppt.ico, icon/doc.ico, icon/xls.ico   16, 32 and 48 px, 32-bit BGRA
  app/quenvo.ico                            the suite's icon (the logo), 16, 20, 24, 32, 40, 48 px
  update/close.png        75x26  three 25x26 frames: normal, hover, pressed
  update/extra.png       102x20  three 34x20 frames (minimise bar)
  update/install.png     330x34  three 110x34 frames (install button: arrow left, word right)
  update/logo.png         16x16  header logo
  update/downloading.png  32x32  down arrow into a tray
  update/track.png       250x10  progress bar background
  update/fill.png        250x10  progress bar fill
  update/2x/*.png                the same seven drawn at twice the size, for above 96 DPI
"""
import math
import os
import struct
import sys
import zlib

SS = 4  # supersamples per axis for anti-aliasing
WHITE = (255, 255, 255, 255)


# ---------------------------------------------------------------- shapes
# A shape is (inside(x, y) -> bool, (x0, y0, x1, y1) bounding box).

def rect(x0, y0, x1, y1):
    return (lambda x, y: x0 <= x < x1 and y0 <= y < y1), (x0, y0, x1, y1)


def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        dx = max(x0 + r - x, 0, x - (x1 - r))
        dy = max(y0 + r - y, 0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    return inside, (x0, y0, x1, y1)


def ring(cx, cy, r_out, r_in=0.0):
    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        return r_in * r_in <= d <= r_out * r_out
    return inside, (cx - r_out, cy - r_out, cx + r_out, cy + r_out)


def segment(ax, ay, bx, by, w):
    """A stroke of width w with round caps."""
    vx, vy = bx - ax, by - ay
    ll = vx * vx + vy * vy or 1e-9
    h = w / 2.0

    def inside(x, y):
        t = min(1.0, max(0.0, ((x - ax) * vx + (y - ay) * vy) / ll))
        return (x - ax - t * vx) ** 2 + (y - ay - t * vy) ** 2 <= h * h
    box = (min(ax, bx) - h, min(ay, by) - h, max(ax, bx) + h, max(ay, by) + h)
    return inside, box


def polygon(pts):
    def inside(x, y):
        hit = False
        for (x1, y1), (x2, y2) in zip(pts, pts[1:] + pts[:1]):
            if (y1 > y) != (y2 > y):
                if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                    hit = not hit
        return hit
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    return inside, (min(xs), min(ys), max(xs), max(ys))


def union(*shapes):
    boxes = [s[1] for s in shapes]
    box = (min(b[0] for b in boxes), min(b[1] for b in boxes),
           max(b[2] for b in boxes), max(b[3] for b in boxes))
    return (lambda x, y: any(s[0](x, y) for s in shapes)), box


def intersect(a, b):
    return (lambda x, y: a[0](x, y) and b[0](x, y)), a[1]


def polyline(pts, w):
    return union(*[segment(*p, *q, w) for p, q in zip(pts, pts[1:])])


# ---------------------------------------------------------------- canvas

class Canvas:
    """Straight-alpha RGBA canvas: colours 0..255, alpha 0..1. Shapes and colour functions speak
    in design units; a canvas of scale k has k pixels per unit (w x h units, kw x kh pixels)."""

    def __init__(self, w, h, k=1):
        self.k, self.w, self.h = k, w * k, h * k
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(self.w * self.h)]

    def blend(self, x, y, col, cover):
        sa = col[3] / 255.0 * cover
        if sa <= 0:
            return
        p = self.px[y * self.w + x]
        keep = p[3] * (1 - sa)
        out = sa + keep
        for i in range(3):
            p[i] = (col[i] * sa + p[i] * keep) / out
        p[3] = out

    def fill(self, shape, col):
        """Paint a shape; col is an RGBA tuple or a function (x, y) -> RGBA."""
        inside, box = shape
        k = self.k
        x0, y0, x1, y1 = (v * k for v in box)
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)))):
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)))):
                n = sum(inside((x + (i + .5) / SS) / k, (y + (j + .5) / SS) / k)
                        for i in range(SS) for j in range(SS))
                if n:
                    c = col((x + .5) / k, (y + .5) / k) if callable(col) else col
                    self.blend(x, y, c, n / (SS * SS))

    def rgba(self, x, y):
        r, g, b, a = self.px[y * self.w + x]
        return (round(r), round(g), round(b), round(a * 255))


def mix(a, b, t):
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


def shade(col, f):
    """f < 0 darkens towards black, f > 0 lightens towards white."""
    target = (0, 0, 0) if f < 0 else (255, 255, 255)
    return mix(col[:3], target, abs(f)) + tuple(col[3:])


# ---------------------------------------------------------------- encoders

def png_bytes(cv):
    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data +
                struct.pack(">I", zlib.crc32(tag + data) & 0xffffffff))
    raw = bytearray()
    for y in range(cv.h):
        raw.append(0)  # filter: none
        for x in range(cv.w):
            raw.extend(cv.rgba(x, y))
    ihdr = struct.pack(">IIBBBBB", cv.w, cv.h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def dib_bytes(cv):
    """BITMAPINFOHEADER + bottom-up BGRA pixels + 1-bit AND mask."""
    n = cv.w
    xor, mask = bytearray(), bytearray()
    stride = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        row = bytearray(stride)
        for x in range(n):
            r, g, b, a = cv.rgba(x, y)
            xor.extend((b, g, r, a))
            if a == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask.extend(row)
    head = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    return head + bytes(xor) + bytes(mask)


def ico_bytes(canvases, png_sizes=()):
    """An icon file of the canvases: bitmaps, except the sizes in png_sizes, stored PNG-compressed
    (which Windows reads since Vista, at any size)."""
    images = [png_bytes(cv) if cv.w in png_sizes else dib_bytes(cv) for cv in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for cv, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", cv.w % 256, cv.h % 256, 0, 0, 1, 32,
                           len(img), offset)
        offset += len(img)
    return out + b"".join(images)


# ---------------------------------------------------------------- icons

ICON_COLOURS = {"ppt": (214, 82, 46), "doc": (46, 110, 196), "xls": (36, 138, 82)}


def page_shapes(s, d):
    """Outer page, inner page (inset by d), outer fold, inner fold."""
    L, T, R, B, f = 2 * s / 16, s / 16, 14 * s / 16, 15 * s / 16, 4 * s / 16
    k = d * math.sqrt(2)
    outer = polygon([(L, T), (R - f, T), (R, T + f), (R, B), (L, B)])
    inner = polygon([(L + d, T + d), (R - f + d - k, T + d),
                     (R - d, T + f - d + k), (R - d, B - d), (L + d, B - d)])
    fold = polygon([(R - f, T), (R - f, T + f), (R, T + f)])
    fold_in = polygon([(R - f + d, T + d + k), (R - f + d, T + f - d),
                       (R - d - k, T + f - d)])
    return outer, inner, fold, fold_in


def glyph(kind, s):
    u = lambda *v: [c * s for c in v]  # unit coordinates -> pixels
    if kind == "ppt":  # coordinates chosen to land on whole pixels at 16 px
        w = 0.125 * s
        bowl = intersect(ring(*u(0.5, 0.5), 0.1875 * s, 0.0625 * s),
                         rect(*u(0.5, 0.0, 1.0, 1.0)))
        return union(segment(*u(0.375, 0.375, 0.375, 0.78), w), bowl,
                     segment(*u(0.375, 0.375, 0.5, 0.375), w),
                     segment(*u(0.375, 0.625, 0.5, 0.625), w))
    if kind == "doc":
        pts = [(0.26, 0.38), (0.37, 0.79), (0.50, 0.49), (0.63, 0.79), (0.74, 0.38)]
        return polyline([tuple(u(*p)) for p in pts], 0.095 * s)
    w = s / 16  # grid lines sit on pixel centres at 16 px
    xs = [4.5 / 16, 7.5 / 16, 10.5 / 16]
    ys = [6.5 / 16, 8.5 / 16, 10.5 / 16, 12.5 / 16]
    lines = [(x, ys[0], x, ys[-1]) for x in xs] + \
            [(xs[0], y, xs[-1], y) for y in ys]
    return union(*[segment(*u(*ln), w) for ln in lines])


def icon_image(kind, s):
    base = ICON_COLOURS[kind] + (255,)
    dark, light = shade(base, -0.35), shade(base, 0.55)
    outer, inner, fold, fold_in = page_shapes(s, max(1.0, s / 32))
    cv = Canvas(s, s)
    cv.fill(outer, dark)
    cv.fill(inner, lambda x, y: shade(base, 0.12 * (1 - y / s)))
    cv.fill(fold, dark)
    cv.fill(fold_in, light)
    cv.fill(glyph(kind, s), WHITE)
    return cv


# ---------------------------------------------------------------- update window

ORANGE = (232, 135, 30, 255)
SHADOW = (110, 78, 30, 140)
STATES = ("normal", "hover", "pressed")


def tray_arrow(cx, cy, size, w):
    h = size / 2.0
    tray = polyline([(cx - h, cy + 0.1 * size), (cx - h, cy + h),
                     (cx + h, cy + h), (cx + h, cy + 0.1 * size)], w)
    shaft = segment(cx, cy - h, cx, cy + 0.05 * size, w)
    head = polygon([(cx - 0.3 * size, cy - 0.1 * size),
                    (cx + 0.3 * size, cy - 0.1 * size), (cx, cy + 0.26 * size)])
    return union(tray, shaft, head)


def header_bg(cv, ox, fw, fh, state, round_bg):
    """Hover/pressed backdrop for the small header buttons."""
    if state == "normal":
        return
    col = (226, 112, 70, 255) if state == "hover" else (168, 66, 40, 255)
    cx, cy = ox + fw / 2, fh / 2
    if round_bg:
        cv.fill(ring(cx, cy, min(fw, fh) / 2 - 1.5), col)
    else:
        cv.fill(rrect(ox + 3, 2, ox + fw - 3, fh - 2, 4), col)


def header_strip(fw, fh, rounded, glyph, k):
    """Three frames on the header colour, each with a white glyph(ox, dy) that casts a shadow
    when the button is at rest."""
    cv = Canvas(3 * fw, fh, k)
    for i, state in enumerate(STATES):
        ox = i * fw
        header_bg(cv, ox, fw, fh, state, rounded)
        if state == "normal":
            cv.fill(glyph(ox, 1), SHADOW)
        cv.fill(glyph(ox, 0), WHITE)
    return cv


def close_strip(k):
    fw, fh, r = 25, 26, 4.2

    def cross(ox, dy):
        cx, cy = ox + fw / 2, fh / 2
        return union(segment(cx - r, cy - r + dy, cx + r, cy + r + dy, 2.0),
                     segment(cx - r, cy + r + dy, cx + r, cy - r + dy, 2.0))
    return header_strip(fw, fh, True, cross, k)


def extra_strip(k):
    return header_strip(34, 20, False, lambda ox, dy: segment(ox + 12, 11 + dy, ox + 22, 11 + dy, 2.0), k)


def install_strip(k):
    """The arrow sits in the frame's left part: the window writes the button's word in white
    beside it, in x 48..104 of each frame."""
    fw, fh = 110, 34
    cv = Canvas(3 * fw, fh, k)
    tone = {"normal": ORANGE, "hover": shade(ORANGE, 0.18),
            "pressed": shade(ORANGE, -0.15)}
    for i, state in enumerate(STATES):
        ox, base = i * fw, tone[state]
        top = shade(base, 0.15 if state != "pressed" else -0.05)
        cv.fill(rrect(ox + 0.5, 0.5, ox + fw - 0.5, fh - 0.5, 7), shade(base, -0.25))
        cv.fill(rrect(ox + 1.5, 1.5, ox + fw - 1.5, fh - 1.5, 6),
                lambda x, y, a=top, b=base: mix(a, b, y / fh))
        dy = 1 if state == "pressed" else 0
        cv.fill(tray_arrow(ox + 32, fh / 2 + dy, 16, 2.4), WHITE)
    return cv


def logo(s=16):
    """The suite's mark, drawn on a 16-unit grid at s pixels: the update window's header logo
    and the launcher's icon."""
    k = s / 16
    cv = Canvas(s, s)
    cv.fill(rrect(0, 0, 16 * k, 16 * k, 3.5 * k),
            lambda x, y: mix(shade(ORANGE, 0.1), shade(ORANGE, -0.15), y / s))
    cv.fill(union(ring(7.3 * k, 7.0 * k, 4.2 * k, 2.6 * k), segment(10.7 * k, 7.0 * k, 10.7 * k, 13.2 * k, 1.6 * k)),
            WHITE)
    return cv


def downloading(k):
    cv = Canvas(32, 32, k)
    cv.fill(tray_arrow(16, 15.5, 22, 3.2), (88, 118, 152, 255))
    return cv


def track(k):
    cv = Canvas(250, 10, k)
    cv.fill(rect(0, 0, 250, 10), (200, 200, 200, 255))
    cv.fill(rect(1, 1, 249, 9), (230, 230, 230, 255))
    return cv


def progress_fill(k):
    cv = Canvas(250, 10, k)
    left, right = (70, 182, 92), (24, 158, 150)
    cv.fill(rect(0, 0, 250, 10),
            lambda x, y: shade(mix(left, right, x / 250), 0.18 * (1 - y / 10)) + (255,))
    return cv


# ---------------------------------------------------------------- main

def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as fh:
        fh.write(data)


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: make_art.py OUTDIR")
    out = argv[1]
    for kind in ICON_COLOURS:
        images = [icon_image(kind, s) for s in (16, 32, 48)]
        write(os.path.join(out, "icon", kind + ".ico"), ico_bytes(images))
    # The suite's own icon, built into the launcher and the agent (not shipped beside them as the
    # types' are). Title and task bars take 20, 24 and 40 px small icons at 125 to 200 %; those
    # are PNG-compressed, a quarter of a bitmap's bytes, so that they cost the programs 2 KiB.
    write(os.path.join(out, "app", "quenvo.ico"),
          ico_bytes([logo(s) for s in (16, 20, 24, 32, 40, 48)], png_sizes=(20, 24, 40)))
    pngs = {"close": close_strip, "extra": extra_strip, "install": install_strip,
            "logo": lambda k: logo(16 * k), "downloading": downloading, "track": track,
            "fill": progress_fill}
    # The 1x drawing for up to 96 DPI, and the same shapes at twice the size for above (the
    # window draws that down with a high-quality filter at 125 and 150 %).
    for k, folder in ((1, "update"), (2, os.path.join("update", "2x"))):
        for name, draw in pngs.items():
            write(os.path.join(out, folder, name + ".png"), png_bytes(draw(k)))


if __name__ == "__main__":
    main(sys.argv)
