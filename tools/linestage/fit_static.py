#!/usr/bin/python3
"""Fits the teacher's smooth amplifier static curve to the Standard waveshaper polynomial.

    /usr/bin/python3 tools/linestage/fit_static.py      # prints the "static_terms" of teacher.PARAMS

The curve is r(v) = sum_j c_j (tanh(w_j v + b_j) - tanh(b_j) - w_j sech^2(b_j) v): zero value and
zero slope at v = 0 like the polynomial, smooth everywhere, nearly linear far out. The fit is a
weighted least-squares fit (double precision, L-BFGS from 20 seeded starts) on sines of -18 to 0
dBFS in 1.5 dB steps, each amplitude weighing error^2 / amplitude^2, so the curve follows the
polynomial where programme normally lives and smooths over its steep ends near |v| = 1.
"""

import os
import sys

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import teacher  # noqa: E402


def curve(p, v):
    w, b, c = p[0:2], p[2:4], p[4:6]
    t0 = torch.tanh(b)
    z = torch.tanh(v[:, None] * w + b) - t0 - w * (1 - t0 * t0) * v[:, None]
    return z @ c


def main():
    torch.set_num_threads(1)
    amps = [10 ** (db / 20) for db in np.arange(-18, 0.01, 1.5)]
    th = np.linspace(0, 2 * np.pi, 256, endpoint=False)
    v = torch.tensor(np.concatenate([a * np.sin(th) for a in amps]), dtype=torch.float64)
    wt = torch.tensor(np.concatenate([np.full(256, 1 / a**2) for a in amps]), dtype=torch.float64)
    tg = torch.tensor(teacher.poly_residual(v.numpy()), dtype=torch.float64)
    best = None
    for trial in range(20):
        start = np.r_[np.random.default_rng(trial).uniform(0.3, 1.2, 2),
                      np.random.default_rng(100 + trial).uniform(-1, 1, 2), 0.01, -0.01]
        p = torch.tensor(start, dtype=torch.float64, requires_grad=True)
        opt = torch.optim.LBFGS([p], max_iter=500, line_search_fn="strong_wolfe")

        def closure():
            opt.zero_grad()
            loss = (wt * (curve(p, v) - tg) ** 2).mean() * 1e8
            loss.backward()
            return loss

        for _ in range(3):
            opt.step(closure)
        loss = float(closure())
        if best is None or loss < best[0]:
            best = (loss, p.detach().numpy().tolist())
    w0, w1, b0, b1, c0, c1 = best[1]
    print('    "static_terms": (\n        (%r, %r, %r),\n        (%r, %r, %r),\n    ),' % (w0, b0, c0, w1, b1, c1))


if __name__ == "__main__":
    main()
