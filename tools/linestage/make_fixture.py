#!/usr/bin/python3
"""Writes the line-stage test fixture: the teacher's correction for a fixed sine-burst signal.

    /usr/bin/python3 tools/linestage/make_fixture.py     # -> tests/modelling/data/linestage_teacher.{json,bin}

The signal (48 kHz, mono) is a row of bursts, levels outermost, frequencies inner:

    burst b = level_index * len(freqs) + freq_index, starting at sample b * (gap + tone)
    gap samples of silence, then tone samples of
        x[k] = float32(A * env[k] * sin(2 pi f k / 48000)),  A = 10^(level/20), k = 0 .. tone-1
    env: raised-cosine fade of `fade` samples at both ends of the tone,
         env[k] = 0.5 - 0.5 cos(pi k / fade) for k < fade, mirrored at the end, 1 between.

The teacher runs once over the whole signal from rest (standard and boost). The binary file holds
float32 little-endian values of the correction teacher(x) - x inside each burst's analysis
window (tone samples window_start .. window_start + window_length - 1), laid out
[variant][burst][sample] with variant 0 = standard, 1 = boost.
"""

import json
import math
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import teacher  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OUT_DIR = os.path.join(ROOT, "tests", "modelling", "data")

FIXTURE_LAYOUT = {
    "sample_rate": 48000,
    "levels_dbfs": [-30.0, -18.0, -6.0, 0.0],
    "freqs_hz": [50.0, 200.0, 1000.0, 5000.0],
    "gap": 2400,
    "tone": 12000,
    "fade": 240,
    "window_start": 6000,
    "window_length": 4800,
    "variants": ["standard", "boost"],
    "layout": "float32 little-endian, [variant][burst][window sample]; burst = level_index * 4 + freq_index",
    "data": "linestage_teacher.bin",
}


def envelope(tone, fade):
    """Raised-cosine fade in and out."""
    env = np.ones(tone)
    k = np.arange(fade)
    ramp = 0.5 - 0.5 * np.cos(math.pi * k / fade)
    env[:fade] = ramp
    env[tone - fade:] = ramp[::-1]
    return env


def test_signal(layout=FIXTURE_LAYOUT):
    """The fixture's input signal (float32) and the start sample of each burst's tone."""
    fs = float(layout["sample_rate"])
    gap, tone = layout["gap"], layout["tone"]
    env = envelope(tone, layout["fade"])
    k = np.arange(tone)
    parts, starts = [], []
    pos = 0
    for level in layout["levels_dbfs"]:
        for f in layout["freqs_hz"]:
            a = 10.0 ** (level / 20.0)
            parts.append(np.zeros(gap))
            parts.append(a * env * np.sin(2.0 * math.pi * f * k / fs))
            starts.append(pos + gap)
            pos += gap + tone
    return np.concatenate(parts).astype(np.float32), starts


def windows(signal, starts, layout=FIXTURE_LAYOUT):
    """Stacks the analysis windows of a full-length signal: [burst][sample]."""
    w0, wl = layout["window_start"], layout["window_length"]
    return np.stack([signal[s + w0:s + w0 + wl] for s in starts])


def main():
    x, starts = test_signal()
    xd = x.astype(np.float64)
    blocks = []
    for boost in (False, True):
        corr = teacher.line_stage(xd, boost) - xd
        blocks.append(windows(corr, starts).astype(np.float32))
    data = np.stack(blocks)
    os.makedirs(OUT_DIR, exist_ok=True)
    with open(os.path.join(OUT_DIR, FIXTURE_LAYOUT["data"]), "wb") as f:
        f.write(data.astype("<f4").tobytes())
    doc = dict(FIXTURE_LAYOUT)
    doc["bursts"] = len(starts)
    doc["total_samples"] = int(len(x))
    doc["boost_db"] = teacher.PARAMS["boost_db"]
    text = json.dumps(doc, indent=2) + "\n"
    with open(os.path.join(OUT_DIR, "linestage_teacher.json"), "w") as f:
        f.write(text)
    print("fixture: %d bursts, %d samples, %d bytes of corrections" % (len(starts), len(x), data.nbytes))


if __name__ == "__main__":
    main()
