#!/usr/bin/python3
"""Trains the two line-stage models (standard and boost) on the teacher and writes the four
model documents.

Run with Debian's interpreter and packages (scripts/setup-tools installs them):

    nice -n 10 /usr/bin/python3 tools/linestage/train.py [--steps N --boost-steps M] [--out DIR]

By default the network starts from structure.py's construction (the teacher's transformer, HF
tap and static curve built into the weights), keeps the transformer channels fixed and refines
the rest at a low learning rate; --init random trains everything from random weights instead.
The programme material is synthesised here from a fixed seed; torch runs on the CPU with a
fixed thread count (--threads, 2 by default), so a rerun on the same machine reproduces the
documents bit for bit.
The network computes exactly what the C++ engine computes: an 8-channel input projection of
x / norm, ten FiLM-modulated two-tap dilated convolutions (2..1024) with tanhApprox and a
residual add, an 8 -> 1 output head scaled by norm, and the dry input added back. The FiLM
condition is the engine's level detector, held per 64-frame chunk.
"""

import argparse
import math
import os
import sys
import time

import numpy as np
import torch
from torch import nn

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402
import structure  # noqa: E402
import teacher  # noqa: E402

FS = common.SAMPLE_RATE
C = common.CHANNELS
L = common.LAYERS
CTX = common.CONTEXT


class TanhApprox(torch.autograd.Function):
    """The engine's activation: v (27 + v^2) / (27 + 9 v^2) on |v| <= 4, sign(v) beyond.

    Its slope is ((9 - v^2) / (3 (3 + v^2)))^2 inside and 0 beyond |v| = 4; one saved tensor
    keeps the backward pass to a single multiply."""

    @staticmethod
    def forward(ctx, v):
        vc = v.clamp(-4.0, 4.0)
        v2 = vc * vc
        inner = vc * (27.0 + v2) / (27.0 + 9.0 * v2)
        outside = v.abs() > 4.0
        slope = ((9.0 - v2) / (9.0 + 3.0 * v2)) ** 2
        ctx.save_for_backward(slope.masked_fill_(outside, 0.0))
        return torch.where(outside, torch.sign(v), inner)

    @staticmethod
    def backward(ctx, grad):
        (slope,) = ctx.saved_tensors
        return grad * slope


def tanh_approx(v):
    """The engine's activation (see TanhApprox)."""
    return TanhApprox.apply(v)


class Layer(nn.Module):
    """Holds one dilated convolution under the name the documents use ("convs.N.conv")."""

    def __init__(self, dilation):
        super().__init__()
        self.conv = nn.Conv1d(C, C, 2, dilation=dilation)


class LineStageNet(nn.Module):
    """The engine's WaveNet-FiLM forward pass; returns the correction (output - input)."""

    def __init__(self):
        super().__init__()
        self.input_proj = nn.Conv1d(1, C, 1)
        self.convs = nn.ModuleList([Layer(d) for d in common.DILATIONS])
        self.film = nn.Linear(1, 2 * L * C)
        self.out_proj = nn.Conv1d(C, 1, 1)
        with torch.no_grad():
            nn.init.normal_(self.input_proj.weight, 0.0, 1.0)
            nn.init.uniform_(self.input_proj.bias, -0.5, 0.5)
            for layer in self.convs:
                nn.init.uniform_(layer.conv.weight, -0.2, 0.2)
                nn.init.uniform_(layer.conv.bias, -0.1, 0.1)
            self.film.weight.zero_()
            self.film.bias.zero_()
            self.film.bias[: L * C] = 1.0
            nn.init.normal_(self.out_proj.weight, 0.0, 1e-3)
            self.out_proj.bias.zero_()

    def forward(self, x, cond):
        """x: [B, N] raw input, cond: [B, N] condition; returns [B, N - CTX] correction.

        Runs time-major ([B, N, C]) with each two-tap convolution written as two 8 x 8
        matrix products, which is far faster on the CPU than a dilated conv1d backward."""
        inv = 1.0 / common.NORM_FACTOR
        u = (x * inv).unsqueeze(-1)  # [B, N, 1]
        h = u * self.input_proj.weight.view(1, 1, C) + self.input_proj.bias.view(1, 1, C)
        cond = cond.unsqueeze(-1)  # [B, N, 1]
        fw = self.film.weight[:, 0]
        fb = self.film.bias
        offset = 0
        for l, layer in enumerate(self.convs):
            d = common.DILATIONS[l]
            offset += d
            w = layer.conv.weight  # [out, in, tap]
            z = h[:, :-d] @ w[:, :, 0].t() + h[:, d:] @ w[:, :, 1].t() + layer.conv.bias
            cl = cond[:, offset:]
            g0, b0 = l * C, L * C + l * C
            gamma = cl * fw[g0:g0 + C] + fb[g0:g0 + C]
            beta = cl * fw[b0:b0 + C] + fb[b0:b0 + C]
            h = h[:, d:] + tanh_approx(gamma * z + beta)
        y = h @ self.out_proj.weight.view(1, C).t() + self.out_proj.bias
        return y.squeeze(-1) * common.NORM_FACTOR


# ----------------------------------------------------------------------------------------
# Programme material


def fade(n, length):
    """Raised-cosine fade-in/out envelope of `length` samples at both ends of n samples."""
    env = np.ones(n)
    m = min(length, n // 2)
    if m > 0:
        ramp = 0.5 - 0.5 * np.cos(np.pi * np.arange(m) / m)
        env[:m] = ramp
        env[n - m:] = ramp[::-1]
    return env


def one_pole(x, coeff, highpass=False):
    """First-order low-pass (or its complement) with pole `coeff`."""
    y = np.empty_like(x)
    s = 0.0
    for i, v in enumerate(x):
        s = coeff * s + (1.0 - coeff) * v
        y[i] = s
    return x - y if highpass else y


def pole_for(fc):
    """Pole of a one-pole filter with corner fc at 48 kHz."""
    return math.exp(-2.0 * math.pi * fc / FS)


def rand_freq(rng, low_bias=0.5):
    """Tone frequency: log-uniform 20..300 Hz with probability low_bias, else 300..16k Hz."""
    if rng.random() < low_bias:
        return math.exp(rng.uniform(math.log(20.0), math.log(300.0)))
    return math.exp(rng.uniform(math.log(300.0), math.log(16000.0)))


def rand_level(rng):
    """Peak level in dBFS: uniform -30..0, with one clip in ten at 0..+3."""
    if rng.random() < 0.1:
        return rng.uniform(0.0, 3.0)
    return rng.uniform(-30.0, 0.0)


def to_peak(sig, level_db):
    """Scales sig so its peak sits at level_db dBFS."""
    peak = np.max(np.abs(sig)) + 1e-12
    return sig * (10.0 ** (level_db / 20.0) / peak)


def clip_sine(rng, n):
    t = np.arange(n) / FS
    f = rand_freq(rng)
    amp_db = rand_level(rng) + np.linspace(0.0, rng.uniform(-6.0, 6.0), n)
    return 10.0 ** (amp_db / 20.0) * np.sin(2 * np.pi * f * t + rng.uniform(0, 2 * np.pi))


def clip_bursts(rng, n):
    out = np.zeros(n)
    pos = int(rng.integers(0, 4800))
    while pos < n:
        length = int(rng.uniform(0.05, 0.4) * FS)
        gap = int(rng.uniform(0.0, 0.15) * FS)
        f = rand_freq(rng)
        seg = min(length, n - pos)
        t = np.arange(seg) / FS
        tone = np.sin(2 * np.pi * f * t + rng.uniform(0, 2 * np.pi)) * fade(seg, 240)
        out[pos:pos + seg] = 10.0 ** (rand_level(rng) / 20.0) * tone
        pos += length + gap
    return out


def clip_sweep(rng, n):
    f0, f1 = 20.0, 20000.0
    if rng.random() < 0.5:
        f0, f1 = f1, f0
    t = np.arange(n) / FS
    dur = n / FS
    k = math.log(f1 / f0)
    phase = 2 * np.pi * f0 * dur / k * (np.exp(t / dur * k) - 1.0)
    return 10.0 ** (rand_level(rng) / 20.0) * np.sin(phase)


def clip_multitone(rng, n):
    t = np.arange(n) / FS
    sig = np.zeros(n)
    for _ in range(int(rng.integers(2, 5))):
        sig += rng.uniform(0.3, 1.0) * np.sin(2 * np.pi * rand_freq(rng) * t + rng.uniform(0, 2 * np.pi))
    return to_peak(sig, rand_level(rng))


def clip_noise(rng, n):
    sig = rng.standard_normal(n)
    sig = one_pole(sig, pole_for(math.exp(rng.uniform(math.log(100.0), math.log(16000.0)))))
    if rng.random() < 0.5:
        sig = one_pole(sig, pole_for(math.exp(rng.uniform(math.log(20.0), math.log(2000.0)))), True)
    return to_peak(sig, rand_level(rng))


def clip_drums(rng, n):
    sig = np.zeros(n)
    step = int(FS * 60.0 / rng.uniform(80.0, 160.0) / 2.0)
    pos = int(rng.integers(0, step))
    k = 0
    while pos < n:
        seg = min(int(0.4 * FS), n - pos)
        t = np.arange(seg) / FS
        if k % 4 == 0 or rng.random() < 0.2:  # kick: falling pitch, fast decay
            f_hi, f_lo = rng.uniform(90.0, 160.0), rng.uniform(40.0, 60.0)
            freq = f_lo + (f_hi - f_lo) * np.exp(-t / 0.03)
            phase = 2 * np.pi * np.cumsum(freq) / FS
            sig[pos:pos + seg] += np.sin(phase) * np.exp(-t / rng.uniform(0.08, 0.25))
        if k % 4 == 2:  # snare: tone plus noise
            body = np.sin(2 * np.pi * rng.uniform(150.0, 250.0) * t) * np.exp(-t / 0.05)
            noise = rng.standard_normal(seg) * np.exp(-t / rng.uniform(0.04, 0.12))
            sig[pos:pos + seg] += 0.6 * body + 0.4 * noise
        hat = one_pole(rng.standard_normal(seg), pole_for(6000.0), True) * np.exp(-t / 0.015)
        sig[pos:pos + seg] += 0.2 * hat
        pos += step
        k += 1
    return to_peak(sig, rand_level(rng))


def clip_bass_mix(rng, n):
    t = np.arange(n) / FS
    f = math.exp(rng.uniform(math.log(25.0), math.log(150.0)))
    bass = np.sin(2 * np.pi * f * t) + 0.3 * np.sin(2 * np.pi * 2 * f * t)
    noise = one_pole(rng.standard_normal(n), pole_for(3000.0)) * rng.uniform(0.05, 0.5)
    return to_peak(bass + noise, rand_level(rng))


GENERATORS = (clip_sine, clip_bursts, clip_sweep, clip_multitone, clip_noise, clip_drums,
              clip_bass_mix)
WEIGHTS = np.array([3, 3, 1, 1, 1, 1, 1], dtype=np.float64)


def make_pool(seed, clips, clip_len):
    """Synthesises `clips` clips of programme material; returns x, teacher corrections for
    the standard and boost stages, and the engine condition (all float32, [clips, clip_len])."""
    rng = np.random.default_rng(seed)
    xs = np.zeros((clips, clip_len), dtype=np.float32)
    ts = np.zeros((clips, clip_len), dtype=np.float32)
    tb = np.zeros((clips, clip_len), dtype=np.float32)
    cs = np.zeros((clips, clip_len), dtype=np.float32)
    probs = WEIGHTS / WEIGHTS.sum()
    for i in range(clips):
        gen = GENERATORS[int(rng.choice(len(GENERATORS), p=probs))]
        x = gen(rng, clip_len).astype(np.float32).astype(np.float64)
        xs[i] = x
        ts[i] = teacher.line_stage(x, False) - x
        tb[i] = teacher.line_stage(x, True) - x
        cs[i] = common.condition_track(x)
    return xs, ts, tb, cs


# ----------------------------------------------------------------------------------------
# Training


def set_structured(net):
    """Loads the structured start (structure.build) into the network."""
    weights, _, _ = structure.build()
    net.load_state_dict({name: torch.from_numpy(np.array(value)) for name, value in weights.items()})


def freeze_structure(net):
    """Masks the gradients of the built-in channels so training leaves them as built.

    Adam moves a value only through its gradient (no weight decay), so a value whose gradient
    is always zero keeps its start value exactly."""
    masks = structure.trainable_masks()
    handles = []
    for name, p in net.named_parameters():
        mask = torch.from_numpy(masks[name])
        handles.append(p.register_hook(lambda g, m=mask: g * m))
    return handles


def train(net, pool, target, steps, seed, lr, log, label, batch, seg, checkpoint=None, stop=None):
    """Adam on the per-segment normalised correction error; returns the final loss.

    `steps` sets the learning-rate schedule; `stop` (optional) ends the run after that many
    steps of it, giving exactly the state a full run has at that point."""
    xs, cs = pool
    gen = np.random.default_rng(seed)
    head = [net.out_proj.weight, net.out_proj.bias]
    body = [p for name, p in net.named_parameters() if not name.startswith("out_proj")]
    opt = torch.optim.Adam([{"params": body, "lr": lr}, {"params": head, "lr": lr * 0.1}])
    base = [lr, lr * 0.1]
    warm = min(200, steps // 10)
    clips, clip_len = xs.shape
    span = CTX + seg
    start = time.time()
    running = None
    for step in range(steps if stop is None else min(stop, steps)):
        frac = step / max(steps - 1, 1)
        scale = min(1.0, (step + 1) / max(warm, 1)) * (0.03 + 0.97 * 0.5 * (1 + math.cos(math.pi * frac)))
        for g, b in zip(opt.param_groups, base):
            g["lr"] = b * scale
        idx = gen.integers(0, clips, batch)
        off = gen.integers(4096, clip_len - span + 1, batch)
        xb = np.stack([xs[i, o:o + span] for i, o in zip(idx, off)])
        cb = np.stack([cs[i, o:o + span] for i, o in zip(idx, off)])
        tb = np.stack([target[i, o + CTX:o + span] for i, o in zip(idx, off)])
        xt = torch.from_numpy(xb)
        pred = net(xt, torch.from_numpy(cb))
        tgt = torch.from_numpy(tb)
        dry = xt[:, CTX:]
        denom = (tgt * tgt).mean(1) + 1e-6 * (dry * dry).mean(1) + 1e-14
        loss = (((pred - tgt) ** 2).mean(1) / denom).mean()
        opt.zero_grad()
        loss.backward()
        torch.nn.utils.clip_grad_norm_(net.parameters(), 1.0)
        opt.step()
        value = float(loss)
        running = value if running is None else 0.98 * running + 0.02 * value
        if step % 100 == 0 or step == steps - 1:
            log("%s step %d/%d loss %.4f avg %.4f lr %.2e %.0fs" % (
                label, step, steps, value, running, opt.param_groups[0]["lr"], time.time() - start))
        if checkpoint and step % 100 == 99:
            checkpoint(net, step + 1)
    return running


def drive_harder(net, gain):
    """Folds an input gain into the network: the result computes model(gain * x) / gain.

    The input projection and the FiLM condition weights scale by gain (the level detector is
    linear in the input level), the output head by 1 / gain. This is the boost stage's
    starting point: the standard model of the same circuit, driven harder."""
    with torch.no_grad():
        net.input_proj.weight.mul_(gain)
        net.film.weight.mul_(gain)
        net.out_proj.weight.div_(gain)
        net.out_proj.bias.div_(gain)


def load_into(net, path):
    """Loads a model document's weights into the network."""
    _, weights = common.load_document(path)
    net.load_state_dict({name: torch.from_numpy(np.array(value)) for name, value in weights.items()})


def export(net, path):
    """Writes the network as a model document."""
    weights = {name: p.detach().numpy() for name, p in net.state_dict().items()}
    text = common.model_document(weights)
    with open(path, "wb") as f:
        f.write(text.encode("utf-8"))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--steps", type=int, default=1000, help="steps for the standard model")
    ap.add_argument("--stop-after", type=int, default=0, help="end the standard run after this many steps (0: run all)")
    ap.add_argument("--boost-steps", type=int, default=300, help="steps for the boost model")
    ap.add_argument("--clips", type=int, default=360, help="clips of programme material")
    ap.add_argument("--batch", type=int, default=8)
    ap.add_argument("--segment", type=int, default=4096, help="output samples per segment")
    ap.add_argument("--seed", type=int, default=20261210)
    ap.add_argument("--lr", type=float, help="peak learning rate (default 1e-5 for the structured "
                    "start, which only refines, 3e-3 for the random start)")
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources"))
    ap.add_argument("--only", choices=("both", "standard", "boost"), default="both",
                    help="boost: train only the boost model, starting from the standard document in --out")
    ap.add_argument("--checkpoints", help="directory for intermediate documents (optional)")
    ap.add_argument("--init", choices=("structured", "random"), default="structured",
                    help="structured: transformer, HF tap and static curve built in, the transformer "
                         "channels kept fixed (default); random: the plain random start, all trained")
    ap.add_argument("--threads", type=int, default=2, help="torch threads (results depend on it)")
    args = ap.parse_args()

    torch.set_num_threads(args.threads)
    if args.lr is None:
        args.lr = 1e-5 if args.init == "structured" else 3e-3
    torch.manual_seed(args.seed)

    def log(msg):
        print(msg, flush=True)

    t0 = time.time()
    clip_len = 48000
    if args.steps > 0 or args.boost_steps > 0:
        xs, ts, tb, cs = make_pool(args.seed, args.clips, clip_len)
        log("pool: %d clips x %d samples in %.0fs; correction rms std %.2e boost %.2e" % (
            args.clips, clip_len, time.time() - t0, float(np.sqrt(np.mean(ts.astype(np.float64) ** 2))),
            float(np.sqrt(np.mean(tb.astype(np.float64) ** 2)))))
    else:  # --steps 0 --boost-steps 0 writes the start itself (the structured one: no training)
        xs = ts = tb = cs = np.zeros((1, clip_len), dtype=np.float32)

    net = LineStageNet()
    count = sum(p.numel() for p in net.parameters())
    assert count == common.VALUE_COUNT, count
    if args.init == "structured":
        set_structured(net)
        freeze_structure(net)
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)

    def keeper(name):
        if not args.checkpoints:
            return None
        os.makedirs(args.checkpoints, exist_ok=True)
        return lambda model, step: export(model, os.path.join(args.checkpoints, "%s-%05d.json" % (name, step)))

    if args.only in ("both", "standard"):
        train(net, (xs, cs), ts, args.steps, args.seed + 1, args.lr, log, "standard", args.batch,
              args.segment, keeper("standard"), args.stop_after or None)
        for side in ("l", "r"):
            export(net, os.path.join(out, "wavenet_line_small_%s.json" % side))
        log("standard written after %.0fs" % (time.time() - t0))
    else:
        # Boost alone continues from the standard document already written.
        load_into(net, os.path.join(out, "wavenet_line_small_l.json"))
    if args.only == "standard":
        return
    # The boost stage is the same circuit driven harder: start from the standard model with the
    # drive folded in, then learn what the harder drive changes.
    drive_harder(net, teacher.drive_gain(True))
    if args.init == "structured":
        # The teacher adds its DC offset after bringing the level back down, so the fold's
        # division of the output bias by the drive gain is undone for that part.
        with torch.no_grad():
            g = teacher.drive_gain(True)
            net.out_proj.bias.add_(teacher.PARAMS["dc_offset"] * (1.0 - 1.0 / g) / common.NORM_FACTOR)
    train(net, (xs, cs), tb, args.boost_steps, args.seed + 2, args.lr * 0.5, log, "boost", args.batch,
          args.segment, keeper("boost"))
    for side in ("l", "r"):
        export(net, os.path.join(out, "wavenet_line_small_boost_%s.json" % side))
    log("boost written after %.0fs" % (time.time() - t0))


if __name__ == "__main__":
    main()
