#!/usr/bin/env python3
"""Writes small WaveNetFiLM model documents with seeded random weights for the engine tests.

Two documents are written into the output directory (default tests/modelling/data):
  wavenet_random.json       random weights in every tensor, output_gain 0.95
  wavenet_transparent.json  the same weights with "out_proj.weight" and "out_proj.bias" all 0 and
                            output_gain 1.0, so the engine passes its input through unchanged

Layout: C = 8 channels, L = 10 layers, two taps; 1705 values per model. Documents are UTF-8,
two-space indented, CRLF line ends; innermost arrays are written on one line to keep them small.
Standard library only.
"""

import argparse
import os
import random

C = 8
L = 10
DILATIONS = [2 << l for l in range(L)]


def dump(value, indent=0):
    pad = "  " * indent
    if isinstance(value, dict):
        if not value:
            return "{}"
        items = [f'{pad}  "{k}": {dump(v, indent + 1)}' for k, v in value.items()]
        return "{\n" + ",\n".join(items) + "\n" + pad + "}"
    if isinstance(value, list):
        if all(not isinstance(v, (list, dict)) for v in value):
            return "[" + ", ".join(dump(v) for v in value) + "]"
        items = [pad + "  " + dump(v, indent + 1) for v in value]
        return "[\n" + ",\n".join(items) + "\n" + pad + "]"
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, int):
        return str(value)
    if isinstance(value, str):
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    raise TypeError(type(value))


def make_weights(rng):
    def u(lo, hi):
        return round(rng.uniform(lo, hi), 6)

    def g(mu, sigma):
        return round(rng.gauss(mu, sigma), 6)

    w = {}
    w["input_proj.weight"] = [[[u(-1.0, 1.0)]] for _ in range(C)]
    w["input_proj.bias"] = [u(-0.2, 0.2) for _ in range(C)]
    for l in range(L):
        w[f"convs.{l}.conv.weight"] = [[[g(0.0, 0.2) for _ in range(2)] for _ in range(C)] for _ in range(C)]
        w[f"convs.{l}.conv.bias"] = [u(-0.1, 0.1) for _ in range(C)]
    # gamma block first (near 1 in the bias), then beta block (near 0)
    w["film.weight"] = [[u(-0.8, 0.8)] for _ in range(2 * L * C)]
    w["film.bias"] = [1.0 + u(-0.15, 0.15) for _ in range(L * C)] + [u(-0.1, 0.1) for _ in range(L * C)]
    w["out_proj.weight"] = [[[u(-0.3, 0.3)] for _ in range(C)]]
    w["out_proj.bias"] = [u(-0.02, 0.02)]
    return w


def metadata(output_gain):
    return {
        "model_type": "WaveNetFiLM",
        "channels": C,
        "dilations": DILATIONS,
        "kernel_size": 2,
        "use_skip": False,
        "num_layers": L,
        "receptive_field": 1 + sum(DILATIONS),
        "condition_dim": 1,
        "output_residual": True,
        "activation": "single_tanh_after_film",
        "film": "single Linear(cond_dim \u2192 2*L*C) \u2014 \u03b3 block then \u03b2 block; identity init",
        "output_head": "Linear(Ch \u2192 1) (no ReLU stages)",
        "norm_factor": 0.7943000197410583,
        "output_gain": output_gain,
    }


def count_values(value):
    if isinstance(value, list):
        return sum(count_values(v) for v in value)
    return 1


def write(path, doc):
    text = dump(doc) + "\n"
    with open(path, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--out", default=os.path.join(root, "tests", "modelling", "data"))
    parser.add_argument("--seed", type=int, default=20240611)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    weights = make_weights(random.Random(args.seed))
    total = sum(count_values(v) for v in weights.values())
    assert total == 1705, total

    write(os.path.join(args.out, "wavenet_random.json"), {"__metadata__": metadata(0.95), "weights": weights})

    transparent = dict(weights)
    transparent["out_proj.weight"] = [[[0.0] for _ in range(C)]]
    transparent["out_proj.bias"] = [0.0]
    write(os.path.join(args.out, "wavenet_transparent.json"), {"__metadata__": metadata(1.0), "weights": transparent})


if __name__ == "__main__":
    main()
