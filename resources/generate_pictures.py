#!/usr/bin/python3
"""Paints the slideshow's pictures and encodes them as JPEG files.

The show is a journey of ten pictures, from dawn over a harbour to the return
home at the next dawn, plus a small picture for the control panel's preview
monitor. Everything is painted here from numbers: sky gradients, value-noise
ridges, discs, polygons and mirrored water, with fixed seeds, so running this
script again gives the same pixels. cjpeg encodes them; the show pictures are
progressive and carry three application segments of our own besides JFIF.

Needs Debian's python3-pil, python3-numpy and libjpeg-turbo-progs (cjpeg).
Run from anywhere:  /usr/bin/python3 resources/generate_pictures.py
"""

import os
import struct
import subprocess
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(HERE, "pictures")

SS = 2  # paint at twice the size, then average 2x2 blocks (anti-aliasing)


# --------------------------------------------------------------------------
# Colours and noise

def col(hex_text):
    h = hex_text.lstrip("#")
    return np.array([int(h[i:i + 2], 16) for i in (0, 2, 4)], dtype=np.float64) / 255.0


def mix(a, b, t):
    return a + (b - a) * t


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def _fade(f):
    return f * f * (3.0 - 2.0 * f)


def noise1(rng, n, cells, octaves=5, persistence=0.5):
    """Fractal value noise along one axis, stretched to 0..1."""
    x = (np.arange(n) + 0.5) / n
    total = np.zeros(n)
    amp = 1.0
    for o in range(octaves):
        c = max(1, int(round(cells * 2 ** o)))
        pts = rng.random(c + 2)
        xs = x * c + rng.random()
        i = np.floor(xs).astype(int)
        f = _fade(xs - i)
        total += amp * (pts[i] * (1 - f) + pts[i + 1] * f)
        amp *= persistence
    return (total - total.min()) / (np.ptp(total) + 1e-12)


def noise2(rng, h, w, cells_y, cells_x, octaves=5, persistence=0.5):
    """Fractal value noise over a grid, stretched to 0..1."""
    y = (np.arange(h) + 0.5) / h
    x = (np.arange(w) + 0.5) / w
    total = np.zeros((h, w))
    amp = 1.0
    for o in range(octaves):
        cy = max(1, int(round(cells_y * 2 ** o)))
        cx = max(1, int(round(cells_x * 2 ** o)))
        g = rng.random((cy + 2, cx + 2))
        ys = y * cy + rng.random()
        xs = x * cx + rng.random()
        iy = np.floor(ys).astype(int)
        ix = np.floor(xs).astype(int)
        fy = _fade(ys - iy)[:, None]
        fx = _fade(xs - ix)[None, :]
        g00 = g[iy[:, None], ix[None, :]]
        g01 = g[iy[:, None], ix[None, :] + 1]
        g10 = g[iy[:, None] + 1, ix[None, :]]
        g11 = g[iy[:, None] + 1, ix[None, :] + 1]
        total += amp * ((g00 * (1 - fx) + g01 * fx) * (1 - fy) + (g10 * (1 - fx) + g11 * fx) * fy)
        amp *= persistence
    return (total - total.min()) / (np.ptp(total) + 1e-12)


# --------------------------------------------------------------------------
# The canvas. Positions are fractions of the width (u) and height (v); sizes
# are fractions of the shorter side (s), so a scene paints at any size.

class Canvas:
    def __init__(self, width, height, seed):
        self.w, self.h = width, height
        self.W, self.H = width * SS, height * SS
        self.S = min(self.W, self.H)
        self.rng = np.random.default_rng(seed)
        self.img = np.zeros((self.H, self.W, 3))
        ys, xs = np.mgrid[0:self.H, 0:self.W].astype(np.float64) + 0.5
        self.px, self.py = xs, ys
        self.u, self.v = xs / self.W, ys / self.H
        self.cols = (np.arange(self.W) + 0.5) / self.W  # u of every column

    # coordinates
    def X(self, u):
        return u * self.W

    def Y(self, v):
        return v * self.H

    # painting
    def paint(self, mask, colour, alpha=1.0):
        assert np.shape(mask) == (self.H, self.W)
        m = np.clip(mask * alpha, 0.0, 1.0)[..., None]
        self.img = self.img * (1.0 - m) + np.asarray(colour) * m

    def light(self, mask, colour, amount=1.0):
        self.img = self.img + (mask * amount)[..., None] * np.asarray(colour)

    def vgradient(self, stops, v=None):
        v = self.v if v is None else v
        ts = np.array([t for t, _ in stops])
        out = np.zeros(v.shape + (3,))
        for ch in range(3):
            out[..., ch] = np.interp(v, ts, [c[ch] for _, c in stops])
        return out

    # masks
    def dist(self, cu, cv):
        return np.hypot(self.px - self.X(cu), self.py - self.Y(cv))

    def disc(self, cu, cv, r):
        return np.clip(r * self.S - self.dist(cu, cv) + 0.5, 0.0, 1.0)

    def glow(self, cu, cv, r):
        d = self.dist(cu, cv) / (r * self.S)
        return 1.0 / (1.0 + d * d) ** 1.5

    def below(self, ridge_v):
        """1 under a ridge line given as v for every working column."""
        return np.clip(self.py - ridge_v[None, :] * self.H + 0.5, 0.0, 1.0)

    def above_row(self, v):
        return np.clip(self.Y(v) - self.py + 0.5, 0.0, 1.0)

    def shapes(self, polygons=(), ellipses=(), rects=(), lines=()):
        """Polygons [(u, v)...], ellipses (cu, cv, ru, rv) in s units,
        rectangles (u0, v0, u1, v1) and lines ([(u, v)...], width in s)
        drawn into one mask at twice the working size."""
        k = 2
        im = Image.new("L", (self.W * k, self.H * k), 0)
        d = ImageDraw.Draw(im)
        for pts in polygons:
            d.polygon([(self.X(a) * k, self.Y(b) * k) for a, b in pts], fill=255)
        for cu, cv, ru, rv in ellipses:
            x, y = self.X(cu) * k, self.Y(cv) * k
            d.ellipse([x - ru * self.S * k, y - rv * self.S * k,
                       x + ru * self.S * k, y + rv * self.S * k], fill=255)
        for u0, v0, u1, v1 in rects:
            d.rectangle([self.X(u0) * k, self.Y(v0) * k, self.X(u1) * k - 1, self.Y(v1) * k - 1], fill=255)
        for pts, width in lines:
            d.line([(self.X(a) * k, self.Y(b) * k) for a, b in pts],
                   fill=255, width=max(1, int(round(width * self.S * k))), joint="curve")
        return np.asarray(im.reduce(k), dtype=np.float64) / 255.0

    # things
    def stars(self, count, v_top, v_bottom, size, colour=(1.0, 1.0, 1.0), fade_to=None):
        rng = self.rng
        acc = np.zeros((self.H, self.W))
        sigma0 = size * self.S
        for _ in range(count):
            x = rng.random() * self.W
            y = self.Y(v_top + (v_bottom - v_top) * rng.random() ** 1.3)
            b = rng.random() ** 2.5
            sigma = sigma0 * (0.6 + 0.9 * b)
            r = int(sigma * 3) + 1
            x0, x1 = max(0, int(x) - r), min(self.W, int(x) + r + 1)
            y0, y1 = max(0, int(y) - r), min(self.H, int(y) + r + 1)
            if x0 >= x1 or y0 >= y1:
                continue
            gx = self.px[y0:y1, x0:x1] - x
            gy = self.py[y0:y1, x0:x1] - y
            acc[y0:y1, x0:x1] += (0.25 + 0.9 * b) * np.exp(-(gx * gx + gy * gy) / (2 * sigma * sigma))
        if fade_to is not None:
            acc *= 1.0 - smoothstep(fade_to - 0.25, fade_to, self.v)
        self.light(np.clip(acc, 0, 1.2), colour)

    def clouds(self, v0, v1, cover, cells_y, cells_x, lit, shade, alpha=0.9, light_from_below=False):
        h = noise2(self.rng, self.H, self.W, cells_y, cells_x, 5, 0.55)
        band = smoothstep(v0, v0 + (v1 - v0) * 0.3, self.v) * (1 - smoothstep(v1 - (v1 - v0) * 0.3, v1, self.v))
        dens = np.clip((h - (1 - cover)) / 0.18, 0, 1) * band
        # shading: compare with the density a little above (or below)
        off = max(1, int(0.012 * self.S))
        shifted = np.roll(dens, off if light_from_below else -off, axis=0)
        lightness = np.clip(0.5 + (dens - shifted) * 1.5, 0, 1)
        colour = mix(shade, lit, lightness[..., None])
        self.paint(dens, colour, alpha)

    def conifer_polys(self, cu, base_v, height, width, tiers=5, lean=0.0):
        """A fir tree's outline: trunk foot on (cu, base_v), sizes in s."""
        S, W, H = self.S, self.W, self.H
        bx, by = cu * W, base_v * H
        top = by - height * S
        crown_bottom = by - height * S * 0.12
        right, left = [], []
        for i in range(tiers):
            t_out = i / tiers
            t_in = (i + 0.7) / tiers
            y_out = crown_bottom - (crown_bottom - top) * t_out
            y_in = crown_bottom - (crown_bottom - top) * t_in
            w_out = width * S / 2 * (1 - t_out) ** 0.9
            w_in = w_out * 0.45
            sway = lean * (by - y_out) / S
            right += [(bx + w_out + sway * S, y_out), (bx + w_in + sway * S, y_in)]
            left += [(bx - w_out + sway * S, y_out), (bx - w_in + sway * S, y_in)]
        apex = (bx + lean * height * S, top)
        trunk_w = max(width * S * 0.08, 1.0)
        pts = [(bx - trunk_w, by), (bx + trunk_w, by), (bx + trunk_w, crown_bottom)] + right + [apex] + \
            left[::-1] + [(bx - trunk_w, crown_bottom)]
        return [(x / W, y / H) for x, y in pts]

    def round_tree(self, cu, base_v, height, width, leaf, dark, trunk, light_dir=(-0.6, -0.8)):
        """A leafy tree on (cu, base_v), sizes in s; light_dir points to the sun."""
        rng = self.rng
        S = self.S
        trunk_mask = self.shapes(polygons=[[
            (cu - width * 0.06 * S / self.W, base_v),
            (cu + width * 0.06 * S / self.W, base_v),
            (cu + width * 0.03 * S / self.W, base_v - height * 0.6 * S / self.H),
            (cu - width * 0.03 * S / self.W, base_v - height * 0.6 * S / self.H)]])
        self.paint(trunk_mask, trunk)
        ccu = cu
        ccv = base_v - height * 0.62 * S / self.H
        blobs = []
        for _ in range(7):
            a = rng.random() * 2 * np.pi
            rr = rng.random() * 0.28
            blobs.append((ccu + np.cos(a) * rr * width * S / self.W,
                          ccv + np.sin(a) * rr * height * 0.7 * S / self.H,
                          width * (0.28 + 0.12 * rng.random()),
                          height * (0.24 + 0.1 * rng.random())))
        blobs.append((ccu, ccv, width * 0.42, height * 0.34))
        m = self.shapes(ellipses=blobs)
        # the side towards the sun is lighter
        dx = (self.px - self.X(ccu)) / (width * S * 0.5)
        dy = (self.py - self.Y(ccv)) / (height * S * 0.4)
        lit = np.clip(0.5 + 0.5 * (dx * light_dir[0] + dy * light_dir[1]), 0, 1)
        self.paint(m, mix(dark, leaf, lit[..., None]))

    def reflect(self, horizon_v, water, fade0, fade1, ripple=0.006, streak_cells=90, seed=None):
        """Mirror everything above the horizon into the rows below it."""
        rng = self.rng if seed is None else np.random.default_rng(seed)
        h = self.Y(horizon_v)
        rows = np.arange(self.H)
        under = rows + 0.5 >= h
        depth = np.clip((rows + 0.5 - h) / max(1.0, self.H - h), 0, 1)
        n = noise2(rng, self.H, self.W, streak_cells, 3, 3, 0.5) - 0.5
        dx = n * ripple * self.W * (0.3 + 2.5 * depth[:, None])
        sx = np.clip(np.round(self.px + dx), 0, self.W - 1).astype(int)
        sy = np.clip(np.round(2 * h - rows - 1), 0, self.H - 1).astype(int)
        src = self.img[sy[:, None], sx]
        m = (fade0 + (fade1 - fade0) * depth)[:, None, None]
        mixed = src * (1 - m) + np.asarray(water) * m
        self.img[under] = mixed[under]

    def vignette(self, amount):
        d = np.hypot((self.u - 0.5) * 1.1, (self.v - 0.5) * 1.1)
        self.img *= (1 - amount * smoothstep(0.35, 0.85, d))[..., None]

    def finish(self, grain=0.06):
        # a fine grain, as in a photograph, keeps the gradients from banding
        img = self.img + ((self.rng.random((self.H, self.W)) - 0.5) * grain)[..., None]
        small = img.reshape(self.h, SS, self.w, SS, 3).mean(axis=(1, 3))
        dither = (np.random.default_rng(11).random(small.shape) - 0.5) / 255.0
        return np.clip(np.round((small + dither) * 255.0), 0, 255).astype(np.uint8)


# --------------------------------------------------------------------------
# Reusable pieces of scenery

def glitter(c, sun_u, horizon_v, spread, colour, amount, cells=(160, 18)):
    n = noise2(c.rng, c.H, c.W, cells[0], cells[1], 2, 0.6)
    depth = np.clip((c.v - horizon_v) / (1 - horizon_v), 0, 1)
    width = spread * (0.15 + depth)
    column = np.exp(-((c.u - sun_u) / width) ** 2)
    sparkle = smoothstep(0.58, 0.8, n) * column * (c.v > horizon_v)
    c.light(sparkle, colour, amount)


def cumulus(c, cu, cv, size, lit, shade, alpha=0.95):
    """A heap of round puffs with a flat base at cv; size in s."""
    rng = c.rng
    puffs = []
    n = 6 + int(rng.random() * 4)
    for i in range(n):
        t = (i + 0.5) / n - 0.5
        r = size * (0.55 - 0.6 * t * t) * (0.7 + 0.5 * rng.random())
        pu = cu + t * size * 2.2 * c.S / c.W
        pv = cv - r * c.S / c.H * (0.3 + 0.5 * rng.random())
        puffs.append((pu, pv, r * 1.15, r))
    m = c.shapes(ellipses=puffs) * np.clip((c.Y(cv) - c.py) / (0.01 * c.S) + 0.5, 0, 1)
    m = np.asarray(Image.fromarray((m * 255).astype(np.uint8)).filter(
        ImageFilter.GaussianBlur(0.006 * c.S)), dtype=np.float64) / 255.0
    top = cv - size * 0.9 * c.S / c.H
    lightness = 1 - smoothstep(top, cv, c.v) * 0.8
    colour = mix(shade, lit, lightness[..., None])
    c.paint(m, colour, alpha)


def flowers(c, count, v0, v1, size, colours, avoid=None):
    """Small blossoms scattered over the near ground, bigger further down."""
    rng = c.rng
    groups = [[] for _ in colours]
    for _ in range(count):
        t = rng.random() ** 0.7
        v = v0 + (v1 - v0) * t
        u = rng.random()
        r = size * (0.4 + t)
        groups[int(rng.random() * len(colours))].append((u, v, r * 1.2, r))
    for g, colour in zip(groups, colours):
        m = c.shapes(ellipses=g)
        if avoid is not None:
            m *= 1 - avoid
        c.paint(m, colour)


def house(c, u0, v_ground, width, wall_h, roof_h, wall, roof, window, lit, chimney=False, glow=0.0):
    """A gabled house standing on (u0, v_ground) with its left wall; sizes in s.
    Windows take the colour lit when given (with a glow), else window."""
    S, W, H = c.S, c.W, c.H
    wu, wh, rh = width * S / W, wall_h * S / H, roof_h * S / H
    body = c.shapes(rects=[(u0, v_ground - wh, u0 + wu, v_ground)])
    c.paint(body, wall)
    over = wu * 0.08
    r = c.shapes(polygons=[[(u0 - over, v_ground - wh), (u0 + wu / 2, v_ground - wh - rh),
                            (u0 + wu + over, v_ground - wh)]])
    if chimney:
        r = np.maximum(r, c.shapes(rects=[(u0 + wu * 0.68, v_ground - wh - rh * 0.95,
                                           u0 + wu * 0.8, v_ground - wh - rh * 0.35)]))
    c.paint(r, roof)
    # two windows, a door in the middle
    win = []
    ww, whh = wu * 0.16, wh * 0.28
    for fx in (0.14, 0.70):
        win.append((u0 + wu * fx, v_ground - wh * 0.72, u0 + wu * fx + ww, v_ground - wh * 0.72 + whh))
    wm = c.shapes(rects=win)
    c.paint(wm, window if lit is None else lit)
    door = c.shapes(rects=[(u0 + wu * 0.43, v_ground - wh * 0.55, u0 + wu * 0.57, v_ground)])
    c.paint(door, roof * 0.8)
    if lit is not None and glow:
        for x0, y0, x1, y1 in win:
            c.light(c.glow((x0 + x1) / 2, (y0 + y1) / 2, width * 0.12), lit, glow)


def crescent(c, cu, cv, r, colour, glow_colour, phase=0.45):
    moon = c.disc(cu, cv, r)
    bite = c.disc(cu + r * phase * c.S / c.W * 1.2, cv - r * 0.25 * c.S / c.H, r * 0.95)
    c.light(c.glow(cu, cv, r * 3.0), glow_colour, 0.25)
    c.paint(moon * (1 - bite), colour)


# --------------------------------------------------------------------------
# The ten places and times of day

def harbour_dawn(c):
    hz = 0.52
    c.img[:] = c.vgradient([(0.0, col("#1c2452")), (0.18, col("#35407a")), (0.34, col("#8a6a9a")),
                            (0.44, col("#e39a8a")), (0.50, col("#ffc98e")), (hz, col("#ffe2b0"))])
    c.stars(25, 0.0, 0.16, 0.0025)
    c.clouds(0.12, 0.42, 0.42, 22, 2.5, col("#ffb59a"), col("#5a4a7a"), 0.85, light_from_below=True)
    sun_u = 0.64
    c.light(c.glow(sun_u, hz, 0.22), col("#ffb070"), 0.55)
    c.paint(c.disc(sun_u, hz, 0.05), col("#fff2cc") * 1.4)
    # far shore: low hills to the right, a headland with a lighthouse to the left
    far = hz - 0.025 - 0.03 * noise1(c.rng, c.W, 3, 5)
    far_m = c.below(far) * (c.u > 0.5) * smoothstep(0.5, 0.62, c.u)
    c.paint(far_m, col("#7a5f86"))
    head = hz - 0.012 - 0.075 * smoothstep(0.42, 0.05, c.cols) * (0.75 + 0.25 * noise1(c.rng, c.W, 6, 4))
    c.paint(c.below(head) * (c.u < 0.48), col("#4a3a62"))
    lh_u, lh_v = 0.14, hz - 0.075 * smoothstep(0.42, 0.05, 0.14) * 0.95
    tower = c.shapes(polygons=[[(lh_u - 0.018, lh_v), (lh_u + 0.018, lh_v), (lh_u + 0.011, lh_v - 0.085),
                                (lh_u - 0.011, lh_v - 0.085)]])
    c.paint(tower, col("#e8d8d0"))
    c.paint(c.shapes(rects=[(lh_u - 0.017, lh_v - 0.045, lh_u + 0.017, lh_v - 0.033)]), col("#b04050"))
    c.paint(c.shapes(rects=[(lh_u - 0.014, lh_v - 0.1, lh_u + 0.014, lh_v - 0.085)]), col("#3a2a40"))
    c.light(c.glow(lh_u, lh_v - 0.092, 0.03), col("#ffe6a0"), 0.9)
    # gulls
    gulls = []
    for gu, gv, s in ((0.30, 0.20, 0.022), (0.38, 0.24, 0.016), (0.78, 0.15, 0.018)):
        su, sv = s * c.S / c.W, s * c.S / c.H
        gulls.append(([(gu - su, gv - sv * 0.4), (gu - su * 0.4, gv - sv * 0.6), (gu, gv),
                       (gu + su * 0.4, gv - sv * 0.6), (gu + su, gv - sv * 0.4)], 0.006))
    c.paint(c.shapes(lines=gulls), col("#3a2e4a"))
    # boats at anchor: hulls, masts and sails, drawn above the water line
    boats = []
    for bu, bs in ((0.40, 0.8), (0.82, 0.6)):
        s_u, s_v = bs * 0.1 * c.S / c.W, bs * 0.1 * c.S / c.H
        bv = hz + 0.004
        boats.append([(bu - s_u, bv - s_v * 0.35), (bu + s_u * 1.1, bv - s_v * 0.35), (bu + s_u * 0.8, bv),
                      (bu - s_u * 0.8, bv)])
        boats.append([(bu + s_u * 0.1, bv - s_v * 0.45), (bu + s_u * 0.1, bv - s_v * 2.4),
                      (bu + s_u * 0.95, bv - s_v * 0.45)])
        boats.append([(bu - s_u * 0.05, bv - s_v * 0.45), (bu - s_u * 0.05, bv - s_v * 2.0),
                      (bu - s_u * 0.8, bv - s_v * 0.45)])
    c.paint(c.shapes(polygons=boats), col("#33284a"))
    c.reflect(hz, col("#2a2f5a"), 0.12, 0.55, ripple=0.01)
    glitter(c, sun_u, hz, 0.12, col("#ffd9a0"), 0.9)
    # the jetty: planks running out from the lower left, posts
    jet = [(0.0, 0.80), (0.30, 0.66), (0.33, 0.67), (0.06, 0.86), (0.0, 0.875)]
    c.paint(c.shapes(polygons=[jet]), col("#5a4048"))
    c.paint(c.shapes(polygons=[[(0.0, 0.875), (0.06, 0.86), (0.33, 0.67), (0.33, 0.68), (0.06, 0.875),
                                (0.0, 0.89)]]), col("#2c1e2a"))
    posts = []
    for t in np.linspace(0.05, 0.95, 6):
        pu = 0.03 + t * 0.29
        pv = 0.86 - t * 0.19
        pw = 0.012 * (1.2 - t * 0.6)
        posts.append((pu - pw, pv - 0.01, pu + pw, pv + 0.07 * (1.1 - t * 0.6)))
    c.paint(c.shapes(rects=posts), col("#2a1c28"))
    # a moored rowing boat by the jetty
    rb = [(0.24, 0.78), (0.46, 0.78), (0.43, 0.805), (0.27, 0.805)]
    c.paint(c.shapes(polygons=[rb]), col("#8a4a3a"))
    c.paint(c.shapes(polygons=[[(0.24, 0.78), (0.46, 0.78), (0.455, 0.786), (0.245, 0.786)]]), col("#e0b090"))
    c.paint(c.shapes(polygons=[[(0.27, 0.805), (0.43, 0.805), (0.41, 0.83), (0.29, 0.83)]]), col("#3a2a40"), 0.35)
    c.vignette(0.25)


def morning_fields(c):
    hz = 0.45
    c.img[:] = c.vgradient([(0.0, col("#5f93cf")), (0.3, col("#97bfe2")), (hz, col("#e6eef0"))])
    sun_u, sun_v = 0.18, 0.16
    c.light(c.glow(sun_u, sun_v, 0.35), col("#fff1c0"), 0.35)
    c.paint(c.disc(sun_u, sun_v, 0.045), col("#fffbe8") * 1.4)
    for cu, cv, size in ((0.42, 0.25, 0.09), (0.75, 0.16, 0.07), (0.93, 0.32, 0.05), (0.08, 0.36, 0.04)):
        cumulus(c, cu, cv, size, col("#ffffff"), col("#b4c0d4"))
    # far hills in the haze
    r1 = hz - 0.06 * noise1(c.rng, c.W, 2, 5) - 0.01
    c.paint(c.below(r1), col("#9db5b2"))
    r2 = hz + 0.02 - 0.07 * noise1(c.rng, c.W, 2.5, 5)
    c.paint(c.below(r2), col("#86aa7a"))
    # patchwork of fields on the middle hill
    r3 = hz + 0.08 - 0.09 * noise1(c.rng, c.W, 1.5, 4)
    # fields are the cells around scattered points, squeezed by the distance
    pal = [col("#7fae4a"), col("#d8c266"), col("#5e9440"), col("#a9c45a"), col("#c9a54e"), col("#94b856")]
    seeds = [(c.rng.random() * 1.2 - 0.1, hz - 0.05 + 0.3 * c.rng.random()) for _ in range(22)]
    best = np.full((c.H, c.W), 9.0)
    second = np.full((c.H, c.W), 9.0)
    field = np.zeros_like(c.img)
    for k, (su, sv) in enumerate(seeds):
        d = np.hypot(c.u - su, (c.v - sv) * 2.5)
        angle = c.rng.random() * np.pi
        rows = 0.92 + 0.08 * np.sin((c.px * np.cos(angle) + c.py * 3 * np.sin(angle)) / c.S * 110)
        colour = pal[k % len(pal)] * rows[..., None]
        closer = d < best
        second = np.where(closer, best, np.minimum(second, d))
        best = np.where(closer, d, best)
        field[closer] = colour[closer]
    border = smoothstep(0.012, 0.004, second - best)
    field = mix(field, col("#4a7434"), border[..., None] * 0.8)
    field *= (0.85 + 0.25 * smoothstep(0.35, 0.75, c.v))[..., None]
    c.paint(c.below(r3), field)
    # hedge line along the hill
    hedge = np.clip(1 - np.abs(c.py - (r3[None, :] * c.H + 0.008 * c.H)) / (0.006 * c.H), 0, 1)
    c.paint(hedge, col("#3f6a32"), 0.8)
    # farm with trees
    fu = 0.64
    fv = float(r3[int(fu * c.W)]) + 0.02
    house(c, fu, fv, 0.09, 0.05, 0.04, col("#f0e8d8"), col("#b0443a"), col("#4a5060"), None, chimney=True)
    house(c, fu + 0.07, fv + 0.004, 0.12, 0.055, 0.035, col("#9a5a3a"), col("#6a3a2a"), col("#3a2a20"), None)
    for tu, th in ((0.58, 0.16), (0.555, 0.12), (0.86, 0.14)):
        tv = float(r3[int(tu * c.W)]) + 0.03
        c.round_tree(tu, tv, th, 0.12, col("#8ab84f"), col("#2f5a2a"), col("#4a3426"))
    poplars = [c.conifer_polys(0.3 + 0.025 * i, float(r2[int((0.3 + 0.025 * i) * c.W)]) + 0.03,
                               0.16, 0.03, tiers=3) for i in range(5)]
    c.paint(c.shapes(polygons=poplars), col("#4f7a48"))
    # near field: furrows running to a point on the horizon
    r4 = 0.74 - 0.05 * noise1(c.rng, c.W, 1.2, 4)
    ang = np.arctan2(c.px - c.X(0.55), c.py - c.Y(0.45))
    furrow = 0.5 + 0.5 * np.sin(ang * 60)
    ground = mix(col("#5f8a36"), col("#8fb84e"), furrow[..., None])
    ground *= (0.8 + 0.3 * smoothstep(0.7, 1.0, c.v))[..., None]
    c.paint(c.below(r4), ground)
    # wild flowers along the near edge
    flowers(c, 140, 0.8, 1.0, 0.006, [col("#f4e27a"), col("#ffffff"), col("#e07aa0")])
    # morning mist in the valley
    mist = np.exp(-((c.v - (hz + 0.04)) / 0.04) ** 2) * (0.5 + 0.5 * noise2(c.rng, c.H, c.W, 3, 6, 3))
    c.paint(mist, col("#f2f4ee"), 0.45)
    c.vignette(0.18)


def forest_noon(c):
    c.img[:] = c.vgradient([(0.0, col("#bfe0f5")), (0.5, col("#e8f3e0")), (1.0, col("#e8f3e0"))])
    # layers of firs, from hazy far ones to dark near ones
    layers = [(0.50, 0.20, col("#a6c4a8"), 40), (0.54, 0.28, col("#7ea57e"), 30),
              (0.58, 0.38, col("#4f7f53"), 22), (0.62, 0.5, col("#2f5a37"), 14)]
    for base, size, colour, count in layers:
        polys = []
        for i in range(count):
            tu = (i + 0.5 * c.rng.random()) / count * 1.1 - 0.05
            if 0.42 < tu < 0.58 and size > 0.3:
                continue
            hgt = size * (0.7 + 0.5 * c.rng.random())
            polys.append(c.conifer_polys(tu, base + 0.02 * c.rng.random(), hgt, hgt * 0.38, tiers=6))
        c.paint(np.maximum(c.shapes(polygons=polys), c.below(np.full(c.W, base - 0.15 * size))), colour)
        # haze between the layers
        c.paint(np.ones((c.H, c.W)), col("#e6f0da"), 0.08)
    # the meadow floor
    g = noise2(c.rng, c.H, c.W, 20, 20, 4)
    floor_col = mix(col("#4d7a30"), col("#8cb84a"), g[..., None])
    c.paint(c.below(np.full(c.W, 0.61)), floor_col)
    # a winding path running into the trees
    t = np.clip((c.v - 0.6) / 0.4, 0, 1)
    centre = 0.5 + 0.09 * np.sin(t * 4.0 + 0.5) * t - 0.05 * t
    half = 0.012 + 0.26 * t ** 1.4
    path = np.clip((half - np.abs(c.u - centre)) * c.W / 1.5, 0, 1) * (c.v > 0.6)
    pn = noise2(c.rng, c.H, c.W, 30, 30, 4)
    path_col = mix(col("#b08a58"), col("#e0c48e"), pn[..., None])
    c.paint(path, path_col)
    # grass tufts on the path edges
    edge = np.clip(1 - np.abs(np.abs(c.u - centre) - half) * c.W / 3, 0, 1) * (c.v > 0.62)
    c.paint(edge * smoothstep(0.4, 0.7, pn), col("#5d8a36"), 0.7)
    # big near trunks and the leaf canopy
    trunks = [(-0.02, 0.11), (0.10, 0.05), (0.86, 0.07), (0.97, 0.12)]
    for tu, tw in trunks:
        m = c.shapes(polygons=[[(tu - tw / 2, 1.0), (tu + tw / 2, 1.0), (tu + tw * 0.35, 0.0), (tu - tw * 0.35, 0.0)]])
        bark = noise2(c.rng, c.H, c.W, 6, 60, 3)
        side = np.clip((c.u - (tu - tw / 2)) / tw, 0, 1)
        colour = mix(col("#2a1c14"), col("#7a5a40"), (0.4 * bark + 0.6 * np.sin(side * np.pi) ** 2)[..., None])
        c.paint(m, colour)
    canopy_n = noise2(c.rng, c.H, c.W, 10, 14, 5)
    canopy = smoothstep(0.42, 0.5, canopy_n + 0.5 * (1 - smoothstep(0.0, 0.3, c.v)) - 0.4 * smoothstep(0.1, 0.4, c.v))
    leaf = noise2(c.rng, c.H, c.W, 60, 80, 2)
    c.paint(canopy, mix(col("#1f3a1a"), col("#6a9a3a"), (leaf * canopy_n)[..., None]))
    # noon sunlight: bright patches on the ground and soft shafts
    dapple = smoothstep(0.6, 0.7, noise2(c.rng, c.H, c.W, 24, 12, 3)) * smoothstep(0.6, 0.75, c.v)
    c.light(dapple, col("#fff0b0"), 0.15)
    rays = (0.5 + 0.5 * np.sin((c.u * 0.8 + c.v * 0.5) * 40)) ** 6 * smoothstep(0.0, 0.3, c.v) * \
        (1 - smoothstep(0.5, 0.9, c.v))
    c.light(rays, col("#fff8d0"), 0.08)
    c.vignette(0.3)


def mountain_pass(c):
    c.img[:] = c.vgradient([(0.0, col("#2f66b0")), (0.35, col("#79a6d6")), (0.6, col("#d6e4ee"))])
    c.clouds(0.05, 0.3, 0.3, 5, 5, col("#ffffff"), col("#b5c3d6"), 0.8)

    def mountains(base, amp, cells, colour, snow, far):
        n = noise1(c.rng, c.W, cells, 6, 0.45)
        ridge = base - amp * (0.45 * n + 0.55 * (1 - np.abs(2 * n - 1)) ** 1.5)
        m = c.below(ridge)
        depth = np.clip((c.py - ridge[None, :] * c.H) / (amp * c.H), 0, 1)

        def facing(window):
            k = np.ones(window) / window
            smooth = np.convolve(np.pad(ridge, window, mode="edge"), k, mode="same")[window:-window]
            return np.clip(0.5 - np.gradient(smooth) * c.H * 1.2, 0, 1)[None, :]
        # faces turned to the sun (on the left) are light. Near the crest the
        # light follows the crest's own slope, taken over a wider stretch
        # further down; lower still, ridges and gullies of the face take over.
        folds = noise2(c.rng, c.H, c.W, cells * 3, cells * 7, 5, 0.5)
        folds = 1 - np.abs(2 * folds - 1)
        faces = np.clip(0.5 - np.gradient(folds, axis=1) * c.W / cells * 0.05, 0, 1)
        lit = mix(facing(3), mix(facing(40), faces, 0.7), smoothstep(0.0, 0.35, depth))
        grain = noise2(c.rng, c.H, c.W, cells * 10, cells * 14, 4)
        rock = mix(colour * 0.7, np.minimum(colour * 1.25, 1), (0.75 * lit + 0.25 * grain)[..., None])
        if snow:
            snow_v = base - amp * (0.4 + 0.2 * grain)
            s = np.clip((snow_v * c.H - c.py) / 3.0, 0, 1)
            snow_col = mix(col("#a9bcd8"), col("#ffffff"), lit[..., None])
            rock = mix(rock, snow_col, s[..., None])
        rock = mix(rock, col("#c8d8ea"), (far * (1 - 0.6 * depth))[..., None])
        c.paint(m, rock)
        return ridge

    mountains(0.5, 0.34, 1.3, col("#8088a8"), True, 0.4)
    mountains(0.62, 0.26, 1.1, col("#6a7888"), True, 0.2)
    mountains(0.74, 0.16, 1.5, col("#4f6a48"), False, 0.05)
    # alpine meadow up to the saddle
    mead = 0.82 - 0.12 * noise1(c.rng, c.W, 1, 4) * smoothstep(0.2, 0.9, c.cols)
    grass = noise2(c.rng, c.H, c.W, 20, 30, 4)
    c.paint(c.below(mead), mix(col("#5e7a3a"), col("#a2b05a"), grass[..., None]))
    # the road climbing in bends towards the pass
    road = [(0.40, 1.0), (0.52, 0.92), (0.34, 0.87), (0.5, 0.815), (0.42, 0.78), (0.47, 0.745)]
    widths = [0.03, 0.022, 0.016, 0.011, 0.008, 0.006]
    lines = [([road[i], road[i + 1]], widths[i]) for i in range(len(road) - 1)]
    c.paint(c.shapes(lines=lines), col("#c9b99a"))
    # firs on the slopes
    polys = []
    for i in range(26):
        tu = c.rng.random()
        if 0.3 < tu < 0.56:
            continue
        tv = 0.84 + 0.16 * c.rng.random()
        hgt = 0.08 + 0.14 * (tv - 0.84) / 0.16
        polys.append(c.conifer_polys(tu, tv, hgt, hgt * 0.4, tiers=5))
    c.paint(c.shapes(polygons=sorted(polys, key=lambda p: p[0][1])), col("#1f3a2a"))
    # a stone hut at the pass
    house(c, 0.56, 0.80, 0.06, 0.03, 0.025, col("#a09a8a"), col("#4a3a34"), col("#2a2a2a"), None)
    c.vignette(0.2)


def desert_afternoon(c):
    hz = 0.5
    c.img[:] = c.vgradient([(0.0, col("#3f7cc0")), (0.3, col("#86b0d8")), (hz, col("#f1dcb0"))])
    sun_u, sun_v = 0.8, 0.17
    c.light(c.glow(sun_u, sun_v, 0.25), col("#fff6d8"), 0.6)
    c.paint(c.disc(sun_u, sun_v, 0.04), col("#fffdf2") * 1.4)
    # mesas far off
    mesa = []
    for mu, mw, mh in ((0.12, 0.16, 0.07), (0.33, 0.08, 0.05), (0.66, 0.2, 0.06)):
        mesa.append([(mu - mw / 2 - 0.03, hz + 0.01), (mu - mw / 2, hz - mh), (mu + mw / 2, hz - mh),
                     (mu + mw / 2 + 0.035, hz + 0.01)])
    strata = noise2(c.rng, c.H, c.W, 40, 2, 3)
    mesa_col = mix(col("#c09080"), col("#e0b494"), (0.6 * smoothstep(hz - 0.08, hz, c.v) + 0.4 * strata)[..., None])
    c.paint(c.shapes(polygons=mesa), mesa_col)
    c.paint(c.below(np.full(c.W, hz)), col("#e8c898"))
    # dunes, far to near, lit from the right
    layers = [(hz + 0.08, 0.07, 2.5, col("#e6bf88")), (hz + 0.2, 0.12, 1.8, col("#e2a96a")),
              (hz + 0.36, 0.15, 1.3, col("#d99756")), (hz + 0.52, 0.16, 1.0, col("#cf8546"))]
    for base, amp, cells, colour in layers:
        n = noise1(c.rng, c.W, cells, 4, 0.35)
        crest = base - amp * n
        m = c.below(crest)
        slope = np.gradient(crest) * c.H
        # slopes rising towards the sun on the right are lit, the lee sides dark
        lit = smoothstep(-0.25, 0.25, -slope)
        fall = np.clip((c.py - crest[None, :] * c.H) / (0.14 * c.H), 0, 1)
        shade = mix(lit[None, :] * np.ones_like(c.py), np.full_like(c.py, 0.55), fall)
        ripple = 0.5 + 0.5 * np.sin(c.py / c.S * 160 + 10 * noise2(c.rng, c.H, c.W, 3, 6, 3) + c.px / c.S * 25)
        colour_map = mix(colour * 0.72, np.minimum(colour * 1.15, 1), shade[..., None])
        colour_map *= (0.96 + 0.06 * ripple * fall)[..., None]
        sand = noise2(c.rng, c.H, c.W, 90, 120, 2, 0.7)
        colour_map *= (0.93 + 0.14 * sand)[..., None]
        c.paint(m, colour_map)
        # crest highlight
        c.light(np.clip(1 - np.abs(c.py - crest[None, :] * c.H) / 2.5, 0, 1) * lit[None, :], col("#fff0d0"), 0.25)
    # a small caravan on the second dune
    cam = []
    cv = layers[1][0] - 0.05
    su, sv = 0.018 * c.S / c.W, 0.018 * c.S / c.H
    for cu in (0.40, 0.45, 0.50):
        cam.append((cu, cv - sv * 1.6, su * 1.1, sv * 0.6))
    camels = c.shapes(ellipses=[(u, v, a * c.W / c.S, b * c.H / c.S) for u, v, a, b in cam])
    legs = []
    for u, v, a, b in cam:
        legs += [([(u - a * 0.6, v), (u - a * 0.6, v + b * 1.8)], 0.004),
                 ([(u + a * 0.6, v), (u + a * 0.6, v + b * 1.8)], 0.004),
                 ([(u + a * 0.9, v - b * 0.3), (u + a * 1.3, v - b * 1.6), (u + a * 1.55, v - b * 1.5)], 0.005)]
    c.paint(np.maximum(camels, c.shapes(lines=legs)), col("#6a4630"))
    c.vignette(0.2)


def coast_sunset(c):
    hz = 0.56
    c.img[:] = c.vgradient([(0.0, col("#2a2456")), (0.18, col("#5a3270")), (0.34, col("#b2487a")),
                            (0.46, col("#f07a4a")), (hz, col("#ffc56a"))])
    sun_u = 0.42
    c.light(c.glow(sun_u, hz - 0.02, 0.35), col("#ff9a4a"), 0.6)
    c.paint(c.disc(sun_u, hz - 0.015, 0.075), col("#fff0b0") * 1.4)
    c.clouds(0.1, 0.46, 0.4, 14, 2.5, col("#ffb070"), col("#5a2a5a"), 0.9, light_from_below=True)
    # cliffs to the right with a lighthouse
    cliff = hz + 0.03 - 0.33 * smoothstep(0.62, 0.8, c.cols) * (0.8 + 0.2 * noise1(c.rng, c.W, 8, 4))
    foot = hz + 0.03 + 0.22 * smoothstep(0.72, 1.0, c.cols)
    cm = c.below(cliff) * (1 - c.below(foot))
    strata = noise2(c.rng, c.H, c.W, 20, 3, 3)
    cliff_col = mix(col("#2a1a30"), col("#6a3a4a"), (0.6 * strata * smoothstep(0.95, 0.7, c.u))[..., None])
    lu = 0.86
    lv = float(cliff[int(lu * c.W)]) + 0.01
    # the sea
    c.paint(c.below(np.full(c.W, hz)), col("#3a2a5a"))
    c.reflect(hz, col("#2a2050"), 0.15, 0.6, ripple=0.012)
    glitter(c, sun_u, hz, 0.09, col("#ffd080"), 1.1)
    waves = smoothstep(0.62, 0.72, noise2(c.rng, c.H, c.W, 120, 10, 2)) * (c.v > hz)
    c.paint(waves, col("#2a1e48"), 0.35)
    c.paint(cm, cliff_col)
    c.paint(c.shapes(polygons=[[(lu - 0.022, lv), (lu + 0.022, lv), (lu + 0.014, lv - 0.16), (lu - 0.014, lv - 0.16)]]),
            col("#ece0d8"))
    c.paint(c.shapes(rects=[(lu - 0.02, lv - 0.09, lu + 0.02, lv - 0.06)]), col("#c03a3a"))
    c.paint(c.shapes(rects=[(lu - 0.017, lv - 0.185, lu + 0.017, lv - 0.16)]), col("#2a2030"))
    c.light(c.glow(lu, lv - 0.172, 0.05), col("#fff0a0"), 1.0)
    beam = np.clip(1 - np.abs((c.py - c.Y(lv - 0.172)) - (c.px - c.X(lu)) * 0.12) / (0.02 * c.H + 0.04 * np.abs(c.px - c.X(lu))), 0, 1)
    c.light(beam * (c.u < lu) * smoothstep(0.0, 0.8, c.u), col("#fff0c0"), 0.18)
    # the beach in the foreground with a line of foam
    beach = 0.86 - 0.05 * np.sin(np.linspace(0, 3, c.W)) - 0.03 * noise1(c.rng, c.W, 2, 4)
    sand = mix(col("#7a4a50"), col("#c07a60"), noise2(c.rng, c.H, c.W, 40, 60, 4, 0.7)[..., None] * 0.6 + 0.2)
    wet = np.clip((c.py - beach[None, :] * c.H) / (0.03 * c.H), 0, 1)
    c.paint(c.below(beach), mix(col("#8a5060"), sand, wet[..., None]))
    foam = np.clip(1 - np.abs(c.py - beach[None, :] * c.H) / (0.008 * c.H), 0, 1)
    c.paint(foam * (0.6 + 0.4 * noise2(c.rng, c.H, c.W, 2, 30, 2)), col("#ffe0c8"), 0.8)
    # birds
    birds = []
    for gu, gv, s in ((0.22, 0.22, 0.02), (0.27, 0.26, 0.015), (0.18, 0.28, 0.013), (0.6, 0.18, 0.017)):
        su, sv = s * c.S / c.W, s * c.S / c.H
        birds.append(([(gu - su, gv - sv * 0.4), (gu - su * 0.4, gv - sv * 0.6), (gu, gv),
                       (gu + su * 0.4, gv - sv * 0.6), (gu + su, gv - sv * 0.4)], 0.005))
    c.paint(c.shapes(lines=birds), col("#2a1a30"))
    c.vignette(0.25)


def lake_dusk(c):
    hz = 0.55
    c.img[:] = c.vgradient([(0.0, col("#161d44")), (0.25, col("#2f336a")), (0.42, col("#6a5a8e")),
                            (0.5, col("#c88a8a")), (hz, col("#f0b08a"))])
    c.stars(70, 0.0, 0.35, 0.0022, fade_to=0.4)
    mu, mv = 0.76, 0.2
    c.light(c.glow(mu, mv, 0.2), col("#a0a8d8"), 0.25)
    c.paint(c.disc(mu, mv, 0.045), col("#f4f0dc"))
    craters = c.disc(mu - 0.01, mv - 0.01, 0.012) + c.disc(mu + 0.012, mv + 0.012, 0.008)
    c.paint(np.clip(craters, 0, 1) * c.disc(mu, mv, 0.045), col("#d8d2c0"), 0.6)
    # hills and the far shore with its fir line
    hills = hz - 0.04 - 0.12 * noise1(c.rng, c.W, 1.5, 5)
    c.paint(c.below(hills), col("#3e3566"))
    polys = []
    for i in range(70):
        tu = i / 70 + 0.01 * c.rng.random()
        hgt = 0.05 + 0.06 * c.rng.random()
        polys.append(c.conifer_polys(tu, hz + 0.002, hgt, hgt * 0.35, tiers=4))
    c.paint(c.shapes(polygons=polys), col("#1e1a36"))
    c.paint(c.below(np.full(c.W, hz - 0.01)), col("#1e1a36"))
    # a cabin on the shore with a warm window
    cu, cv = 0.3, hz + 0.001
    house(c, cu, cv, 0.07, 0.035, 0.03, col("#2a2038"), col("#1a1428"), None, col("#ffc060"), chimney=True, glow=0.6)
    c.reflect(hz, col("#1a1a3a"), 0.1, 0.5, ripple=0.006)
    # ripples catching the moon
    glitter(c, mu, hz, 0.05, col("#d8d8f0"), 0.45, cells=(120, 12))
    # reeds at the near corner
    reeds = []
    for i in range(26):
        ru = 0.02 + 0.2 * c.rng.random()
        if c.rng.random() < 0.35:
            ru = 0.86 + 0.14 * c.rng.random()
        top = 0.72 + 0.15 * c.rng.random()
        bend = (c.rng.random() - 0.5) * 0.04
        reeds.append(([(ru, 1.0), (ru + bend * 0.5, (1 + top) / 2), (ru + bend, top)], 0.004))
    c.paint(c.shapes(lines=reeds), col("#0e0c1c"))
    heads = c.shapes(ellipses=[(p[0][2][0], p[0][2][1] + 0.02, 0.006, 0.02) for p in reeds[::3]])
    c.paint(heads, col("#0e0c1c"))
    c.vignette(0.3)


def town_night(c):
    hz = 0.62
    c.img[:] = c.vgradient([(0.0, col("#050818")), (0.3, col("#0f1a3e")), (0.55, col("#2a2a58")),
                            (hz, col("#4a3a5e"))])
    c.stars(160, 0.0, 0.5, 0.002, fade_to=0.55)
    crescent(c, 0.18, 0.16, 0.05, col("#fff4d0"), col("#8090c0"))
    hill = hz - 0.08 - 0.1 * noise1(c.rng, c.W, 1.2, 4)
    c.paint(c.below(hill), col("#151634"))
    # rows of houses climbing the hill, far rows smaller and dimmer
    rows = [(hz - 0.06, 0.045, 0.55), (hz - 0.02, 0.06, 0.8), (hz + 0.02, 0.08, 1.0)]
    for ri, (base, size, bright) in enumerate(rows):
        u = -0.02 + 0.03 * c.rng.random()
        bodies, roofs, wins = [], [], []
        while u < 1.02:
            w = size * (0.9 + 0.6 * c.rng.random())
            wu = w * c.S / c.W
            wall = size * (0.7 + 0.8 * c.rng.random()) * c.S / c.H
            roof = size * (0.4 + 0.3 * c.rng.random()) * c.S / c.H
            v0 = base + 0.01 * c.rng.random()
            bodies.append((u, v0 - wall, u + wu, v0 + 0.1))
            roofs.append([(u - wu * 0.05, v0 - wall), (u + wu / 2, v0 - wall - roof), (u + wu * 1.05, v0 - wall)])
            floors = max(1, int(wall / (size * 0.45 * c.S / c.H)))
            for f in range(floors):
                for k in range(2):
                    if c.rng.random() < 0.62:
                        x0 = u + wu * (0.18 + 0.44 * k)
                        y0 = v0 - wall + (f + 0.25) * wall / floors
                        wins.append((x0, y0, x0 + wu * 0.2, y0 + wall / floors * 0.4))
            u += wu * (1.0 + 0.15 * c.rng.random())
        shade = 0.6 + 0.4 * ri / 2
        c.paint(c.shapes(rects=bodies), col("#2a2c52") * shade)
        c.paint(c.shapes(polygons=roofs), col("#161630") * shade)
        wm = c.shapes(rects=wins)
        warm = mix(col("#ffb050"), col("#ffe8a0"), c.rng.random())
        c.paint(wm, warm * bright)
        # window glow
        blur = np.asarray(Image.fromarray((wm * 255).astype(np.uint8)).resize(
            (c.W // 8, c.H // 8), Image.BOX).resize((c.W, c.H), Image.BILINEAR), dtype=np.float64) / 255
        c.light(blur, col("#ffa040"), 0.6 * bright)
        if ri == 0:
            # the church with its steeple in the far row
            su = 0.62
            c.paint(c.shapes(polygons=[[(su - 0.03, base), (su - 0.03, base - 0.16), (su, base - 0.3),
                                        (su + 0.03, base - 0.16), (su + 0.03, base)]]), col("#34345e"))
            c.paint(c.shapes(rects=[(su - 0.008, base - 0.1, su + 0.008, base - 0.07)]), col("#ffd890"))
            c.paint(c.disc(su, base - 0.12, 0.02), col("#ffe0a0"))
    # the river in front mirrors the lights
    c.reflect(hz + 0.1, col("#0a0c22"), 0.25, 0.65, ripple=0.007, streak_cells=220)
    # the quay and its lamps
    c.paint(c.shapes(rects=[(0.0, hz + 0.085, 1.0, hz + 0.105)]), col("#3a344a"))
    for lu in (0.12, 0.37, 0.62, 0.87):
        c.paint(c.shapes(rects=[(lu - 0.003, hz + 0.02, lu + 0.003, hz + 0.09)]), col("#101020"))
        c.light(c.glow(lu, hz + 0.018, 0.04), col("#ffc870"), 1.0)
        c.light(np.exp(-((c.u - lu) / 0.01) ** 2) * (c.v > hz + 0.105) * smoothstep(0.2, 0.75, noise2(c.rng, c.H, c.W, 150, 6, 2)),
                col("#ffb050"), 0.6)
    c.vignette(0.3)


def aurora_night(c):
    c.img[:] = c.vgradient([(0.0, col("#02030c")), (0.5, col("#06122a")), (0.8, col("#0c2238"))])
    # the milky way, a soft diagonal band of haze and many faint stars
    band = np.exp(-(((c.v - 0.15) - (c.u - 0.5) * -0.5) / 0.12) ** 2)
    haze = noise2(c.rng, c.H, c.W, 8, 10, 5)
    c.light(band * haze, col("#6a6a90"), 0.35)
    c.stars(420, 0.0, 0.7, 0.0016, fade_to=0.72)
    c.stars(60, 0.0, 0.5, 0.003)
    # aurora curtains
    for base, amp, hue, strength in ((0.42, 0.12, 0, 0.9), (0.3, 0.1, 1, 0.6)):
        curve = base - amp * noise1(c.rng, c.W, 1.5, 4)
        rays = noise1(c.rng, c.W, 40, 3, 0.6)
        above = (curve[None, :] * c.H - c.py) / c.H
        body = np.where(above > 0, np.exp(-above / 0.12), np.exp(above / 0.01))
        body *= (0.45 + 0.55 * rays[None, :]) * (0.5 + 0.5 * noise1(c.rng, c.W, 3, 3)[None, :])
        green = col("#40ff9a") if hue == 0 else col("#60e0c0")
        purple = col("#a060d0")
        colour = mix(green, purple, smoothstep(0.0, 0.25, above)[..., None])
        c.light(body, colour, strength * 0.55)
    hz = 0.72
    # snowy hills, faintly green from the sky
    hills = hz - 0.03 - 0.08 * noise1(c.rng, c.W, 1.5, 4)
    c.paint(c.below(hills), mix(col("#3a5068"), col("#8ab0b8"), 0.3))
    c.paint(c.below(hills) * np.exp(-((c.py - hills[None, :] * c.H) / (0.05 * c.H))), col("#9ad0c0"), 0.2)
    # a frozen lake in the middle reflecting the lights
    lake = c.shapes(ellipses=[(0.5, 0.86, 0.6, 0.085)])
    saved = c.img.copy()
    c.reflect(hz - 0.01, col("#0c1a2a"), 0.35, 0.6, ripple=0.004)
    c.img = mix(saved, c.img, lake[..., None])
    c.paint(c.below(np.full(c.W, 0.95)) * (1 - lake), col("#5a7088"))
    # firs on both sides
    polys = []
    for i in range(40):
        left = i % 2 == 0
        tu = (0.28 * c.rng.random()) if left else (1 - 0.26 * c.rng.random())
        tv = hz + 0.02 + 0.28 * c.rng.random()
        hgt = 0.1 + 0.35 * (tv - hz) / 0.3
        polys.append(c.conifer_polys(tu, tv, hgt, hgt * 0.38, tiers=6))
    polys.sort(key=lambda p: p[0][1])
    c.paint(c.shapes(polygons=polys), col("#050a12"))
    # a tent with a lantern
    tu, tv = 0.66, 0.8
    c.paint(c.shapes(polygons=[[(tu - 0.05, tv), (tu, tv - 0.07), (tu + 0.05, tv)]]), col("#c05a30"))
    c.paint(c.shapes(polygons=[[(tu - 0.008, tv), (tu, tv - 0.05), (tu + 0.008, tv)]]), col("#ffd080"))
    c.light(c.glow(tu, tv - 0.015, 0.06), col("#ffb060"), 0.5)
    c.vignette(0.25)


def home_dawn(c):
    hz = 0.5
    c.img[:] = c.vgradient([(0.0, col("#5d7fc0")), (0.25, col("#a6bddc")), (0.42, col("#f4d6b0")),
                            (hz, col("#ffe6b8"))])
    sun_u, sun_v = 0.8, hz - 0.02
    c.light(c.glow(sun_u, sun_v, 0.3), col("#ffd890"), 0.6)
    c.paint(c.disc(sun_u, sun_v, 0.05), col("#fff8e0") * 1.4)
    ang = np.arctan2(c.py - c.Y(sun_v), c.px - c.X(sun_u))
    rays = (0.5 + 0.5 * np.sin(ang * 18)) ** 4 * c.glow(sun_u, sun_v, 0.6) * (c.v < hz)
    c.light(rays, col("#fff0c0"), 0.08)
    c.clouds(0.08, 0.34, 0.33, 10, 3, col("#ffe0d0"), col("#9a9ac0"), 0.8, light_from_below=True)
    # far hills, the home hill, the near meadow
    far = hz - 0.06 * noise1(c.rng, c.W, 2, 5)
    c.paint(c.below(far), col("#a8a8b8"))
    mid = hz + 0.06 - 0.12 * np.exp(-((c.cols - 0.45) / 0.3) ** 2) - 0.02 * noise1(c.rng, c.W, 3, 4)
    g = noise2(c.rng, c.H, c.W, 10, 14, 4)
    c.paint(c.below(mid), mix(col("#6a9a58"), col("#a9c878"), g[..., None]))
    mist = np.exp(-((c.v - (hz + 0.06)) / 0.03) ** 2)
    c.paint(mist, col("#fff0dc"), 0.5)
    # the cottage on the hill: warm windows, a big tree beside it
    hu = 0.45
    hv = float(mid[int(hu * c.W)]) + 0.035
    c.round_tree(hu + 0.17, hv + 0.005, 0.24, 0.18, col("#8aa850"), col("#2f4a2a"), col("#4a3426"), light_dir=(0.7, -0.7))
    house(c, hu, hv, 0.13, 0.065, 0.05, col("#efe2cc"), col("#8a4a3a"), None, col("#ffc060"), chimney=True,
          glow=0.35)
    # the path home, from the near corner up to the door
    t = np.clip((c.v - hv) / (1 - hv), 0, 1)
    centre = hu + 0.065 * c.S / c.W + (0.22 * t - 0.18 * np.sin(t * 3.0) * t)
    half = 0.006 + 0.12 * t ** 1.5
    path = np.clip((half - np.abs(c.u - centre)) * c.W / 1.5, 0, 1) * (c.v > hv)
    c.paint(path, mix(col("#c0a070"), col("#e8d0a0"), noise2(c.rng, c.H, c.W, 30, 30, 3)[..., None]))
    # fence posts along the path
    posts, rails = [], []
    prev = None
    for k in range(7):
        tt = 0.12 + k * 0.14
        v = hv + tt * (1 - hv)
        u = hu + 0.065 * c.S / c.W + (0.22 * tt - 0.18 * np.sin(tt * 3.0) * tt) - (0.006 + 0.12 * tt ** 1.5) - 0.03 * tt - 0.01
        ph = 0.02 + 0.09 * tt
        pw = 0.002 + 0.006 * tt
        posts.append((u - pw, v - ph, u + pw, v))
        if prev is not None:
            rails.append(([(prev[0], prev[1] - prev[2] * 0.75), (u, v - ph * 0.75)], 0.003 + 0.006 * tt))
        prev = (u, v, ph)
    c.paint(np.maximum(c.shapes(rects=posts), c.shapes(lines=rails)), col("#5a3e2e"))
    # dew in the grass of the near meadow
    dew = smoothstep(0.8, 0.92, noise2(c.rng, c.H, c.W, 80, 100, 1)) * smoothstep(0.7, 1.0, c.v) * (1 - path)
    c.light(dew, col("#fff8e0"), 0.35)
    flowers(c, 110, 0.78, 1.0, 0.006, [col("#e86a8a"), col("#ffffff"), col("#f4d860")], avoid=path)
    c.vignette(0.2)


# --------------------------------------------------------------------------
# Encoding

def segment(marker, payload):
    if len(payload) + 2 > 0xFFFF:
        raise ValueError("segment too long")
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def key_colours(pixels):
    """Mean colour of the top, middle and bottom thirds, nine bytes."""
    h = pixels.shape[0]
    out = bytearray()
    for a, b in ((0, h // 3), (h // 3, 2 * h // 3), (2 * h // 3, h)):
        out += bytes(int(round(x)) for x in pixels[a:b].reshape(-1, 3).mean(axis=0))
    return bytes(out)


def extra_segments(caption, pixels):
    # APP2: our own note on the picture, the key colours of its thirds.
    app2 = segment(0xE2, b"MirutonTint\x00" + bytes([1]) + key_colours(pixels))
    # APP13: the caption, ASCII, naming the place and time of day.
    app13 = segment(0xED, b"MirutonCaption\x00" + caption.encode("ascii"))
    # APP14: the usual Adobe segment, telling that the colours are YCbCr.
    app14 = segment(0xEE, b"Adobe" + struct.pack(">HHHB", 100, 0, 0, 1))
    return app2 + app13 + app14


def encode(pixels, quality, progressive):
    h, w, _ = pixels.shape
    ppm = b"P6\n%d %d\n255\n" % (w, h) + pixels.tobytes()
    cmd = ["cjpeg", "-quality", str(quality), "-sample", "2x2"]
    if progressive:
        cmd.append("-progressive")
    return subprocess.run(cmd, input=ppm, stdout=subprocess.PIPE, check=True).stdout


def insert_after_jfif(data, extra):
    if data[:4] != b"\xff\xd8\xff\xe0" or data[6:11] != b"JFIF\x00":
        raise ValueError("encoder did not start with SOI and JFIF APP0")
    end = 4 + struct.unpack(">H", data[4:6])[0]
    return data[:end] + extra + data[end:]


PICTURES = [
    # file, width, height, painter, seed, quality, caption
    ("jpeg1.jpg", 256, 336, harbour_dawn, 101, 92, "Dawn over the harbour"),
    ("jpeg2.jpg", 336, 256, morning_fields, 102, 92, "Morning over the fields"),
    ("jpeg3.jpg", 336, 256, forest_noon, 103, 92, "A forest path at noon"),
    ("jpeg4.jpg", 336, 256, mountain_pass, 104, 92, "The mountain pass"),
    ("jpeg5.jpg", 336, 256, desert_afternoon, 105, 92, "Dunes in the afternoon"),
    ("jpeg6.jpg", 336, 256, coast_sunset, 106, 92, "Sunset on the coast"),
    ("jpeg7.jpg", 336, 256, lake_dusk, 107, 92, "The lake at dusk"),
    ("jpeg8.jpg", 336, 256, town_night, 108, 92, "The town's lights at night"),
    ("jpeg9.jpg", 336, 256, aurora_night, 109, 92, "Northern lights over the snow"),
    ("jpega.jpg", 336, 256, home_dawn, 110, 92, "Home again at dawn"),
]

PREVIEW = ("prev.jpg", 156, 116, coast_sunset, 106, 90)


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    only = set(sys.argv[1:])
    for name, w, h, painter, seed, quality, caption in PICTURES:
        if only and name not in only:
            continue
        c = Canvas(w, h, seed)
        painter(c)
        pixels = c.finish()
        data = insert_after_jfif(encode(pixels, quality, True), extra_segments(caption, pixels))
        with open(os.path.join(OUT_DIR, name), "wb") as f:
            f.write(data)
        print("%-10s %4d x %-4d %6d bytes  %s" % (name, w, h, len(data), caption))
    name, w, h, painter, seed, quality = PREVIEW
    if not only or name in only:
        c = Canvas(w, h, seed)
        painter(c)
        data = encode(c.finish(), quality, False)
        with open(os.path.join(OUT_DIR, name), "wb") as f:
            f.write(data)
        print("%-10s %4d x %-4d %6d bytes  %s" % (name, w, h, len(data), "preview monitor"))


if __name__ == "__main__":
    main()
