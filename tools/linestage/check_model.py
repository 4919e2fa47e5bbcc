#!/usr/bin/python3
"""Checks the shipped line-stage models against the teacher fixture, in numpy only.

    /usr/bin/python3 tools/linestage/check_model.py [resource directory]

For both variants it runs the documents through engine_ref (the engine's arithmetic, 64-frame
chunks) on the fixture signal and reports per level and frequency:
  * corr: the teacher's correction rms relative to the signal rms (dB),
  * err:  rms(model correction - teacher correction) / rms(teacher correction), in percent,
          judged (target < 10 %) where the teacher's correction is above -60 dB of the signal;
then the 3rd-harmonic ratio at 50 Hz and 1 kHz (0 dBFS) for model and teacher, and how boost
differs from standard. Also verifies the documents: 1705 values, left == right, CRLF, metadata.
Exit status 0 when every document is well formed (the figures are reported, not enforced).
"""

import json
import math
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import common  # noqa: E402
import engine_ref  # noqa: E402
import make_fixture  # noqa: E402

ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))


def rms(v):
    return float(np.sqrt(np.mean(np.asarray(v, dtype=np.float64) ** 2)))


def db(v):
    return 20.0 * math.log10(max(v, 1e-30))


def harmonic_db(y, f0, fs, h):
    """Level of harmonic h relative to the fundamental (window holds whole periods)."""
    y = np.asarray(y, dtype=np.float64)
    y = y - y.mean()
    t = np.arange(len(y)) / fs
    amp = lambda f: abs(np.dot(y, np.exp(-2j * math.pi * f * t)))
    return db(amp(h * f0) / amp(f0))


def check_document(path):
    """Structure checks of one model document; returns (metadata, weights, problems)."""
    problems = []
    raw = open(path, "rb").read()
    text = raw.decode("utf-8")
    if "\n" in text.replace("\r\n", ""):
        problems.append("bare LF line end")
    if not text.startswith('{\r\n  "__metadata__": {'):
        problems.append("unexpected start / indentation")
    doc = json.loads(text)
    if sorted(doc.keys()) != ["__metadata__", "weights"]:
        problems.append("top-level members %s" % sorted(doc.keys()))
    meta, weights = common.load_document(path)
    if meta != common.METADATA:
        problems.append("metadata differs")
    count = sum(int(np.asarray(doc["weights"][name]).size) for name, _ in common.WEIGHT_SHAPES)
    if count != 1705 or len(doc["weights"]) != len(common.WEIGHT_SHAPES):
        problems.append("value count %d" % count)
    return meta, weights, problems, len(raw), count


def main():
    res_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "resources")
    layout = json.load(open(os.path.join(ROOT, "tests", "modelling", "data", "linestage_teacher.json")))
    data = np.fromfile(os.path.join(ROOT, "tests", "modelling", "data", layout["data"]), dtype="<f4")
    nb, wl = layout["bursts"], layout["window_length"]
    teacher_corr = data.reshape(2, nb, wl)
    x, starts = make_fixture.test_signal(layout)
    xw = make_fixture.windows(x, starts, layout)
    fs = float(layout["sample_rate"])
    levels, freqs = layout["levels_dbfs"], layout["freqs_hz"]

    ok = True
    model_corr = {}
    for v, stem in enumerate(("wavenet_line_small", "wavenet_line_small_boost")):
        left = os.path.join(res_dir, stem + "_l.json")
        right = os.path.join(res_dir, stem + "_r.json")
        meta, weights, problems, size, count = check_document(left)
        same = open(left, "rb").read() == open(right, "rb").read()
        print("%s: %d bytes, %d values, left == right: %s%s" % (
            stem, size, count, same, "" if not problems else ", problems: " + "; ".join(problems)))
        ok = ok and same and not problems
        y = engine_ref.run(weights, meta, x, chunk=64, rate=fs)
        model_corr[v] = make_fixture.windows(y.astype(np.float64) - x.astype(np.float64), starts, layout)

    worst = 0.0
    for v, name in enumerate(layout["variants"]):
        print("\n%s: error-to-signal ratio of the correction (judged where corr > -60 dB)" % name)
        print("  level  " + "".join("%16.0f Hz" % f for f in freqs))
        for li, level in enumerate(levels):
            cells = []
            for fi in range(len(freqs)):
                b = li * len(freqs) + fi
                t = teacher_corr[v, b].astype(np.float64)
                m = model_corr[v][b]
                rel = db(rms(t) / rms(xw[b]))
                err = rms(m - t) / max(rms(t), 1e-30)
                judged = rel > -60.0
                if judged:
                    worst = max(worst, err)
                cells.append("%6.1fdB %5.1f%%%s" % (rel, 100 * err, " " if judged else "-"))
            print("  %5.0f  %s" % (level, "  ".join(cells)))
    print("\nworst judged error: %.1f %% (target < 10 %%)" % (100 * worst))

    li0 = levels.index(0.0)
    print("\n3rd-harmonic ratio at 0 dBFS (dB): 50 Hz, 1 kHz, margin")
    for v, name in enumerate(layout["variants"]):
        for label, corr in (("teacher", teacher_corr[v].astype(np.float64)), ("model", model_corr[v])):
            h = []
            for f in (50.0, 1000.0):
                b = li0 * len(freqs) + freqs.index(f)
                h.append(harmonic_db(xw[b] + corr[b], f, fs, 3))
            print("  %-8s %-7s %7.1f %7.1f %7.1f" % (name, label, h[0], h[1], h[0] - h[1]))

    print("\nboost vs standard: correction rms ratio in dB (teacher / model)")
    print("  level  " + "".join("%17.0f Hz" % f for f in freqs))
    for li, level in enumerate(levels):
        cells = []
        for fi in range(len(freqs)):
            b = li * len(freqs) + fi
            tr = db(rms(teacher_corr[1, b]) / rms(teacher_corr[0, b]))
            mr = db(rms(model_corr[1][b]) / rms(model_corr[0][b]))
            cells.append("%7.1f /%7.1f" % (tr, mr))
        print("  %5.0f  %s" % (level, "  ".join(cells)))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
