#!/usr/bin/python3
"""Tunes the five presets on the training clips by a seeded search over the
thirteen controls, and writes the result to scripts/quality/tuned-presets.json.

For each preset and its medium: a random search over the whole range of every
control, then local refinement (a (1+1) evolution strategy: a few controls
moved at a time, the step narrowing when nothing improves), started from the
best of the random search and from the previous preset (with
--start-from-others, the two best of those and of the other media's tuned
presets). Each preset's entry in the JSON records the search it came from.

The objective, averaged over the training clips of the medium, is the gain in
speech over pauses against the input (dB), and it counts only while the
speech stays as close to the clean original as the previous preset keeps it:
a setting whose fidelity falls below the previous preset's loses 1000 dB per
unit of correlation lost, plus 20, so gating the speech away never pays. A
setting whose speech comes out below -24 dBFS loses 2 dB per dB short (the
level a listener expects back). For tape, the hum clip counts too: hum may rise
at most 4 dB against the speech; beyond that a setting loses 20 dB plus 10 per
dB, so the bass is not bought with hum.

  scripts/quality/tune.py [--seed N] [--random N] [--refine N] [--only PRESET]
                          [--start-from-others]

The committed tuned-presets.json came from these runs, in order (each
preset's search is seeded by the seed and its name, so one preset's result
does not depend on the others', except through --start-from-others):

  tune.py --random 20 --refine 40 --only tape --only am
  tune.py --random 10 --refine 24 --only phone --only vinyl --only field
  tune.py --random 0 --refine 16 --only phone --start-from-others
  tune.py --random 10 --refine 70 --only am --only vinyl --start-from-others
  tune.py --seed 20 --random 0 --refine 40 --only am --only vinyl --start-from-others

It makes the clips under build/quality/clips (if missing) and renders under
build/quality/tune; a log goes to standard output. Budget: each evaluation
renders three or four clips of about 15 s, two at a time.
"""

import argparse
import json
import os
import sys
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import material  # noqa: E402
import qlib  # noqa: E402

# name, low, high, step (None for an off/on switch), default
CONTROLS = [
    ("Lowpass Filter", 1000, 15000, 100, 9600),
    ("Disable VEZE EQ", 0, 1, None, 0),
    ("Auto-EQ Threshold", -90, 0, 1, -60),
    ("Auto-EQ Density Limit Threshold", -30, 0, 1, -3),
    ("Noisegate Gain dB", 0, 70, 1, 55),
    ("Stereo Expander Gain Trim", -12, 12, 1, 0),
    ("Stereo Expander Limit in Percent", 0, 200, 1, 170),
    ("Stereo Expander Offset", 0, 2, 0.01, 1.1),
    ("Output AGC Threshold", -12, 3, 1, -6),
    ("Bandwidth Expansion Level", -96, 24, 1, 16),
    ("DNR Sensitivity", 10, 300, 1, 300),
    ("DNR2 Sensitivity", 0, 300, 1, 250),
    ("DNR LPF Disable", 0, 1, None, 0),
]

# The presets as they were before this tuning (the baseline the fidelity
# must keep).
PREVIOUS = {
    "tape": {"Lowpass Filter": 4500, "Disable VEZE EQ": 1, "Auto-EQ Threshold": -35,
             "Noisegate Gain dB": 40},
    "am": {"Lowpass Filter": 4500, "Disable VEZE EQ": 1, "Auto-EQ Threshold": -30,
           "Noisegate Gain dB": 40, "Output AGC Threshold": -8},
    "phone": {"Lowpass Filter": 3500, "Disable VEZE EQ": 1, "Auto-EQ Threshold": -30,
              "Noisegate Gain dB": 40, "Output AGC Threshold": -8},
    "vinyl": {"Lowpass Filter": 6000, "Disable VEZE EQ": 1, "Auto-EQ Threshold": -30,
              "Noisegate Gain dB": 40, "Output AGC Threshold": -10},
    "field": {"Lowpass Filter": 15000, "Disable VEZE EQ": 1, "Auto-EQ Threshold": -30,
              "Noisegate Gain dB": 40, "Output AGC Threshold": -12,
              "Bandwidth Expansion Level": -96},
}

MEDIUM = {"tape": "tape", "am": "am", "phone": "phone", "vinyl": "vinyl", "field": "field"}


def full(settings):
    """All thirteen values, defaults filled in."""
    return {c[0]: settings.get(c[0], c[4]) for c in CONTROLS}


def to_unit(settings):
    s = full(settings)
    return np.array([(s[n] - lo) / (hi - lo) for n, lo, hi, _, _ in CONTROLS])


def from_unit(u):
    out = {}
    for v, (name, lo, hi, step, _) in zip(np.clip(u, 0.0, 1.0), CONTROLS):
        if step is None:
            out[name] = int(v >= 0.5)
        else:
            value = lo + round(v * (hi - lo) / step) * step
            out[name] = round(value, 2) if step < 1 else int(round(value))
    return out


def text(name, value):
    step = next(c[3] for c in CONTROLS if c[0] == name)
    if step is None:
        return "on" if value else "off"
    return f"{value:.2f}" if step < 1 else str(int(value))


def as_args(settings):
    return qlib.settings_args({n: text(n, v) for n, v in full(settings).items()})


def changed(settings):
    """Only the values that differ from the defaults."""
    return {c[0]: settings[c[0]] for c in CONTROLS if settings[c[0]] != c[4]}


class Evaluator:
    def __init__(self, clips, work, preset):
        self.clips, self.work, self.preset = clips, work, preset
        self.layout = qlib.load_layout(clips)
        self.medium = MEDIUM[preset]
        self.sources = self.layout["training"]
        self.clean = {s: qlib.clean_of(clips, s) for s in self.sources}
        self.inputs = {}
        for s in self.sources:
            path = os.path.join(clips, f"{s}-{self.medium}.wav")
            self.inputs[s] = qlib.figures(self.clean[s], path, self.layout["clips"][s], 11000.0)
        # The hum clip of the first training source, for tape.
        self.hum_source = self.sources[0]
        if preset == "tape":
            path = os.path.join(clips, f"{self.hum_source}-hum.wav")
            self.hum_in = qlib.figures(self.clean[self.hum_source], path,
                                       self.layout["clips"][self.hum_source], 11000.0, mains=50.0)
        self.count = 0
        self.reference = None

    def measure(self, settings):
        self.count += 1
        jobs, names = [], []
        for s in self.sources:
            out = os.path.join(self.work, f"{self.preset}-{s}-{self.count % 4}.wav")
            jobs.append((os.path.join(self.clips, f"{s}-{self.medium}.wav"), out, as_args(settings)))
            names.append(s)
        if self.preset == "tape":
            out = os.path.join(self.work, f"{self.preset}-hum-{self.count % 4}.wav")
            jobs.append((os.path.join(self.clips, f"{self.hum_source}-hum.wav"), out, as_args(settings)))
        outs = qlib.render_many(jobs)
        corner = full(settings)["Lowpass Filter"]
        figs = {s: qlib.figures(self.clean[s], o, self.layout["clips"][s], corner)
                for s, o in zip(names, outs)}
        result = {
            "gain": float(np.mean([figs[s]["sp"] - self.inputs[s]["sp"] for s in names])),
            "fid": float(np.mean([figs[s]["fid"] for s in names])),
            "speech": float(np.mean([figs[s]["speech"] for s in names])),
        }
        if self.preset == "tape":
            h = qlib.figures(self.clean[self.hum_source], outs[-1],
                             self.layout["clips"][self.hum_source], corner, mains=50.0)
            result["hum_rise"] = self.hum_in["hum"] - h["hum"]
        return result

    def score(self, r):
        s = r["gain"]
        if self.reference is not None and r["fid"] < self.reference:
            s -= 20.0 + 1000.0 * (self.reference - r["fid"])
        if r["speech"] < -24.0:
            s -= 2.0 * (-24.0 - r["speech"])
        if r.get("hum_rise", 0.0) > 4.0:
            s -= 20.0 + 10.0 * (r["hum_rise"] - 4.0)
        return s


def tune(preset, args, clips, work, log, others=()):
    ev = Evaluator(clips, work, preset)
    rng = np.random.default_rng(args.seed + sum(map(ord, preset)))
    previous = full(PREVIOUS[preset])
    base = ev.measure(previous)
    ev.reference = base["fid"]
    log(f"{preset}: previous preset: gain {base['gain']:.2f} dB, fidelity {base['fid']:.3f}, "
        f"speech {base['speech']:.1f} dBFS" + (f", hum rise {base['hum_rise']:.1f}" if "hum_rise" in base else ""))
    best_u, best_r, best_s = to_unit(previous), base, ev.score(base)
    start_u, start_s = None, -1e9
    for i in range(args.random):
        u = rng.random(len(CONTROLS))
        r = ev.measure(from_unit(u))
        s = ev.score(r)
        if s > start_s:
            start_u, start_s, start_r = u, s, r
        log(f"{preset}: random {i}: score {s:.2f} (gain {r['gain']:.2f}, fid {r['fid']:.3f})")
    candidates = [(best_u, best_r, best_s)]
    if start_u is not None:
        candidates.append((start_u, start_r, start_s))
    # The other media's tuned presets as starts too: material often suits a
    # neighbour's settings better than its own previous ones.
    for name, settings in others:
        r = ev.measure(full(settings))
        log(f"{preset}: start from {name}: score {ev.score(r):.2f} (gain {r['gain']:.2f}, fid {r['fid']:.3f})")
        candidates.append((to_unit(settings), r, ev.score(r)))
    candidates.sort(key=lambda c: -c[2])
    candidates = candidates[:2]
    # Refine both starts, half the budget each, and keep the better.
    results = []
    for ci, (u0, r0, s0) in enumerate(candidates):
        u, r, s = u0.copy(), r0, s0
        sigma, fails = 0.15, 0
        for i in range(args.refine // len(candidates)):
            trial = u.copy()
            k = rng.choice(len(CONTROLS), size=rng.integers(1, 4), replace=False)
            trial[k] += rng.normal(0.0, sigma, len(k))
            trial = np.clip(trial, 0.0, 1.0)
            if from_unit(trial) == from_unit(u):
                continue
            rt = ev.measure(from_unit(trial))
            st = ev.score(rt)
            if st > s:
                u, r, s, fails = trial, rt, st, 0
                log(f"{preset}: refine {ci}.{i}: score {s:.2f} (gain {r['gain']:.2f}, fid {r['fid']:.3f}) "
                    f"{changed(from_unit(u))}")
            else:
                fails += 1
                if fails >= 6:
                    sigma, fails = max(sigma * 0.6, 0.02), 0
        results.append((s, u, r))
    s, u, r = max(results, key=lambda t: t[0])
    log(f"{preset}: best score {s:.2f}, gain {r['gain']:.2f} dB (previous {base['gain']:.2f}), "
        f"fidelity {r['fid']:.3f} (previous {base['fid']:.3f}), {ev.count} evaluations")
    return {"settings": changed(from_unit(u)), "training": r, "previous_training": base,
            "score": s, "evaluations": ev.count,
            "search": {"seed": args.seed, "random": args.random, "refine": args.refine}}


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seed", type=int, default=19)
    ap.add_argument("--random", type=int, default=30)
    ap.add_argument("--refine", type=int, default=50)
    ap.add_argument("--only", action="append", help="tune only this preset (repeatable)")
    ap.add_argument("--start-from-others", action="store_true",
                    help="also refine from the tuned values already in the output (its own and the other presets')")
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                 "tuned-presets.json"))
    args = ap.parse_args()
    clips = os.path.join(qlib.ROOT, "build", "quality", "clips")
    work = os.path.join(qlib.ROOT, "build", "quality", "tune")
    os.makedirs(work, exist_ok=True)
    if not os.path.exists(os.path.join(clips, "layout.json")):
        material.make(clips)

    def log(msg):
        print(time.strftime("%H:%M:%S"), msg, flush=True)

    data = {}
    if os.path.exists(args.out):
        with open(args.out) as f:
            data = json.load(f)
    data.setdefault("presets", {})
    data["previous"] = PREVIOUS
    data["training"] = qlib.load_layout(clips)["training"]
    for preset in args.only or list(PREVIOUS):
        others = []
        if args.start_from_others:
            # Its own earlier result too, so that a longer search never
            # ends below where the last one stopped.
            others = [(n, v["settings"]) for n, v in sorted(data["presets"].items())]
        data["presets"][preset] = tune(preset, args, clips, work, log, others)
        data["presets"][preset]["search"]["start_from_others"] = bool(others)
        with open(args.out, "w") as f:
            json.dump(data, f, indent=1, sort_keys=True)
            f.write("\n")


if __name__ == "__main__":
    main()
