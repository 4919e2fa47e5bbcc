#!/usr/bin/env python3
"""Writes resources/clipper_fit_asym.json, the soft-clipper fit that AsymTanhClipper loads.

The curve is y = s*x / (1 + (|x|/R)^N)^(1/N), limited to +-R. Two calibrations are stored:
"practical_mode" puts the rail at digital full scale (+24 dBu at the hardware's line level),
"accurate_mode" puts it at the unit's clip point, 2.905 times full scale (about +33.3 dBu).
Both share the knee exponent N = 2.5239 on both polarities.

The document is pretty-printed with two-space indentation and CRLF line ends, in the key order
below, with no line end after the closing brace. Standard library only.

Usage: python3 tools/make_clipper_fit.py [output path]
"""

import json
import os
import sys

KNEE_EXPONENT = 2.5239
ACCURATE_RAIL = 2.905

DOCUMENT = {
    "version": "clipper_v1_sym_corvex_2026-08-14",
    "description": (
        "Soft clipper fitted to the output stage of the Corvex console channel. "
        "y = s*x / (1 + (|x|/R)^N)^(1/N), limited to +-R; s = 2^(1/N) in practical mode "
        "(full scale passes at unity), s = 1 in accurate mode."
    ),
    "model": "symmetric_N_norm_soft_clipper",
    "rationale": (
        "One exponent serves both polarities (the model is symmetric) and the N-norm knee "
        "has a single shape parameter per rail. Practical mode keeps the ceiling at digital "
        "full scale for mixing; accurate mode places it at the unit's own clip level."
    ),
    "measurement": {
        "source": "measurements/corvex_line_out_level_sweep_96k.wav",
        "metadata": "measurements/corvex_line_out_level_sweep_96k.json",
        "analysis": "analysis/clipper_fit_report.json",
        "sample_rate": 96000,
        "gain_offset_dB": 30.0,
        "clip_level_dBu": 33.3,
        "knee": "N-norm knee, N = 2.5239 on both polarities, rail at the clip level.",
    },
    "practical_mode": {
        "rail_dBu": 24.0,
        "rail_internal_HW": 1.0,
        "R": 1.0,
        "N_pos": KNEE_EXPONENT,
        "N_neg": KNEE_EXPONENT,
    },
    "accurate_mode": {
        "rail_dBu": 33.3,
        "rail_internal_HW": ACCURATE_RAIL,
        "R": ACCURATE_RAIL,
        "N_pos": KNEE_EXPONENT,
        "N_neg": KNEE_EXPONENT,
    },
}


def render() -> bytes:
    """The document's exact bytes: ASCII JSON, two-space indent, CRLF line ends."""
    text = json.dumps(DOCUMENT, indent=2, ensure_ascii=True)
    return text.replace("\n", "\r\n").encode("ascii")


def main() -> int:
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "clipper_fit_asym.json")
    data = render()
    with open(path, "wb") as out:
        out.write(data)
    print(f"wrote {path} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
