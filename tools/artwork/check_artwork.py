#!/usr/bin/python3
"""Checks the committed editor images: sizes, frame geometry, alpha, pointer order, tiling.

    /usr/bin/python3 tools/artwork/check_artwork.py

Offline, needs numpy and PIL only. Exit status 0 when every check passes. The expected values
are written out here on their own, not taken from the generator.
"""
import math
import os
import sys

import numpy as np
from PIL import Image

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
IMG = os.path.join(ROOT, "resources", "editor", "images")
FONTS = os.path.join(ROOT, "resources", "editor", "fonts")

FRAME = 278
FREQ_LOW = math.degrees(4.198)  # lowest step of a frequency knob (about 8 o'clock)
FREQ_HIGH = math.degrees(4.198 - 3.107)  # highest step (about 2 o'clock)

# name: (frames, angle of frame 0, angle of the last frame) -- clockwise from 12 o'clock
KNOBS = {
    "corvex_knob_freq": (7, FREQ_HIGH, FREQ_LOW),
    "corvex_knob_freq_smooth": (73, FREQ_LOW, FREQ_HIGH),
    "corvex_knob_gain": (11, -150.0, 150.0),
    "corvex_knob_gain_smooth": (73, -150.0, 150.0),
}
for suffix in ("", "_red", "_yellow"):
    KNOBS["corvex_knob_freq_trim" + suffix] = (7, 150.0, -150.0)
    KNOBS["corvex_knob_freq_smooth_trim" + suffix] = (73, -150.0, 150.0)

# name: (width, height, needs alpha)
FIXED = {
    "EQIN_red_off": (156, 52, True), "EQIN_red_on": (156, 52, True),
    "LF_Bell_ON": (92, 92, True), "LF_Shelf_ON": (92, 92, True),
    "HF_Bell_ON": (92, 92, True), "HF_Shelf_ON": (92, 92, True),
    "racking_top_wood": (3300, 72, False), "racking_bottom_wood": (3300, 72, False),
    "racking_t1": (3000, 70, False), "racking_t2": (3000, 70, False),
    "racking_t3": (3000, 70, False), "racking_b1": (3000, 70, False),
    "racking_b2": (3000, 70, False), "racking_b3": (2348, 70, False),
    "vintage_blue_panel_texture_v2": (1445, 1445, False),
}
for c in ("cyan", "green", "yellow", "red"):
    for s in ("off", "on"):
        FIXED["led_meter_%s_%s" % (c, s)] = (48, 48, True)

FONT_FILES = ["PlayRegular.ttf", "PlayBold.ttf", "NotoSansCJKjpRegularSubset.otf",
              "LICENSE-Play.txt", "LICENSE-NotoSansCJK.txt"]

failures = []


def fail(msg):
    failures.append(msg)
    print("FAIL " + msg)


def load(name):
    path = os.path.join(IMG, name + ".png")
    if not os.path.exists(path):
        fail("%s: missing" % name)
        return None
    return Image.open(path)


def angle_diff(a, b):
    return (a - b + 180.0) % 360.0 - 180.0


def pointer_angle(frame, median):
    """Direction of the pixels that differ from the median frame (the rotating marks)."""
    d = np.abs(frame[..., :3].astype(np.int32) - median[..., :3].astype(np.int32)).sum(axis=2)
    ys, xs = np.nonzero(d > 60)
    if len(xs) < 20:
        return None
    x = xs + 0.5 - FRAME / 2.0
    y = ys + 0.5 - FRAME / 2.0
    r = np.hypot(x, y)
    keep = r > 20  # ignore the centre, where lines of neighbouring frames overlap
    w = d[ys, xs][keep].astype(np.float64)
    sx, sy = (w * x[keep] / r[keep]).sum(), (w * y[keep] / r[keep]).sum()
    return math.degrees(math.atan2(sx, -sy))


def check_knob(name, frames, a0, a1):
    im = load(name)
    if im is None:
        return
    if im.mode != "RGBA":
        fail("%s: mode %s, needs RGBA" % (name, im.mode))
        return
    w, h = im.size
    if h != FRAME or w != FRAME * frames:
        fail("%s: %dx%d, expected %dx%d (%d horizontal frames)" % (name, w, h, FRAME * frames,
                                                                  FRAME, frames))
        return
    a = np.asarray(im)
    before = len(failures)
    fr = [a[:, i * FRAME:(i + 1) * FRAME] for i in range(frames)]
    # alpha: transparent corners, opaque body, identical in every frame (no wobble)
    alpha0 = fr[0][..., 3]
    if alpha0[0, 0] != 0 or alpha0[-1, -1] != 0 or alpha0[FRAME // 2, FRAME // 2] != 255:
        fail("%s: alpha is not transparent outside and opaque in the middle" % name)
    body = (alpha0 >= 180).mean()
    if not 0.15 < body < 0.75:
        fail("%s: %.2f of the frame has alpha >= 180" % (name, body))
    for i, f in enumerate(fr[1:], 1):
        if np.abs(f[..., 3].astype(int) - alpha0.astype(int)).max() > 1:
            fail("%s: frame %d has a different outline than frame 0" % (name, i))
            break
    # the body outline is centred in the frame
    ys, xs = np.nonzero(alpha0 >= 128)
    cx, cy = (xs.min() + xs.max() + 1) / 2.0, (ys.min() + ys.max() + 1) / 2.0
    if abs(cx - FRAME / 2.0) > 8 or abs(cy - FRAME / 2.0) > 8:
        fail("%s: body not centred (%.1f, %.1f)" % (name, cx, cy))
    # pointer direction of every frame against the expected sweep
    median = np.median(np.stack(fr), axis=0)
    worst = 0.0
    for i, f in enumerate(fr):
        expect = a0 + (a1 - a0) * i / (frames - 1)
        got = pointer_angle(f, median)
        if got is None:
            fail("%s: no pointer found in frame %d" % (name, i))
            return
        worst = max(worst, abs(angle_diff(got, expect)))
    if worst > 4.0:
        fail("%s: pointer off the expected angle by up to %.1f deg" % (name, worst))
    if len(failures) > before:
        return
    print("ok   %-40s %2d frames, body %.2f, pointer within %.2f deg" % (name, frames, body,
                                                                         worst))


def check_fixed(name, w, h, needs_alpha):
    im = load(name)
    if im is None:
        return
    if im.size != (w, h):
        fail("%s: %dx%d, expected %dx%d" % (name, im.size[0], im.size[1], w, h))
        return
    if needs_alpha:
        if im.mode != "RGBA":
            fail("%s: mode %s, needs RGBA" % (name, im.mode))
            return
        a = np.asarray(im)[..., 3]
        if a[0, 0] != 0 or a[h // 2, w // 2] != 255:
            fail("%s: alpha not transparent at the corner and opaque in the middle" % name)
    print("ok   %-40s %dx%d %s" % (name, w, h, im.mode))


def check_tiling(name):
    im = load(name)
    if im is None:
        return
    a = np.asarray(im.convert("RGB")).astype(np.float64)
    inner_x = np.abs(np.diff(a, axis=1)).mean()
    inner_y = np.abs(np.diff(a, axis=0)).mean()
    seam_x = np.abs(a[:, 0] - a[:, -1]).mean()
    seam_y = np.abs(a[0] - a[-1]).mean()
    # low-frequency continuity too: the mean level of bands at both edges
    band = 24
    lx = abs(a[:, :band].mean() - a[:, -band:].mean())
    ly = abs(a[:band].mean() - a[-band:].mean())
    rx, ry = seam_x / inner_x, seam_y / inner_y
    if rx > 1.3 or ry > 1.3:
        fail("%s: edge step %.2f / %.2f times the usual neighbour step" % (name, rx, ry))
    else:
        print("ok   %-40s seams: left/right %.2f, top/bottom %.2f of a normal step; "
              "edge band means differ by %.2f / %.2f levels" % (name, rx, ry, lx, ly))


def main():
    for name, (n, a0, a1) in KNOBS.items():
        check_knob(name, n, a0, a1)
    for name, (w, h, al) in FIXED.items():
        check_fixed(name, w, h, al)
    check_tiling("vintage_blue_panel_texture_v2")
    for f in FONT_FILES:
        if not os.path.exists(os.path.join(FONTS, f)):
            fail("fonts/%s: missing" % f)
    total = sum(os.path.getsize(os.path.join(IMG, f)) for f in os.listdir(IMG)
                if f.endswith(".png"))
    print("images: %d PNG files, %d bytes" % (len([f for f in os.listdir(IMG)
                                                   if f.endswith(".png")]), total))
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
