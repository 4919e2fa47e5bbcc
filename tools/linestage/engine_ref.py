"""numpy re-implementation of the WaveNet-FiLM engine's arithmetic, used to check the exported
documents without torch.

Everything runs in float32 as in the C++ engine: the level detector is stepped sample by sample
in float, the condition is held over each chunk, layer histories start at zero after reset.
Results match the engine up to the order of float additions inside the 16-term sums.
"""

import numpy as np

F = np.float32


def tanh_approx(v):
    """v (27 + v^2) / (27 + 9 v^2) for |v| <= 4, +-1 beyond."""
    v = v.astype(np.float32)
    inner = v * (F(27.0) + v * v) / (F(27.0) + F(9.0) * v * v)
    return np.where(v > 4.0, F(1.0), np.where(v < -4.0, F(-1.0), inner)).astype(np.float32)


def condition(x, chunk, rms_coefficient, inv_norm):
    """Per-frame condition: the detector run chunk by chunk from reset, held per chunk."""
    a = F(rms_coefficient)
    one_minus = F(1.0) - a
    ms = F(-1.0)
    out = np.empty(len(x), dtype=np.float32)
    for start in range(0, len(x), chunk):
        block = x[start:start + chunk]
        if ms < 0:
            ms = F(np.sum(block.astype(np.float64) ** 2) / max(len(block), 1))
        else:
            for v in block:
                ms = F(one_minus * F(v * v) + a * ms)
        out[start:start + len(block)] = F(np.sqrt(ms)) * F(inv_norm)
    return out


def run(weights, metadata, x, chunk=64, rate=48000.0):
    """Processes mono x (float32) from reset in chunks of `chunk` frames; returns the output."""
    x = np.asarray(x, dtype=np.float32)
    c = 8
    dilations = (2, 4, 8, 16, 32, 64, 128, 256, 512, 1024)
    norm = F(metadata.get("norm_factor", 1.0))
    gain = F(metadata.get("output_gain", 1.0))
    inv = F(F(1.0) / norm) if norm > 1e-12 else F(1.0)
    coeff = F(np.exp(-1.0 / (max(rate, 1.0) * 0.08533333333333333)))
    cond = condition(x, chunk, coeff, inv)

    w_in = weights["input_proj.weight"].reshape(c)
    b_in = weights["input_proj.bias"].reshape(c)
    fw = weights["film.weight"].reshape(-1)
    fb = weights["film.bias"].reshape(-1)
    u = x * inv
    h = (u[:, None] * w_in[None, :] + b_in[None, :]).astype(np.float32)
    n_layers = len(dilations)
    for l, d in enumerate(dilations):
        w = weights["convs.%d.conv.weight" % l]  # [out][in][tap]
        b = weights["convs.%d.conv.bias" % l]
        past = np.concatenate([np.zeros((d, c), dtype=np.float32), h[:-d]], axis=0)
        z = b[None, :] + past @ w[:, :, 0].T + h @ w[:, :, 1].T
        gamma = cond[:, None] * fw[l * c:(l + 1) * c][None, :] + fb[l * c:(l + 1) * c][None, :]
        k = n_layers * c + l * c
        beta = cond[:, None] * fw[k:k + c][None, :] + fb[k:k + c][None, :]
        h = (h + tanh_approx(gamma * z.astype(np.float32) + beta)).astype(np.float32)
    y = weights["out_proj.bias"].reshape(-1)[0] + h @ weights["out_proj.weight"].reshape(c)
    return ((y.astype(np.float32) * norm + x) * gain).astype(np.float32)
