#!/usr/bin/python3
"""Third harmonic through the whole plug-in against the teacher.

    /usr/bin/python3 tools/linestage/measure_plugin.py [path to oxlade-render]

Renders 3 s mono sines (50 Hz and 1 kHz, -6 and 0 dBFS, 24-bit) through oxlade-render at
48 kHz with "mode" Hybrid, "hybridMode" Hybrid or Boost Hybrid, "drive" 100 and the clipper
off, and compares the third harmonic of the last second with the teacher's on the same samples.
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import teacher as T  # noqa: E402

R = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "release", "oxlade-render")
fs = 48000
TMP = tempfile.mkdtemp()
def write_wav(path, x):
    pcm = np.clip(np.round(x * 8388607.0), -8388608, 8388607).astype(np.int32)
    b = bytearray()
    for v in pcm:
        b += struct.pack("<i", int(v))[:3]
    with wave.open(path, "wb") as w:
        w.setnchannels(1); w.setsampwidth(3); w.setframerate(fs); w.writeframes(bytes(b))
    return pcm.astype(np.float64) / 8388607.0
def read_float_wav(path):
    data = open(path, "rb").read()
    pos = 12; fmt = None
    while pos < len(data):
        cid = data[pos:pos+4]; size = struct.unpack("<I", data[pos+4:pos+8])[0]
        body = data[pos+8:pos+8+size]
        if cid == b"fmt ": fmt = struct.unpack("<HHIIHH", body[:16])
        if cid == b"data":
            ch = fmt[1]
            return np.frombuffer(body, dtype="<f4").reshape(-1, ch)[:, 0].astype(np.float64)
        pos += 8 + size + (size & 1)
def h3(y, f):
    y = y - y.mean(); t = np.arange(len(y)) / fs
    a = lambda ff: abs(np.dot(y, np.exp(-2j * math.pi * ff * t)))
    return 20 * math.log10(a(3 * f) / a(f))
print("%-13s %5s %5s %9s %9s %6s" % ("engine", "f", "dBFS", "plugin", "teacher", "diff"))
for mode, boost in (("Hybrid", False), ("Boost Hybrid", True)):
    for f in (50.0, 1000.0):
        for db in (-6.0, 0.0):
            n = 3 * fs
            t = np.arange(n)
            x = 10 ** (db / 20) * np.sin(2 * math.pi * f * t / fs)
            xq = write_wav(os.path.join(TMP, "in.wav"), x)
            subprocess.run([R, os.path.join(TMP, "in.wav"), os.path.join(TMP, "out.wav"), "--overwrite", "--float",
                            "--set", "mode=Hybrid", "--set", "hybridMode=" + mode, "--set", "drive=100",
                            "--set", "clipper=OFF"], check=True, capture_output=True)
            y = read_float_wav(os.path.join(TMP, "out.wav"))
            ty = T.line_stage(xq, boost)
            seg = slice(n - fs, n)
            hp, ht = h3(y[seg], f), h3(ty[seg], f)
            print("%-13s %5.0f %5.0f %9.1f %9.1f %6.1f" % (mode, f, db, hp, ht, hp - ht))
