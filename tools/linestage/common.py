"""Pieces shared by the line-stage tools: model layout constants, the level detector and the
writer of model documents."""

import json
import math

import numpy as np

SAMPLE_RATE = 48000.0
CHANNELS = 8
DILATIONS = (2, 4, 8, 16, 32, 64, 128, 256, 512, 1024)
LAYERS = len(DILATIONS)
CONTEXT = sum(DILATIONS)  # 2046 samples of past input needed per output sample
NORM_FACTOR = float(np.float32(0.7943))  # 0.7943000197410583
RMS_TIME_CONSTANT = 0.08533333333333333  # seconds (4096 samples at 48 kHz)
CHUNK = 64  # frames per forward pass of the engine when prepared for 64-frame blocks

METADATA = {
    "model_type": "WaveNetFiLM",
    "channels": CHANNELS,
    "dilations": list(DILATIONS),
    "kernel_size": 2,
    "use_skip": False,
    "num_layers": LAYERS,
    "receptive_field": 1 + CONTEXT,
    "condition_dim": 1,
    "output_residual": True,
    "activation": "single_tanh_after_film",
    "film": "single Linear(cond_dim \u2192 2*L*C) \u2014 \u03b3 block then \u03b2 block; identity init",
    "output_head": "Linear(Ch \u2192 1) (no ReLU stages)",
    "norm_factor": NORM_FACTOR,
    "output_gain": 1.0,
}

# Tensor names and shapes in document order.
WEIGHT_SHAPES = (
    [("input_proj.weight", (CHANNELS, 1, 1)), ("input_proj.bias", (CHANNELS,))]
    + [
        item
        for n in range(LAYERS)
        for item in (
            ("convs.%d.conv.weight" % n, (CHANNELS, CHANNELS, 2)),
            ("convs.%d.conv.bias" % n, (CHANNELS,)),
        )
    ]
    + [
        ("film.weight", (2 * LAYERS * CHANNELS, 1)),
        ("film.bias", (2 * LAYERS * CHANNELS,)),
        ("out_proj.weight", (1, CHANNELS, 1)),
        ("out_proj.bias", (1,)),
    ]
)
VALUE_COUNT = sum(int(np.prod(shape)) for _, shape in WEIGHT_SHAPES)  # 1705


def rms_coefficient(rate=SAMPLE_RATE):
    """One-pole coefficient of the engine's level detector, rounded to float like the engine."""
    return float(np.float32(math.exp(-1.0 / (max(rate, 1.0) * RMS_TIME_CONSTANT))))


def condition_track(x, chunk=CHUNK, rate=SAMPLE_RATE, norm=NORM_FACTOR):
    """Per-sample FiLM condition of the engine run from reset in chunks of `chunk` frames.

    The first chunk takes its plain mean square; later chunks integrate x^2 sample by sample
    with the one-pole detector; the condition sqrt(meanSquare) / norm is held over each chunk.
    The per-chunk recursion is evaluated in double (the engine uses float; the difference is
    around 1e-7 relative).
    """
    x = np.asarray(x, dtype=np.float64)
    n = len(x)
    a = rms_coefficient(rate)
    chunks = (n + chunk - 1) // chunk
    padded = np.zeros(chunks * chunk)
    padded[:n] = x * x
    sq = padded.reshape(chunks, chunk)
    # Contribution of one full chunk: sum_j (1 - a) a^(chunk-1-j) x_j^2.
    weights = (1.0 - a) * a ** np.arange(chunk - 1, -1, -1, dtype=np.float64)
    contrib = sq @ weights
    decay = a**chunk
    ms = np.empty(chunks)
    last = n - (chunks - 1) * chunk
    ms[0] = sq[0, :min(chunk, n)].sum() / max(min(chunk, n), 1)
    for k in range(1, chunks):
        if k == chunks - 1 and last != chunk:
            w = (1.0 - a) * a ** np.arange(last - 1, -1, -1, dtype=np.float64)
            ms[k] = a**last * ms[k - 1] + sq[k, :last] @ w
        else:
            ms[k] = decay * ms[k - 1] + contrib[k]
    cond = np.sqrt(np.maximum(ms, 0.0)) / norm
    return np.repeat(cond, chunk)[:n].astype(np.float32)


def model_document(weights):
    """Format (a) text: two-space indent, CRLF line ends, no final line end.

    `weights` maps each tensor name to a nested list (or numpy array) of its values."""
    ordered = {}
    for name, shape in WEIGHT_SHAPES:
        value = np.asarray(weights[name], dtype=np.float32)
        if value.shape != shape:
            raise ValueError("%s has shape %s, expected %s" % (name, value.shape, shape))
        ordered[name] = value.tolist()
    doc = {"__metadata__": dict(METADATA), "weights": ordered}
    text = json.dumps(doc, indent=2, ensure_ascii=False)
    return text.replace("\n", "\r\n")


def load_document(path):
    """Reads a model document back into a dict of float32 arrays (plus its metadata)."""
    with open(path, "rb") as f:
        doc = json.loads(f.read().decode("utf-8"))
    weights = {name: np.asarray(doc["weights"][name], dtype=np.float32) for name, _ in WEIGHT_SHAPES}
    return doc["__metadata__"], weights
