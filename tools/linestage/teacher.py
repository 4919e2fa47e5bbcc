#!/usr/bin/env python3
"""Reference simulation of the analog line stage (the "teacher" the neural models learn).

Signals are in digital full-scale units (+-1.0 = 0 dBFS) at 48 kHz, calibrated so that
+4 dBu = -18 dBFS (0 dBFS = +22 dBu). The stage is, in signal order:

    v   = drive * x                                   drive: 1 (standard) or +6.0 dB (boost)
    phi[n] = a * phi[n-1] + k * v[n]                  input transformer core flux (leaky integral)
    v1[n]  = (S(phi[n]) - a * S(phi[n-1])) / k        voltage coupled through the saturating core
    s   = v1 + r(v1)                                  amplifier static curve (smooth fit of the
                                                      waveshaper polynomial)
    c   = s / (1 + |s / R|^N)^(1/N)                   output rail, R at +33 dBu
    y   = ((1 - b) * c[n] + b * c[n-2]) / drive + dc  HF dip, level back, DC offset

with S(phi) = phis * tanh(phi / phis), a = exp(-2 pi f_leak / fs), k = 2 pi f_ref / fs. While the
core is far from saturation S is the identity and the transformer passes v unchanged; near
saturation the coupled voltage drops by about v * (phi / phis)^2, and since the flux of a tone
is inversely proportional to its frequency, low frequencies distort far more than high ones.

Every parameter lives in PARAMS below; tools/linestage/README.md explains the choices.
Only numpy is needed. All arithmetic is double precision.
"""

import math

import numpy as np

SAMPLE_RATE = 48000.0

# Full scale in dBu: +4 dBu sits at -18 dBFS.
FULL_SCALE_DBU = 4.0 + 18.0

# Waveshaper polynomial of the Standard engine, degrees 2..10, and its removed linear part.
POLY_DEGREES = (2, 3, 4, 5, 6, 7, 8, 9, 10)
POLY_COEFFICIENTS = (
    0.0037628420726921194,
    -0.015056167453144016,
    -0.03908297591009394,
    0.06162984772381686,
    0.10643453463629547,
    -0.08826926282730516,
    -0.1152682877137474,
    0.04414841669633737,
    0.04322130251995169,
)
POLY_REMOVED_LINEAR = -1.7184749784875374e-06

PARAMS = {
    # Transformer: flux leak corner (Hz), flux reference frequency (Hz, a tone there has a
    # flux amplitude of about its voltage amplitude), and the saturation flux (in those units).
    "leak_hz": 20.0,
    "flux_ref_hz": 50.0,
    "flux_sat": 4.0,
    # Amplifier static curve: two tanh terms (slope w, offset b, weight c), each minus its value
    # and slope at 0, fitted by fit_static.py to the waveshaper polynomial on sines of -18..0
    # dBFS. Smooth everywhere (the polynomial's steep ends near |v| = 1, where loud programme
    # peaks, are not followed), nearly linear continuation beyond.
    "static_terms": (
        (3.5351045505061234, -1.495052112380915, -0.002896472330612776),
        (2.7309655866798943, 0.707702997493818, -0.0032805238609008433),
    ),
    # Output rail: clip level in dBu and knee sharpness of the N-norm soft limit.
    "clip_dbu": 33.0,
    "rail_knee": 12.0,
    # Output HF loss: weight b of the sample two back (an even lag, which the model's
    # dilations 2..1024 can represent); a gentle dip of -0.21 dB at 12 kHz.
    "hf_tap": 0.012,
    # DC offset added at the output (full-scale units).
    "dc_offset": 5.0e-5,
    # Extra drive of the boost variant in dB.
    "boost_db": 6.0,
}


def rail_level():
    """Clip point of the output rail in full-scale units (+33 dBu -> +11 dBFS -> 3.548)."""
    return 10.0 ** ((PARAMS["clip_dbu"] - FULL_SCALE_DBU) / 20.0)


def poly_residual(v):
    """The waveshaper polynomial r(v) = sum c_k v^k - removed_linear * v (valid for |v| <= 1)."""
    v = np.asarray(v, dtype=np.float64)
    total = np.zeros_like(v)
    for degree, coefficient in zip(POLY_DEGREES, POLY_COEFFICIENTS):
        total += coefficient * v**degree
    return total - POLY_REMOVED_LINEAR * v


def poly_slope(v):
    """Derivative of poly_residual at v."""
    v = np.asarray(v, dtype=np.float64)
    total = np.zeros_like(v)
    for degree, coefficient in zip(POLY_DEGREES, POLY_COEFFICIENTS):
        total += degree * coefficient * v ** (degree - 1)
    return total - POLY_REMOVED_LINEAR


def static_term(v, slope, offset):
    """tanh(slope v + offset) minus its value and its slope at v = 0."""
    t0 = math.tanh(offset)
    return np.tanh(slope * v + offset) - t0 - slope * (1.0 - t0 * t0) * v


def static_residual(v):
    """Amplifier residual: sum of c * static_term(v, w, b) over PARAMS["static_terms"]."""
    v = np.asarray(v, dtype=np.float64)
    total = np.zeros_like(v)
    for slope, offset, weight in PARAMS["static_terms"]:
        total += weight * static_term(v, slope, offset)
    return total


def transformer(v, fs=SAMPLE_RATE):
    """Input transformer: flux = leaky integral of v, output = derivative of saturated flux."""
    a = math.exp(-2.0 * math.pi * PARAMS["leak_hz"] / fs)
    k = 2.0 * math.pi * PARAMS["flux_ref_hz"] / fs
    phis = PARAMS["flux_sat"]
    phi = np.empty_like(v)
    state = 0.0
    # A recursive first-order filter; a plain loop is clear and fast enough here.
    for n, value in enumerate(v):
        state = a * state + k * value
        phi[n] = state
    sat = phis * np.tanh(phi / phis)
    prev = np.concatenate(([0.0], sat[:-1]))
    return (sat - a * prev) / k


def rail(s):
    """Soft limit towards the +33 dBu clip point (N-norm knee)."""
    r = rail_level()
    n = PARAMS["rail_knee"]
    return s / (1.0 + np.abs(s / r) ** n) ** (1.0 / n)


def hf_rolloff(c):
    """Gentle HF loss from an even lag: y[n] = (1 - b) c[n] + b c[n-2].

    |H|^2 = 1 - 2 b (1 - b) (1 - cos 2w): -0.08 dB at 5 kHz, -0.21 dB at 12 kHz (the deepest
    point), -0.05 dB at 20 kHz at 48 kHz. A lag of one sample would give a monotonic roll-off,
    but the model's taps are all even, so it could only approximate that."""
    b = PARAMS["hf_tap"]
    prev2 = np.concatenate(([0.0, 0.0], c[:-2]))[: len(c)]
    return (1.0 - b) * c + b * prev2


def drive_gain(boost):
    """Linear drive into the stage: 1 for the standard variant, +boost_db for boost."""
    return 10.0 ** (PARAMS["boost_db"] / 20.0) if boost else 1.0


def line_stage(x, boost=False, fs=SAMPLE_RATE):
    """Runs the line stage on x (1-D, full-scale units, starting from rest); returns y."""
    if fs != SAMPLE_RATE:
        raise ValueError("the line stage is defined at 48 kHz")
    g = drive_gain(boost)
    v = np.asarray(x, dtype=np.float64) * g
    v1 = transformer(v, fs)
    s = v1 + static_residual(v1)
    y = hf_rolloff(rail(s)) / g
    return y + PARAMS["dc_offset"]


def harmonic_ratio_db(y, f0, fs, harmonic):
    """Level of harmonic h of f0 relative to the fundamental in dB (integer-period window)."""
    n = len(y)
    t = np.arange(n) / fs
    def amp(f):
        c = np.exp(-2j * math.pi * f * t)
        return abs(np.dot(y, c)) * 2.0 / n
    return 20.0 * math.log10(amp(harmonic * f0) / amp(f0) + 1e-30)


def main():
    """Prints the stage's harmonic and correction figures for a few tones."""
    fs = SAMPLE_RATE
    n = int(fs)  # 1 s
    t = np.arange(n) / fs
    print("rail %.4f FS (%.1f dBu)" % (rail_level(), PARAMS["clip_dbu"]))
    for boost in (False, True):
        print("boost" if boost else "standard")
        for level in (-30.0, -18.0, -6.0, 0.0):
            row = []
            for f in (50.0, 200.0, 1000.0, 5000.0):
                x = 10.0 ** (level / 20.0) * np.sin(2 * math.pi * f * t)
                y = line_stage(x, boost)
                seg = y[n // 2:]
                seg = seg - seg.mean()
                h3 = harmonic_ratio_db(seg, f, fs, 3)
                h2 = harmonic_ratio_db(seg, f, fs, 2)
                corr = y[n // 2:] - x[n // 2:]
                cr = 20 * math.log10(np.sqrt(np.mean(corr**2)) / np.sqrt(np.mean(x[n // 2:]**2)))
                row.append("%5.0fHz H2 %6.1f H3 %6.1f corr %6.1f" % (f, h2, h3, cr))
            print("  %4.0f dBFS | %s" % (level, " | ".join(row)))


if __name__ == "__main__":
    main()
