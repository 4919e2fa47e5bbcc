#!/usr/bin/python3
"""Draws every image of the editor into resources/editor/images/.

Everything is computed here from geometry, per-pixel shading and seeded hash noise; no image
comes from elsewhere. All look parameters sit in the CONFIG block below (see README.md).

    /usr/bin/python3 tools/artwork/make_artwork.py            # write all images
    /usr/bin/python3 tools/artwork/make_artwork.py knob_gain  # only images whose name contains it
    /usr/bin/python3 tools/artwork/make_artwork.py --check    # re-render, compare with the files

Needs numpy and PIL (scripts/setup-tools artwork). Deterministic: the same packages give the
same bytes.
"""
import math
import os
import shutil
import subprocess
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OUT_DIR = os.path.join(ROOT, "resources", "editor", "images")
FONT_DIR = os.path.join(ROOT, "resources", "editor", "fonts")

# ============================================================================================
# CONFIG: every drawing parameter. Lengths in output pixels unless noted; colours linear 0..1.
# Angles are clockwise from 12 o'clock, in degrees.
# ============================================================================================
CONFIG = {
    # One light for every image: from the upper left, fairly high; the camera looks straight on.
    "light_dir": (-0.48, -0.62, 0.62),  # x right, y down, z towards the viewer
    "ambient": 0.30,
    "paint_lift": 0.6,  # how much painted marks keep their own brightness on shaded slopes
    "supersample": 4,  # samples per pixel per axis
    # images recompressed with optipng (only where it pays: the noisy texture loses ~28 %)
    "optipng": {"names": ["vintage_blue_panel_texture_v2"], "level": 2},
    # ---------------------------------------------------------------- knob film strips
    "knob": {
        "frame": 278,  # frame side; strips are laid out horizontally
        "continuous_frames": 73,
        # Continuous strips run from the minimum (frame 0) to the maximum (last frame).
        # Frequency-style knobs of the EQ bands follow their label ring: 240.53 deg (lowest)
        # over the bottom to 62.51 deg (highest). Stepped frequency strips start at the highest.
        "freq_angle_low": math.degrees(4.198),
        "freq_angle_high": math.degrees(4.198 - 3.107),
        # Gain and trim-style knobs: -150 deg (minimum) over the top to +150 deg (maximum).
        "gain_angle_span": 150.0,
        "gain_steps": 11,
        "freq_steps": 7,
    },
    # Outer (gain) knob of the concentric pair: dark skirt with a white line; the frequency cap
    # sits on top of it, so only the ring outside r ~ 72 shows on the panel.
    "gain_knob": {
        "radius": 104.0,
        "body_radius": 76.0,  # raised centre (hidden under the frequency cap on the panel)
        "skirt_slope": 0.34,
        "edge_round": 6.0,  # width of the rounded outer edge
        "bevel": 4.5,  # width of the step from the raised centre down to the skirt
        "flutes": 60, "flute_depth": 0.22,  # grip flutes on the rounded outer edge
        "colour": (0.080, 0.083, 0.092),
        "body_colour": (0.060, 0.062, 0.070),
        "specular": 0.55, "shininess": 38.0,
        "line": {"r0": 77.5, "r1": 102.5, "width": 6.2, "colour": (0.97, 0.97, 0.95)},
        "shadow": {"offset": (3.5, 5.5), "blur": 5.5, "alpha": 0.62, "grow": 1.0},
        "contact": {"blur": 1.6, "alpha": 0.55},
    },
    # Frequency cap: spun aluminium with a black engraved line.
    "freq_knob": {
        "radius": 71.0,
        "chamfer": 6.0,
        "dish": 0.05,
        "colour": (0.66, 0.675, 0.70),
        "spin_grooves": 0.055,  # strength of the concentric machining marks
        "aniso_spec": 0.55, "aniso_power": 70.0,
        "specular": 0.35, "shininess": 60.0,
        "line": {"r0": 13.0, "r1": 63.5, "width": 4.8, "colour": (0.035, 0.035, 0.04),
                 "engrave": {"wall": 1.3, "light": 0.85}},
        "shadow": {"offset": (2.6, 4.0), "blur": 3.8, "alpha": 0.70, "grow": 0.5},
        "contact": {"blur": 1.2, "alpha": 0.60},
    },
    # Trim-style knob (trims and Mic/Line knobs): black skirt plus a coloured cap.
    "trim_knob": {
        "radius": 112.0,
        "cap_radius": 80.0,
        "skirt_slope": 0.30,
        "edge_round": 7.0,
        "bevel": 4.0,
        "flutes": 64, "flute_depth": 0.22,
        "colour": (0.080, 0.083, 0.092),
        "specular": 0.55, "shininess": 38.0,
        "skirt_line": {"r0": 84.0, "r1": 110.0, "width": 6.4, "colour": (0.97, 0.97, 0.95)},
        "cap_line": {"r0": 15.0, "r1": 72.0, "width": 5.2,
                     "engrave": {"wall": 1.3, "light": 0.85}},
        "shadow": {"offset": (4.0, 6.5), "blur": 6.0, "alpha": 0.62, "grow": 1.0},
        "contact": {"blur": 1.6, "alpha": 0.55},
        # soft reflection of the light on glossy (plastic) caps: centre as a fraction of the
        # cap radius towards the light, width as a fraction of the radius, strength
        "gloss": {"at": 0.55, "width": 0.42, "strength": 0.20},
        # cap variants: material colour, metal (brushed, anisotropic) or glossy plastic, line colour
        "caps": {
            "plain": {"colour": (0.66, 0.675, 0.70), "metal": True, "line": (0.035, 0.035, 0.04)},
            "red": {"colour": (0.60, 0.075, 0.065), "metal": False, "line": (0.95, 0.94, 0.92)},
            "yellow": {"colour": (0.86, 0.63, 0.10), "metal": False, "line": (0.04, 0.04, 0.04)},
        },
    },
    # ---------------------------------------------------------------- LEDs (meter)
    "led": {
        "size": 48,
        "bezel_radius": 20.0, "lens_radius": 15.5,
        "bezel_colour": (0.075, 0.075, 0.08), "bezel_spec": 0.45,
        "colours": {
            "cyan": (0.00, 0.80, 0.88),
            "green": (0.22, 0.92, 0.22),
            "yellow": (1.00, 0.78, 0.10),
            "red": (1.00, 0.13, 0.10),
        },
        "off_level": 0.16, "off_spec": 0.55,
        "on_core": 0.75,  # how far the lit centre goes towards white
        "on_spec": 0.35,
    },
    # ---------------------------------------------------------------- switches
    "eqin": {
        "size": (156, 52),
        "corner": 9.0, "bezel": 5.0, "lens_corner": 5.0,
        "bezel_colour": (0.09, 0.09, 0.10),
        "lens_off": (0.22, 0.025, 0.025), "lens_on": (1.00, 0.16, 0.10),
        "legend": "EQ IN", "legend_size": 23,
        "legend_off": (0.52, 0.27, 0.26), "legend_on": (1.00, 0.93, 0.88),
    },
    "shape": {
        "size": 92,
        "corner": 12.0, "bezel": 6.0,
        "bezel_colour": (0.09, 0.09, 0.10),
        "face_colour": (0.030, 0.034, 0.042),
        "curve_colour": (0.18, 0.62, 0.88),
        "curve_width": 3.2, "glow_radius": 4.0, "glow_strength": 0.9,
        "grid_colour": (0.16, 0.19, 0.24),
        "legend_size": 15, "legend_colour": (0.62, 0.66, 0.72),
    },
    # ---------------------------------------------------------------- rack decorations
    "rail": {
        "size": (3000, 70), "size_b3": (2348, 70),
        "metal": (0.40, 0.415, 0.44),
        "chamfer": 0.22,  # share of the height taken by each of the two rounded edges
        "brush": 0.05,
        "seeds": {"t1": 11, "t2": 12, "t3": 13, "b1": 21, "b2": 22, "b3": 23},
    },
    "wood": {
        "size": (3300, 72),
        "base": (0.30, 0.160, 0.082), "dark": (0.13, 0.060, 0.030), "light": (0.47, 0.28, 0.15),
        "grain_period": 5.0,  # mean distance of the grain lines across the strip
        "grain_warp": 10.0,  # how far the lines wander over the length of the strip
        "grain_contrast": 0.55, "pores": 0.45, "figure": 0.22,
        "edge": 7.0,  # rounded edge height top and bottom
        "seeds": {"top": 31, "bottom": 32},
    },
    # ---------------------------------------------------------------- panel texture
    "texture": {
        "size": 1445,
        # the file is a palette image on a ramp from dark to light paint (keeps it small)
        "dark": (0.20, 0.32, 0.50), "light": (0.34, 0.52, 0.78), "levels": 40,
        "range": 0.25,  # relative brightness change that spans the whole ramp
        "mottle": 0.06, "mottle_scale": 200.0, "mottle2_scale": 45.0,
        "peel": 0.03, "peel_scale": 2.2,  # orange-peel of sprayed paint
        "grain": 0.025, "grain_scale": 0.6,
        "scratches": 70, "scratch_len": (20.0, 140.0), "scratch_level": 0.05,
        "pits": 260, "pit_level": -0.08,
        "seed": 7,
    },
}


# ============================================================================================
# Helpers
# ============================================================================================
def light():
    v = np.array(CONFIG["light_dir"], dtype=np.float64)
    return v / np.linalg.norm(v)


def half_vector():
    h = light() + np.array([0.0, 0.0, 1.0])
    return h / np.linalg.norm(h)


def hash_u01(*keys):
    """Deterministic uniform [0, 1) values from integer arrays (splitmix64 finaliser)."""
    h = np.uint64(0x9E3779B97F4A7C15)
    with np.errstate(over="ignore"):
        for k in keys:
            h = (h ^ np.asarray(k).astype(np.uint64)) * np.uint64(0xBF58476D1CE4E5B9)
            h = h ^ (h >> np.uint64(31))
            h = h * np.uint64(0x94D049BB133111EB)
            h = h ^ (h >> np.uint64(29))
    return (h >> np.uint64(11)).astype(np.float64) / float(1 << 53)


def periodic_noise(h, w, scale_y, scale_x, seed):
    """Gaussian-filtered white noise on an h x w torus (periodic by construction), unit std."""
    iy, ix = np.mgrid[0:h, 0:w]
    white = hash_u01(iy, ix, seed) - 0.5
    fy = np.fft.fftfreq(h)[:, None]
    fx = np.fft.rfftfreq(w)[None, :]
    filt = np.exp(-2.0 * (math.pi ** 2) * ((fy * scale_y) ** 2 + (fx * scale_x) ** 2))
    n = np.fft.irfft2(np.fft.rfft2(white) * filt, s=(h, w))
    n -= n.mean()
    return n / (n.std() + 1e-12)


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def normalize3(x, y, z):
    n = np.sqrt(x * x + y * y + z * z)
    return x / n, y / n, z / n


def downsample(a, f):
    if f == 1:
        return a
    h, w = a.shape[0] // f, a.shape[1] // f
    return a.reshape(h, f, w, f, *a.shape[2:]).mean(axis=(1, 3))


def to_u8(a):
    return np.clip(np.round(a * 255.0), 0, 255).astype(np.uint8)


def premul_to_rgba8(prem):
    a = prem[..., 3:4]
    rgb = np.where(a > 1e-6, prem[..., :3] / np.maximum(a, 1e-6), 0.0)
    rgb = linear_to_display(rgb)
    out = np.concatenate([rgb, a], axis=-1)
    return to_u8(out)


def linear_to_display(rgb):
    # Colours in CONFIG are given as display values already; shading is done in that space and
    # only clipped. (A gamma step here would wash out the dark skirts.)
    return np.clip(rgb, 0.0, 1.0)


def over(top, bottom):
    """Premultiplied 'over'."""
    return top + bottom * (1.0 - top[..., 3:4])


def grid(size_px, ss, centre=None):
    """Sample coordinates (x, y) of a size_px square at ss samples per pixel, relative to centre."""
    n = size_px * ss
    c = size_px / 2.0 if centre is None else centre
    t = (np.arange(n, dtype=np.float64) + 0.5) / ss - c
    return t[None, :].repeat(n, 0), t[:, None].repeat(n, 1)


def soft_disc(d, radius, ss):
    """Coverage of a disc edge, anti-aliased across one sample."""
    return np.clip((radius - d) * ss + 0.5, 0.0, 1.0)


def shade_plastic(nx, ny, nz, albedo, specular, shininess):
    L = light()
    H = half_vector()
    ndl = np.clip(nx * L[0] + ny * L[1] + nz * L[2], 0.0, 1.0)
    ndh = np.clip(nx * H[0] + ny * H[1] + nz * H[2], 0.0, 1.0)
    amb = CONFIG["ambient"] * (0.75 + 0.25 * (-ny * 0.5 + nz * 0.5 + 0.5))
    diff = amb + (1.0 - CONFIG["ambient"]) * ndl
    s = specular * ndh ** shininess
    # broad sheen of a satin finish
    s = s + 0.25 * specular * ndh ** (shininess * 0.12)
    alb = np.asarray(albedo, dtype=np.float64)
    return diff[..., None] * alb + s[..., None]


def shade_paint(nx, ny, nz, colour, specular, shininess):
    """Printed or filled marks: matt paint that stays readable on the shaded side."""
    L = light()
    ndl = np.clip(nx * L[0] + ny * L[1] + nz * L[2], 0.0, 1.0)
    lift = CONFIG["paint_lift"]
    base = shade_plastic(nx, ny, nz, colour, specular, shininess)
    return base * (1.0 - lift) + (np.asarray(colour) * (0.75 + 0.25 * ndl)[..., None]) * lift


def shade_brushed_metal(x, y, nx, ny, nz, albedo, aniso, power, specular, shininess, grooves):
    """Spun metal: circular tangent gives the radial highlight streak of a machined cap."""
    L = light()
    H = half_vector()
    r = np.sqrt(x * x + y * y) + 1e-9
    tx, ty = -y / r, x / r  # circumferential tangent
    tdh = tx * H[0] + ty * H[1]
    kk = np.sqrt(np.clip(1.0 - tdh * tdh, 0.0, 1.0)) ** power
    ndl = np.clip(nx * L[0] + ny * L[1] + nz * L[2], 0.0, 1.0)
    ndh = np.clip(nx * H[0] + ny * H[1] + nz * H[2], 0.0, 1.0)
    # soft environment: brighter towards the light, darker away
    env = 0.55 + 0.45 * np.clip(-(nx * 0.6 + ny * 0.8), -1.0, 1.0)
    base = (0.22 + 0.38 * ndl + 0.30 * env) * grooves
    alb = np.asarray(albedo, dtype=np.float64)
    col = base[..., None] * alb
    col = col + (aniso * kk * ndl)[..., None] * (0.6 * alb + 0.4)
    col = col + (specular * ndh ** shininess)[..., None]
    return col


def radial_grooves(r, strength, seed):
    """Concentric machining marks: 1-D noise in the radius (rotation invariant)."""
    k = np.floor(r * 3.0).astype(np.int64)
    f = r * 3.0 - k
    a = hash_u01(k, seed)
    b = hash_u01(k + 1, seed)
    n = a + (b - a) * f
    fine = 0.5 + 0.5 * np.sin(r * 9.1)
    return 1.0 + strength * ((n - 0.5) * 1.6 + (fine - 0.5) * 0.5)


def shadow_layer(x, y, radius, sh):
    ox, oy = sh["offset"]
    d = np.sqrt((x - ox) ** 2 + (y - oy) ** 2)
    a = sh["alpha"] * 0.5 * (1.0 - np.tanh((d - radius - sh["grow"]) / sh["blur"]))
    return a


def contact_layer(x, y, radius, c):
    d = np.sqrt(x * x + y * y)
    return c["alpha"] * 0.5 * (1.0 - np.tanh((d - radius) / c["blur"]))


def line_coverage(x, y, angle_deg, r0, r1, width, ss, offset=0.0):
    """Anti-aliased coverage of a radial line at angle_deg (clockwise from 12 o'clock), moved
    sideways by offset (towards 3 o'clock for a line pointing at 12)."""
    t = math.radians(angle_deg)
    s, c = math.sin(t), math.cos(t)
    u = x * s - y * c  # along the line (outwards)
    v = x * c + y * s - offset  # across
    cov = np.clip((width / 2.0 - np.abs(v)) * ss + 0.5, 0.0, 1.0)
    cov *= np.clip((u - r0) * ss + 0.5, 0.0, 1.0) * np.clip((r1 - u) * ss + 0.5, 0.0, 1.0)
    return cov


def prem(rgb, alpha):
    return np.concatenate([rgb * alpha[..., None], alpha[..., None]], axis=-1)


# ============================================================================================
# Knobs
# ============================================================================================
def skirt_surface(x, y, r, p, outer, inner):
    """Normals and colour of a black skirt: cone from inner to outer, fluted rounded edge."""
    slope = np.full_like(r, p["skirt_slope"])
    # step down from the raised centre
    b0, b1 = inner, inner + p["bevel"]
    tb = np.clip((r - b0) / (b1 - b0), 0.0, 1.0)
    slope = np.where(r < b1, p["skirt_slope"] + 1.8 * np.sin(math.pi * tb), slope)
    # rounded outer edge
    e0 = outer - p["edge_round"]
    te = np.clip((r - e0) / p["edge_round"], 0.0, 1.0)
    slope = slope + 3.2 * te ** 2
    phi = np.arctan2(x, -y)
    flute = p["flute_depth"] * np.sin(phi * p["flutes"]) * smoothstep(e0 - 1.0, outer, r)
    rr = r + 1e-9
    gx, gy = slope * x / rr, slope * y / rr  # height gradient points inwards (height falls out)
    # tangential component from the flutes
    tx, ty = -y / rr, x / rr
    nx, ny, nz = normalize3(gx + flute * tx, gy + flute * ty, np.ones_like(r))
    return nx, ny, nz


def knob_layers(kind, ss):
    """Static layers of one knob type: a dict of premultiplied RGBA arrays and mark shaders."""
    F = CONFIG["knob"]["frame"]
    x, y = grid(F, ss)
    r = np.sqrt(x * x + y * y)
    L = {}
    if kind == "gain":
        p = CONFIG["gain_knob"]
        R = p["radius"]
        sh = shadow_layer(x, y, R, p["shadow"])
        ct = contact_layer(x, y, R, p["contact"])
        shadow_a = 1.0 - (1.0 - sh) * (1.0 - ct)
        nx, ny, nz = skirt_surface(x, y, r, p, R, p["body_radius"])
        # raised centre: almost flat with a shallow dish
        inside = r < p["body_radius"]
        dish = -0.06 * r / p["body_radius"]
        rr = r + 1e-9
        cx_, cy_, cz_ = normalize3(dish * x / rr, dish * y / rr, np.ones_like(r))
        nx = np.where(inside, cx_, nx)
        ny = np.where(inside, cy_, ny)
        nz = np.where(inside, cz_, nz)
        alb = np.where(inside[..., None], np.array(p["body_colour"]), np.array(p["colour"]))
        body = shade_plastic(nx, ny, nz, (1.0, 1.0, 1.0), 0.0, 1.0) * alb
        body = body + shade_plastic(nx, ny, nz, (0, 0, 0), p["specular"], p["shininess"])
        ln = p["line"]
        mark = shade_paint(nx, ny, nz, ln["colour"], p["specular"] * 0.6, p["shininess"])
        cov = soft_disc(r, R, ss)
        L["shadow"] = shadow_a
        L["layers"] = [{"rgb": body, "alpha": cov, "marks": [(ln, mark)]}]
    elif kind == "freq":
        p = CONFIG["freq_knob"]
        L["shadow"] = 1.0 - (1.0 - shadow_layer(x, y, p["radius"], p["shadow"])) * (
            1.0 - contact_layer(x, y, p["radius"], p["contact"]))
        rgb, mark_rgb, cov = cap_surface(x, y, r, p["radius"], p["chamfer"], p, True,
                                         p["colour"], p["line"]["colour"], ss)
        L["layers"] = [{"rgb": rgb, "alpha": cov, "marks": [(p["line"], mark_rgb)]}]
    else:  # trim variants
        p = CONFIG["trim_knob"]
        cap = p["caps"][kind]
        R = p["radius"]
        L["shadow"] = 1.0 - (1.0 - shadow_layer(x, y, R, p["shadow"])) * (
            1.0 - contact_layer(x, y, R, p["contact"]))
        nx, ny, nz = skirt_surface(x, y, r, p, R, p["cap_radius"])
        body = shade_plastic(nx, ny, nz, p["colour"], p["specular"], p["shininess"])
        ln = p["skirt_line"]
        mark = shade_paint(nx, ny, nz, ln["colour"], p["specular"] * 0.6, p["shininess"])
        skirt = {"rgb": body, "alpha": soft_disc(r, R, ss), "marks": [(ln, mark)]}
        cl = dict(p["cap_line"])
        cl["colour"] = cap["line"]
        if not cap["metal"]:
            cl.pop("engrave", None)  # plastic caps carry a filled, printed line
        rgb, mark_rgb, cov = cap_surface(x, y, r, p["cap_radius"], 5.0, CONFIG["freq_knob"],
                                         cap["metal"], cap["colour"], cap["line"], ss,
                                         p["gloss"])
        capl = {"rgb": rgb, "alpha": cov, "marks": [(cl, mark_rgb)]}
        # the cap throws a small shadow on the skirt
        capsh = 1.0 - (1.0 - shadow_layer(x, y, p["cap_radius"], {"offset": (1.6, 2.4), "blur": 2.2, "alpha": 0.55, "grow": 0.0})) * (
            1.0 - contact_layer(x, y, p["cap_radius"], {"blur": 1.0, "alpha": 0.5}))
        skirt["rgb"] = skirt["rgb"] * (1.0 - capsh[..., None])
        skirt["marks"] = [(ln, mark * (1.0 - capsh[..., None]))]
        L["layers"] = [skirt, capl]
    L["x"], L["y"] = x, y
    return L


def cap_surface(x, y, r, R, chamfer, p, metal, colour, line_colour, ss, gloss=None):
    """A round cap: flat top with a shallow dish, rounded chamfer to the edge."""
    c0 = R - chamfer
    t = np.clip((r - c0) / chamfer, 0.0, 1.0)
    slope = -p["dish"] * np.clip(r / c0, 0.0, 1.0) + 2.6 * t ** 1.6
    rr = r + 1e-9
    nx, ny, nz = normalize3(slope * x / rr, slope * y / rr, np.ones_like(r))
    if metal:
        g = radial_grooves(r, p["spin_grooves"], 5)
        rgb = shade_brushed_metal(x, y, nx, ny, nz, colour, p["aniso_spec"], p["aniso_power"],
                                  p["specular"], p["shininess"], g)
        mark = shade_plastic(nx, ny, nz, line_colour, 0.25, 40.0)
    else:
        rgb = shade_plastic(nx, ny, nz, colour, 0.75, 55.0)
        mark = shade_paint(nx, ny, nz, line_colour, 0.45, 55.0)
        if gloss:
            Lx, Ly = light()[0], light()[1]
            n = math.hypot(Lx, Ly)
            hx, hy = Lx / n * gloss["at"] * R, Ly / n * gloss["at"] * R
            g = gloss["strength"] * np.exp(-((x - hx) ** 2 + (y - hy) ** 2) / (gloss["width"] * R) ** 2)
            g = g * np.clip(nz, 0.0, 1.0) ** 40
            rgb = rgb + g[..., None]
            mark = mark + g[..., None]
    return rgb, mark, soft_disc(r, R, ss)


def render_knob_frames(kind, angles):
    ss = CONFIG["supersample"]
    L = knob_layers(kind, ss)
    x, y = L["x"], L["y"]
    base = prem(np.zeros(L["shadow"].shape + (3,)), L["shadow"])
    frames = []
    for ang in angles:
        img = base
        for layer in L["layers"]:
            rgb = layer["rgb"]
            for specular, mark in layer["marks"]:
                cov = line_coverage(x, y, ang, specular["r0"], specular["r1"], specular["width"], ss)
                rgb = rgb + cov[..., None] * (mark - rgb)
                eng = specular.get("engrave")
                if eng:
                    # cut groove: the wall facing the light catches it, the other stays dark
                    t = math.radians(ang)
                    lx, ly = light()[0], light()[1]
                    d = (math.cos(t) * lx + math.sin(t) * ly) / math.hypot(lx, ly)
                    for side in (1.0, -1.0):
                        lit = max(0.0, -side * d)
                        if lit <= 0.0:
                            continue
                        off = side * (specular["width"] - eng["wall"]) / 2.0
                        wc = line_coverage(x, y, ang, specular["r0"] + eng["wall"],
                                           specular["r1"] - eng["wall"], eng["wall"], ss, off)
                        rgb = rgb + (wc * lit * eng["light"])[..., None] * mark_env(layer)
            img = over(prem(rgb, layer["alpha"]), img)
        frames.append(premul_to_rgba8(downsample(img, ss)))
    return frames


def mark_env(layer):
    """Colour a lit groove wall reflects: the cap's own metal colour."""
    return layer.get("wall_colour", np.array([0.9, 0.9, 0.92]))


def knob_angles(style, count, high_first):
    k = CONFIG["knob"]
    if style == "freq":
        lo, hi = k["freq_angle_low"], k["freq_angle_high"]
    else:
        lo, hi = -k["gain_angle_span"], k["gain_angle_span"]
    a = [lo + (hi - lo) * i / (count - 1) for i in range(count)]
    return a[::-1] if high_first else a


def knob_strip(kind, style, count, high_first):
    frames = render_knob_frames(kind, knob_angles(style, count, high_first))
    return np.concatenate(frames, axis=1)


# ============================================================================================
# LEDs
# ============================================================================================
def led_image(colour, on):
    p = CONFIG["led"]
    ss = CONFIG["supersample"]
    S = p["size"]
    x, y = grid(S, ss)
    r = np.sqrt(x * x + y * y)
    Rb, Rl = p["bezel_radius"], p["lens_radius"]
    col = np.array(p["colours"][colour])
    # bezel: rounded black chrome ring
    t = np.clip((r - Rl) / (Rb - Rl), 0.0, 1.0)
    slope = np.cos(math.pi * t) * 1.4  # rises then falls
    rr = r + 1e-9
    nx, ny, nz = normalize3(-slope * x / rr, -slope * y / rr, np.ones_like(r))
    bez = shade_plastic(nx, ny, nz, p["bezel_colour"], p["bezel_spec"], 30.0)
    # lens: a dome
    q = np.clip(r / Rl, 0.0, 0.999)
    hz = np.sqrt(1.0 - q * q * 0.82)
    lnx, lny, lnz = normalize3(x / Rl * 0.9, y / Rl * 0.9, hz)
    L = light()
    H = half_vector()
    ndh = np.clip(lnx * H[0] + lny * H[1] + lnz * H[2], 0.0, 1.0)
    ndl = np.clip(lnx * L[0] + lny * L[1] + lnz * L[2], 0.0, 1.0)
    if on:
        core = np.exp(-(r / (Rl * 0.55)) ** 2)
        lit = col * (0.80 + 0.35 * core[..., None])
        lit = lit + (1.0 - lit) * (p["on_core"] * core ** 1.5)[..., None]
        lens = lit + (p["on_spec"] * ndh ** 60)[..., None]
    else:
        die = np.exp(-((np.abs(x) + np.abs(y)) / 3.0) ** 2)
        lens = col * (p["off_level"] * (0.55 + 0.6 * ndl) + 0.05 * die)[..., None]
        lens = lens + (p["off_spec"] * ndh ** 50)[..., None]
        lens = lens + (0.10 * (1 - q) ** 2 * np.clip(-(x + y) / Rl, 0, 1))[..., None]
    # inner shadow at the lens edge
    edge = smoothstep(Rl - 3.0, Rl, r)
    lens = lens * (1.0 - 0.45 * edge)[..., None]
    rgb = np.where((r < Rl)[..., None], lens, bez)
    alpha = soft_disc(r, Rb, ss)
    shadow = 0.45 * 0.5 * (1.0 - np.tanh((np.sqrt((x - 1.2) ** 2 + (y - 1.8) ** 2) - Rb) / 1.4))
    img = over(prem(rgb, alpha), prem(np.zeros_like(rgb), shadow))
    return premul_to_rgba8(downsample(img, ss))


# ============================================================================================
# Switches
# ============================================================================================
def rounded_rect_sdf(x, y, hw, hh, rad):
    qx = np.abs(x) - (hw - rad)
    qy = np.abs(y) - (hh - rad)
    ox, oy = np.maximum(qx, 0.0), np.maximum(qy, 0.0)
    return np.sqrt(ox * ox + oy * oy) + np.minimum(np.maximum(qx, qy), 0.0) - rad


def sdf_normals(d, width, height_scale):
    """Normals of a rounded bevel that rises over `width` inside the outline d = 0."""
    gy, gx = np.gradient(d)
    t = np.clip(-d / width, 0.0, 1.0)
    slope = height_scale * np.cos(t * math.pi / 2) ** 2
    return normalize3(gx * slope, gy * slope, np.ones_like(d))


def text_mask(text, font_file, size_px, w, h, ss, dx=0.0, dy=0.0):
    font = ImageFont.truetype(os.path.join(FONT_DIR, font_file), size_px * ss)
    im = Image.new("L", (w * ss, h * ss), 0)
    d = ImageDraw.Draw(im)
    bb = d.textbbox((0, 0), text, font=font)
    tw, th = bb[2] - bb[0], bb[3] - bb[1]
    d.text(((w * ss - tw) / 2 - bb[0] + dx * ss, (h * ss - th) / 2 - bb[1] + dy * ss), text,
           font=font, fill=255)
    return np.asarray(im, dtype=np.float64) / 255.0


def eqin_image(on):
    p = CONFIG["eqin"]
    ss = CONFIG["supersample"]
    W, Hh = p["size"]
    n_w, n_h = W * ss, Hh * ss
    x = (np.arange(n_w) + 0.5)[None, :].repeat(n_h, 0) / ss - W / 2.0
    y = (np.arange(n_h) + 0.5)[:, None].repeat(n_w, 1) / ss - Hh / 2.0
    hw, hh = W / 2.0 - 2.0, Hh / 2.0 - 2.5
    d = rounded_rect_sdf(x, y, hw, hh, p["corner"])
    nx, ny, nz = sdf_normals(d * ss, p["bezel"] * ss * 0.55, 1.6)
    bez = shade_plastic(nx, ny, nz, p["bezel_colour"], 0.7, 30.0)
    dl = rounded_rect_sdf(x, y, hw - p["bezel"], hh - p["bezel"], p["lens_corner"])
    inside = dl < 0
    legend = text_mask(p["legend"], "PlayBold.ttf", p["legend_size"], W, Hh, ss, 0, 0.5)
    gy_ = (y + hh) / (2 * hh)
    if on:
        lens_c = np.array(p["lens_on"])
        glow = 0.75 + 0.45 * np.exp(-((x / (hw * 0.9)) ** 2 + (y / (hh * 1.1)) ** 2))
        lens = lens_c * glow[..., None]
        lens = lens + (1 - lens) * (0.18 * np.exp(-((x / (hw * 0.6)) ** 2 + (y / (hh * 0.6)) ** 2)))[..., None]
        leg = np.array(p["legend_on"])
    else:
        lens_c = np.array(p["lens_off"])
        lens = lens_c * (0.8 + 0.3 * (1 - gy_))[..., None]
        leg = np.array(p["legend_off"])
    lens = lens + legend[..., None] * (leg - lens)
    # glass gloss: a soft band across the upper part of the lens
    gloss = 0.16 * smoothstep(0.55, 0.05, gy_) * smoothstep(-1.5, -5.0, dl)
    lens = lens + gloss[..., None]
    # inner shadow of the bezel on the lens
    lens = lens * (1.0 - 0.5 * smoothstep(-3.5, 0.0, dl))[..., None]
    rgb = np.where(inside[..., None], lens, bez)
    alpha = np.clip(-d * ss + 0.5, 0.0, 1.0)
    ds = rounded_rect_sdf(x - 1.2, y - 1.8, hw, hh, p["corner"])
    shadow = 0.5 * 0.5 * (1.0 - np.tanh(ds / 1.5))
    img = over(prem(rgb, alpha), prem(np.zeros_like(rgb), shadow))
    return premul_to_rgba8(downsample(img, ss))


def shape_curve(kind, band, u):
    """Response shape on u in [0, 1] (left = low frequency); returns height in [-1, 1]."""
    if kind == "bell":
        c = 0.40 if band == "LF" else 0.60
        return 0.85 * np.exp(-((u - c) / 0.13) ** 2) - 0.25
    if band == "LF":
        return 0.55 - 0.9 / (1.0 + np.exp(-(u - 0.40) / 0.07))
    return -0.35 + 0.9 / (1.0 + np.exp(-(u - 0.60) / 0.07))


def shape_image(band, kind):
    p = CONFIG["shape"]
    ss = CONFIG["supersample"]
    S = p["size"]
    x, y = grid(S, ss)
    hw = S / 2.0 - 2.5
    d = rounded_rect_sdf(x, y, hw, hw, p["corner"])
    nx, ny, nz = sdf_normals(d * ss, p["bezel"] * ss * 0.55, 1.6)
    bez = shade_plastic(nx, ny, nz, p["bezel_colour"], 0.7, 30.0)
    dl = rounded_rect_sdf(x, y, hw - p["bezel"], hw - p["bezel"], p["corner"] - 4)
    inside = dl < 0
    face = np.array(p["face_colour"]) * np.ones(x.shape + (3,))
    # faint grid behind the curve, like a printed graph window
    N = S * ss
    im = Image.new("L", (N, N), 0)
    dr = ImageDraw.Draw(im)
    x0, x1 = (S / 2 - hw + p["bezel"] + 8) * ss, (S / 2 + hw - p["bezel"] - 8) * ss
    y0, y1 = (S / 2 - hw + p["bezel"] + 20) * ss, (S / 2 + hw - p["bezel"] - 8) * ss
    for i in range(5):
        gx = x0 + (x1 - x0) * i / 4
        dr.line([(gx, y0), (gx, y1)], fill=255, width=max(1, ss))
    for i in range(3):
        gyv = y0 + (y1 - y0) * i / 2
        dr.line([(x0, gyv), (x1, gyv)], fill=255, width=max(1, ss))
    gridm = np.asarray(im, dtype=np.float64) / 255.0
    face = face + gridm[..., None] * (np.array(p["grid_colour"]) - face) * 0.8
    # the curve
    im = Image.new("L", (N, N), 0)
    dr = ImageDraw.Draw(im)
    us = np.linspace(0.0, 1.0, 200)
    vs = shape_curve(kind, band, us)
    ymid = (y0 + y1) / 2
    pts = [(x0 + (x1 - x0) * u, ymid - v * (y1 - y0) * 0.5) for u, v in zip(us, vs)]
    dr.line(pts, fill=255, width=int(round(p["curve_width"] * ss)), joint="curve")
    curve = np.asarray(im, dtype=np.float64) / 255.0
    glow = np.asarray(im.filter(ImageFilter.GaussianBlur(p["glow_radius"] * ss)),
                      dtype=np.float64) / 255.0
    cc = np.array(p["curve_colour"])
    face = face + (glow * p["glow_strength"])[..., None] * cc
    face = face + curve[..., None] * ((cc * 0.6 + 0.4) - face)
    legend = text_mask(band, "PlayBold.ttf", p["legend_size"], S, S, ss,
                       -(hw - p["bezel"] - 17), -(hw - p["bezel"] - 12))
    face = face + legend[..., None] * (np.array(p["legend_colour"]) - face)
    gyn = (y + hw) / (2 * hw)
    face = face + (0.07 * smoothstep(0.5, 0.0, gyn) * smoothstep(-1.0, -4.0, dl))[..., None]
    face = face * (1.0 - 0.55 * smoothstep(-3.5, 0.0, dl))[..., None]
    rgb = np.where(inside[..., None], face, bez)
    alpha = np.clip(-d * ss + 0.5, 0.0, 1.0)
    ds = rounded_rect_sdf(x - 1.2, y - 1.8, hw, hw, p["corner"])
    shadow = 0.5 * 0.5 * (1.0 - np.tanh(ds / 1.5))
    img = over(prem(rgb, alpha), prem(np.zeros_like(rgb), shadow))
    return premul_to_rgba8(downsample(img, ss))


# ============================================================================================
# Rack decorations
# ============================================================================================
def rail_image(name):
    p = CONFIG["rail"]
    W, H = p["size_b3"] if name == "b3" else p["size"]
    seed = p["seeds"][name]
    v = (np.arange(H) + 0.5) / H  # 0 top .. 1 bottom
    # profile of a flat bar with rounded top and bottom edges: the normal turns up at the top
    # edge and down at the bottom edge
    c = p["chamfer"]
    ny = np.where(v < c, -(1.0 - v / c), np.where(v > 1.0 - c, (v - (1.0 - c)) / c, 0.0))
    ny = 0.92 * np.sign(ny) * np.abs(ny) ** 0.8
    nz = np.sqrt(np.clip(1.0 - ny * ny, 0.02, 1.0))
    nx = np.zeros_like(ny)
    Lv = light()
    H_ = half_vector()
    ndl = np.clip(ny * Lv[1] + nz * Lv[2], 0.0, 1.0)
    ndh = np.clip(ny * H_[1] + nz * H_[2], 0.0, 1.0)
    col = np.array(p["metal"])
    prof = (0.25 + 0.7 * ndl)[:, None] * col + (0.55 * ndh ** 40)[:, None]
    # darker seams at the very top and bottom
    seam = 1.0 - 0.8 * (smoothstep(0.07, 0.0, v) + smoothstep(0.93, 1.0, v))
    prof = prof * seam[:, None]
    # horizontal brushing: per-row streaks with slow changes along x
    rows = hash_u01(np.arange(H * 4), seed).reshape(H, 4).mean(axis=1) - 0.5
    along = periodic_noise(H, W // 8, 0.8, 40.0, seed + 100)
    along = np.repeat(along, 8, axis=1)[:, :W]
    if along.shape[1] < W:
        along = np.pad(along, ((0, 0), (0, W - along.shape[1])), mode="edge")
    b = 1.0 + p["brush"] * (rows[:, None] * 1.4 + 0.6 * along)
    # slight light falloff along the width
    u = (np.arange(W) + 0.5) / W
    fall = 1.0 - 0.08 * (u - 0.35) ** 2
    img = prof[:, None, :] * (b * fall[None, :])[..., None]
    return to_u8(np.clip(img, 0, 1))


def wood_image(which):
    p = CONFIG["wood"]
    W, H = p["size"]
    seed = p["seeds"][which]
    yy, xx = np.mgrid[0:H, 0:W].astype(np.float64)
    warp = periodic_noise(H, W, 40.0, 300.0, seed) * p["grain_warp"]
    warp2 = periodic_noise(H, W, 10.0, 80.0, seed + 1) * 1.2
    g = (yy + warp + warp2) / p["grain_period"]
    # grain lines of uneven spacing and darkness: value noise along the warped coordinate
    k = np.floor(g).astype(np.int64)
    f = g - k
    a, b = hash_u01(k, seed + 7), hash_u01(k + 1, seed + 7)
    f2 = f * f * (3 - 2 * f)
    strength = a + (b - a) * f2
    line = np.exp(-((f - 0.5) / (0.12 + 0.2 * strength)) ** 2)
    band = line * (0.35 + 0.65 * strength)
    figure = periodic_noise(H, W, 14.0, 420.0, seed + 2)
    pores = periodic_noise(H, W, 0.5, 7.0, seed + 3)
    pores = np.clip(pores - 1.3, 0.0, None) * p["pores"]
    base, dark, lightc = (np.array(p["base"]), np.array(p["dark"]), np.array(p["light"]))
    t = np.clip(0.5 + p["figure"] * figure, 0, 1)[..., None]
    col = base * (1 - t) + lightc * t
    col = col + (dark - col) * np.clip(p["grain_contrast"] * band + pores, 0, 1)[..., None]
    # lacquered, rounded edges at the top and bottom
    v = (yy + 0.5) / H
    e = p["edge"] / H
    ny = np.where(v < e, -(1 - v / e), np.where(v > 1 - e, (v - (1 - e)) / e, 0.0)) * 0.95
    nz = np.sqrt(1 - ny * ny)
    Lv = light()
    H_ = half_vector()
    ndl = np.clip(ny * Lv[1] + nz * Lv[2], 0, 1)
    ndh = np.clip(ny * H_[1] + nz * H_[2], 0, 1)
    shade = (0.35 + 0.85 * ndl)
    img = col * shade[..., None] + (0.10 * ndh ** 30 + 0.03 * ndh ** 4)[..., None]
    return to_u8(np.clip(img, 0, 1))


# ============================================================================================
# Panel texture (tiles seamlessly: every noise term is periodic on the 1445 x 1445 torus)
# ============================================================================================
def wrapped_marks(S, p, seed):
    """Fine scratches and pits, drawn on the torus: a mark crossing an edge continues on the
    opposite edge."""
    ss = 2
    im = Image.new("L", (S * ss, S * ss), 128)
    dr = ImageDraw.Draw(im)
    n = p["scratches"]
    u = hash_u01(np.arange(n * 5), seed).reshape(n, 5)
    for k in range(n):
        x0, y0 = u[k, 0] * S, u[k, 1] * S
        ang = (u[k, 2] - 0.5) * 0.7 + (math.pi / 2 if u[k, 3] < 0.3 else 0.0)
        ln = p["scratch_len"][0] + (p["scratch_len"][1] - p["scratch_len"][0]) * u[k, 4]
        x1, y1 = x0 + math.cos(ang) * ln, y0 + math.sin(ang) * ln
        level = 128 + int(round(127 * p["scratch_level"] / p["range"] * (0.5 + u[k, 3])))
        for ox in (-S, 0, S):
            for oy in (-S, 0, S):
                dr.line([((x0 + ox) * ss, (y0 + oy) * ss), ((x1 + ox) * ss, (y1 + oy) * ss)],
                        fill=min(level, 255), width=1)
    m = p["pits"]
    v = hash_u01(np.arange(m * 3), seed + 1).reshape(m, 3)
    for k in range(m):
        x0, y0, rad = v[k, 0] * S, v[k, 1] * S, 0.6 + 1.2 * v[k, 2]
        level = 128 + int(round(127 * p["pit_level"] / p["range"]))
        for ox in (-S, 0, S):
            for oy in (-S, 0, S):
                cx, cy = (x0 + ox) * ss, (y0 + oy) * ss
                dr.ellipse([cx - rad * ss, cy - rad * ss, cx + rad * ss, cy + rad * ss],
                           fill=max(level, 0))
    a = np.asarray(im, dtype=np.float64)
    a = a.reshape(S, ss, S, ss).mean(axis=(1, 3))
    return (a - 128.0) / 127.0 * p["range"]


def texture_image():
    p = CONFIG["texture"]
    S = p["size"]
    seed = p["seed"]
    mott = periodic_noise(S, S, p["mottle_scale"], p["mottle_scale"], seed)
    mott2 = periodic_noise(S, S, p["mottle2_scale"], p["mottle2_scale"], seed + 1)
    peel = periodic_noise(S, S, p["peel_scale"], p["peel_scale"], seed + 4)
    grain = periodic_noise(S, S, p["grain_scale"], p["grain_scale"], seed + 2)
    v = p["mottle"] * (mott + 0.45 * mott2) + p["peel"] * peel + p["grain"] * grain
    v = v + wrapped_marks(S, p, seed + 5)
    t = np.clip(0.5 + v / (2.0 * p["range"]), 0.0, 1.0)
    levels = p["levels"]
    idx = np.round(t * (levels - 1)).astype(np.uint8)
    lo, hi = np.array(p["dark"]), np.array(p["light"])
    pal = [lo + (hi - lo) * i / (levels - 1) for i in range(levels)]
    return ("P", idx, [int(c) for col in pal for c in to_u8(col)])


# ============================================================================================
# Output
# ============================================================================================
def all_images():
    """(file name, function producing an RGB or RGBA uint8 array)."""
    k = CONFIG["knob"]
    C = k["continuous_frames"]
    jobs = [
        ("corvex_knob_freq", lambda: knob_strip("freq", "freq", k["freq_steps"], True)),
        ("corvex_knob_freq_smooth", lambda: knob_strip("freq", "freq", C, False)),
        ("corvex_knob_gain", lambda: knob_strip("gain", "gain", k["gain_steps"], False)),
        ("corvex_knob_gain_smooth", lambda: knob_strip("gain", "gain", C, False)),
    ]
    for variant, suffix in (("plain", ""), ("red", "_red"), ("yellow", "_yellow")):
        jobs.append(("corvex_knob_freq_trim" + suffix,
                     lambda v=variant: knob_strip(v, "gain", k["freq_steps"], True)))
        jobs.append(("corvex_knob_freq_smooth_trim" + suffix,
                     lambda v=variant: knob_strip(v, "gain", C, False)))
    for colour in ("cyan", "green", "yellow", "red"):
        for on in (False, True):
            jobs.append(("led_meter_%s_%s" % (colour, "on" if on else "off"),
                         lambda c=colour, o=on: led_image(c, o)))
    jobs.append(("EQIN_red_off", lambda: eqin_image(False)))
    jobs.append(("EQIN_red_on", lambda: eqin_image(True)))
    for band in ("LF", "HF"):
        jobs.append(("%s_Bell_ON" % band, lambda b=band: shape_image(b, "bell")))
        jobs.append(("%s_Shelf_ON" % band, lambda b=band: shape_image(b, "shelf")))
    for n in ("t1", "t2", "t3", "b1", "b2", "b3"):
        jobs.append(("racking_" + n, lambda n=n: rail_image(n)))
    jobs.append(("racking_top_wood", lambda: wood_image("top")))
    jobs.append(("racking_bottom_wood", lambda: wood_image("bottom")))
    jobs.append(("vintage_blue_panel_texture_v2", texture_image))
    return jobs


def encode_png(arr):
    import io
    if isinstance(arr, tuple):  # palette image: ("P", indices, palette)
        im = Image.fromarray(arr[1], "P")
        im.putpalette(arr[2])
    else:
        im = Image.fromarray(arr, "RGBA" if arr.shape[2] == 4 else "RGB")
    buf = io.BytesIO()
    im.save(buf, format="PNG", optimize=True)
    return buf.getvalue()


def optimise(path):
    tool = shutil.which("optipng")
    if not tool:
        sys.exit("optipng not found: run scripts/setup-tools artwork")
    subprocess.run([tool, "-quiet", "-o%d" % CONFIG["optipng"]["level"], path], check=True)


def main(argv):
    check = "--check" in argv
    names = [a for a in argv if not a.startswith("--")]
    os.makedirs(OUT_DIR, exist_ok=True)
    total = 0
    bad = 0
    for name, fn in all_images():
        if names and not any(n in name for n in names):
            continue
        raw = fn()
        arr = raw
        path = os.path.join(OUT_DIR, name + ".png")
        if isinstance(arr, tuple):
            pal = np.array(arr[2], dtype=np.uint8).reshape(-1, 3)
            arr = pal[arr[1]]
        if check:
            old = np.asarray(Image.open(path).convert("RGBA" if arr.shape[2] == 4 else "RGB"))
            same = old.shape == arr.shape and np.array_equal(old, arr)
            bad += 0 if same else 1
            print("%-40s %s" % (name, "same" if same else "DIFFERS"))
            continue
        data = encode_png(raw)
        with open(path, "wb") as f:
            f.write(data)
        if name in CONFIG["optipng"]["names"]:
            optimise(path)
            data = open(path, "rb").read()
        total += len(data)
        print("%-40s %5d x %-4d %9d bytes" % (name, arr.shape[1], arr.shape[0], len(data)))
        sys.stdout.flush()
    if check:
        return 1 if bad else 0
    print("total %d bytes" % total)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
