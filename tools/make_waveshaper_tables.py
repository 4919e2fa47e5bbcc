#!/usr/bin/env python3
"""Regenerates the two Standard waveshaper tables (LineIn_L_lut.json, LineIn_R_lut.json).

The line stage's static nonlinearity was distilled into a polynomial residual

    residual(x) = sum_k c[k] * x**d[k]  -  removed_linear_projection * x,   d = 2 .. 10

and sampled on 4097 points from -1 to +1 (step 2**-11). This tool rebuilds both table
documents from those coefficients, byte for byte reproducibly, using only the standard library.

Evaluation: every power x**d is formed exactly (x is dyadic) and rounded once to the nearest
double; the terms are accumulated in degree order, starting from 0, with fused multiply-adds
(total = round(c*x**d + total), done exactly with fractions), and the double product
removed_linear_projection*x is subtracted last. That order reproduces the stored end values
(-0.003387137009585618 at -1, 0.0015219682197814789 at +1) exactly and keeps every point
within 2.4e-17 of the exact rational value of the polynomial; the build refuses anything
further than 3e-17 from it.

Usage: python3 tools/make_waveshaper_tables.py [output directory]   (default: resources/)
"""

import json
import math
import os
import sys
from fractions import Fraction

FORMAT_NAME = "standard_static_waveshaper_1d"
POINTS = 4097
STEP = Fraction(1, 2048)
TOLERANCE = 3e-17

POLY_DEGREES = [2, 3, 4, 5, 6, 7, 8, 9, 10]
COEFFICIENTS = [
    0.0037628420726921194,
    -0.015056167453144016,
    -0.03908297591009394,
    0.06162984772381686,
    0.10643453463629547,
    -0.08826926282730516,
    -0.1152682877137474,
    0.04414841669633737,
    0.04322130251995169,
]
REMOVED_LINEAR_PROJECTION = -1.7184749784875374e-06

# Figures the regenerated tables must reproduce exactly.
EXPECTED_FIRST = -0.003387137009585618
EXPECTED_LAST = 0.0015219682197814789


def axis_points():
    """The 4097 axis values -1 + k/2048 as exact fractions."""
    return [Fraction(-1) + k * STEP for k in range(POINTS)]


def residual_double(x):
    """The residual at the exact axis value x, evaluated in doubles in the documented order."""
    total = 0.0
    for degree, coefficient in zip(POLY_DEGREES, COEFFICIENTS):
        power = float(x**degree)  # exact power, rounded once
        total = float(Fraction(coefficient) * Fraction(power) + Fraction(total))  # fused multiply-add
    return total - REMOVED_LINEAR_PROJECTION * float(x)


def residual_exact(x):
    """The residual at x in exact rational arithmetic (coefficients taken as their doubles)."""
    total = Fraction(0)
    for degree, coefficient in zip(POLY_DEGREES, COEFFICIENTS):
        total += Fraction(coefficient) * x**degree
    return total - Fraction(REMOVED_LINEAR_PROJECTION) * x


def build_tables():
    xs = axis_points()
    x_axis = [float(x) for x in xs]
    residual = [residual_double(x) for x in xs]

    worst = max(abs(Fraction(r) - residual_exact(x)) for x, r in zip(xs, residual))
    if worst > Fraction(TOLERANCE):
        raise SystemExit("residual deviates from the polynomial by %g" % float(worst))
    if residual[0] != EXPECTED_FIRST or residual[-1] != EXPECTED_LAST:
        raise SystemExit("end values %r, %r do not match" % (residual[0], residual[-1]))
    if x_axis[2048] != 0.0 or residual[2048] != 0.0:
        raise SystemExit("centre point is not (0, 0)")
    return x_axis, residual, float(worst)


def document(channel, x_axis, residual):
    max_abs = max(abs(r) for r in residual)
    rms = math.sqrt(math.fsum(r * r for r in residual) / len(residual))
    return {
        "label": "LineIn",
        "channel": channel,
        "format": FORMAT_NAME,
        "description": "Static residual y(x) - x of the LineIn line stage, distilled from the "
        "recurrent teacher into a degree 2-10 polynomial and sampled on 4097 points over "
        "-1..+1 (digital full scale). Runtime: y = x + drive * interp(residual, x), end values "
        "held beyond the axis. Regenerated from stats.coefficients by "
        "tools/make_waveshaper_tables.py.",
        "source": "teacher LSTM, LineIn channel %s (model file not shipped)" % channel,
        "teacher_metadata": {
            "model_type": "LSTM",
            "hidden_size": 32,
            "input_size": 1,
            "json_norm_factor": 0.7943000197410583,
            "runtime_norm_factor": 1.0,
            "output_gain": 1.0,
        },
        "x_axis": x_axis,
        "residual": residual,
        "stats": {
            "fit_samples": 2322432,
            "amp_grid_dbfs_cal": [-18.0 + 3.0 * i for i in range(7)],
            "freq_grid_hz": [40.0, 70.0, 100.0, 160.0, 250.0, 400.0, 630.0, 1000.0, 1600.0],
            "poly_degrees": POLY_DEGREES,
            "ridge_lambda": 0.0001,
            "coefficients": COEFFICIENTS,
            "removed_linear_projection": REMOVED_LINEAR_PROJECTION,
            # The teacher and fit error figures came from the distillation run, whose data
            # is not part of this repository; they are informational and left empty here.
            "teacher_residual_rms_raw": None,
            "teacher_residual_rms": None,
            "static_fit_rms": None,
            "fit_error_rms": None,
            "lut_max_abs_residual": max_abs,
            "lut_rms_residual": rms,
        },
    }


def serialise(doc):
    """Two-space indented JSON, UTF-8, CRLF line ends, no trailing line end."""
    text = json.dumps(doc, indent=2, ensure_ascii=False)
    return text.replace("\n", "\r\n").encode("utf-8")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, os.pardir, "resources")
    x_axis, residual, worst = build_tables()
    for channel in ("L", "R"):
        data = serialise(document(channel, x_axis, residual))
        path = os.path.join(out_dir, "LineIn_%s_lut.json" % channel)
        with open(path, "wb") as f:
            f.write(data)
        print("%s: %d bytes" % (os.path.normpath(path), len(data)))
    print("largest deviation from the exact polynomial: %.3g" % worst)


if __name__ == "__main__":
    main()
