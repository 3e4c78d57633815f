#!/usr/bin/python3
"""Fits the rules by which `vardo analyse` tells the medium of a file and
places its settings, on the training clips only, and reports how the
held-out clips fall under them.

The renderer measures every clip (`vardo --json analyse`): the band edge,
the noise floor, and the shape of the noise between phrases (the frequency
below which 99 % of its power lies, and its tilt). From the training clips:

  - the medium's thresholds on the noise bandwidth, in the order phone, am,
    vinyl, then the rest: each the geometric mean of the highest training
    value below it and the lowest above it;
  - the tilt between tape's white hiss and a field's pink noise, midway
    between the two media's training clips;
  - each medium's median band edge and noise floor, from which the proposal
    moves the preset's corner and band threshold;
  - which of those two moves to make, per medium: rendered on the training
    clips, and on the same programmes degraded away from the stated material
    (the noise 6 dB lower and higher; tape also cut at 3 and 6 kHz), with
    the medium's preset alone and with each move, a move is kept
    when it raises the mean gain in speech over pauses and loses no
    fidelity (0.002 at most).

It prints the constants for tools/analyse.cpp (kClassifier, kMedia), writes
them with the measurements to scripts/quality/analysis-rules.json, and
prints the held-out clips' media as classified. Everything is deterministic
(seeded material, no search).

  scripts/quality/fit_analysis.py [--no-renders]
  VARDO=path/to/vardo        the renderer (default: build/linux/tools/vardo)
"""

import argparse
import json
import math
import os
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import material  # noqa: E402
import qlib  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# The clips of each medium (hum clips are tape with mains hum).
MEDIA = {"phone": ["phone"], "am": ["am"], "vinyl": ["vinyl"], "field": ["field"],
         "tape": ["tape", "hum", "hum60"]}
BANDWIDTH_ORDER = ["phone", "am", "vinyl"]  # below each threshold, in turn
FIDELITY_SLACK = 0.002
MIN_GAIN = 0.05  # dB


def analyse(paths):
    out = subprocess.run([qlib.VARDO, "--json", "analyse"] + paths, check=True,
                         capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines() if line.strip()]


def measure(clips, sources):
    rows = []
    for medium, kinds in MEDIA.items():
        paths = [os.path.join(clips, f"{s}-{k}.wav") for s in sources for k in kinds]
        for path, a in zip(paths, analyse(paths)):
            rows.append({"clip": os.path.basename(path), "medium": medium,
                         "bandwidth": a["noise_bandwidth_hz"], "tilt": a["noise_tilt_db"],
                         "edge": a["band_edge_hz"], "floor": a["noise_floor_dbfs"]})
    return rows


def fit(rows):
    rules = {}
    rest = list(rows)
    for medium in BANDWIDTH_ORDER:
        inside = [r["bandwidth"] for r in rest if r["medium"] == medium]
        outside = [r["bandwidth"] for r in rest if r["medium"] != medium]
        lo, hi = max(inside), min(outside)
        if lo >= hi:
            print(f"warning: {medium}'s noise bandwidth overlaps the rest ({lo} >= {hi})")
        rules[f"{medium}_below_hz"] = round(math.sqrt(lo * hi))
        rest = [r for r in rest if r["medium"] != medium]
    tape = [r["tilt"] for r in rest if r["medium"] == "tape"]
    field = [r["tilt"] for r in rest if r["medium"] == "field"]
    if max(tape) >= min(field):
        print(f"warning: tape's noise tilt overlaps field's ({max(tape)} >= {min(field)})")
    rules["field_tilt_db"] = round((max(tape) + min(field)) / 2.0, 1)
    media = {}
    for medium in MEDIA:
        # The medium's own clips (not tape's hum clips, whose hum raises the
        # floor): the moves are measured on these.
        mine = [r for r in rows if r["clip"].endswith(f"-{medium}.wav")]
        media[medium] = {"band_edge_hz": round(float(np.median([r["edge"] for r in mine]))),
                         "noise_floor_dbfs": round(float(np.median([r["floor"] for r in mine])), 1)}
    return rules, media


def classify(r, rules):
    for medium in BANDWIDTH_ORDER:
        if r["bandwidth"] < rules[f"{medium}_below_hz"]:
            return medium
    return "field" if r["tilt"] >= rules["field_tilt_db"] else "tape"


def preset_values(name):
    listing = json.loads(subprocess.run([qlib.VARDO, "--json", "presets"], check=True,
                                        capture_output=True, text=True).stdout)
    values = {p["name"]: p["values"] for p in listing["presets"]}[name]
    return {k: float(str(v).split()[0]) for k, v in values.items()
            if str(v).split()[0].lstrip("-").replace(".", "").isdigit()}


LEVEL_STEPS = (-6.0, 6.0)  # dB, the noise of every medium moved
TAPE_CUTS = (3000.0, 6000.0)  # Hz, tape cut elsewhere than at 4 kHz


def variants(clips, layout):
    """The training programmes degraded away from the stated material, so
    that a move meant for other material is measured on some: every medium
    with its noise 6 dB lower and higher, and tape cut at 3 and 6 kHz.
    Returns (path, source, medium) rows; seeded as material.py is."""
    out_dir = os.path.join(qlib.ROOT, "build", "quality", "fit", "clips")
    os.makedirs(out_dir, exist_ok=True)
    rows = []
    stated = dict(material.NOISE_LEVEL)
    try:
        for si, source in enumerate(layout["training"]):
            _, clean = qlib.read(os.path.join(clips, f"{source}-clean.wav"))
            clean = clean[:, 0]
            for mi, medium in enumerate(MEDIA):
                for step in LEVEL_STEPS:
                    material.NOISE_LEVEL[medium] = stated[medium] + step
                    rng = np.random.default_rng(5000 + 100 * si + mi)
                    clip, _ = material.degrade(clean, medium, rng)
                    path = os.path.join(out_dir, f"{source}-{medium}-noise{step:+.0f}.wav")
                    material.write(path, clip)
                    rows.append((path, source, medium))
                material.NOISE_LEVEL[medium] = stated[medium]
            for cut in TAPE_CUTS:
                rng = np.random.default_rng(6000 + si + int(cut))
                p = material.to_peak(material.band(clean, None, cut), -6.0)
                hiss = material.to_level(rng.standard_normal(len(clean)), stated["tape"])
                path = os.path.join(out_dir, f"{source}-tape-cut{cut / 1000:g}k.wav")
                material.write(path, p + hiss)
                rows.append((path, source, "tape"))
    finally:
        material.NOISE_LEVEL.update(stated)
    return rows


def moves(clips, layout, rows, media):
    """Per medium: whether moving the corner and the threshold from the
    preset measured better on the training clips of that medium, at the
    stated level and cut and away from them."""
    work = os.path.join(qlib.ROOT, "build", "quality", "fit")
    os.makedirs(work, exist_ok=True)
    clip_rows = [(os.path.join(clips, r["clip"]), r["clip"][:-len(f"-{r['medium']}.wav")], r["medium"])
                 for r in rows if r["clip"].endswith(f"-{r['medium']}.wav")]
    clip_rows += variants(clips, layout)
    measured = analyse([path for path, _, _ in clip_rows])
    result = {}
    for medium in MEDIA:
        values = preset_values(medium)
        fitted = media[medium]
        cases = {"preset": [], "corner": [], "threshold": []}
        jobs, index = [], []
        for (clip, source, m), a in zip(clip_rows, measured):
            if m != medium:
                continue
            edge, floor = a["band_edge_hz"], a["noise_floor_dbfs"]
            corner = min(max(edge, 1000.0), 15000.0) * values["Lowpass Filter"] / fitted["band_edge_hz"]
            corner = min(max(round(corner / 100.0) * 100, 1000), 15000)
            threshold = min(max(round(values["Auto-EQ Threshold"] + floor - fitted["noise_floor_dbfs"]), -90), 0)
            name = os.path.basename(clip)[:-4]
            for case, extra in (("preset", []), ("corner", ["--set", f"Lowpass Filter={corner}"]),
                                ("threshold", ["--set", f"Auto-EQ Threshold={threshold}"])):
                out = os.path.join(work, f"{name}-{case}.wav")
                jobs.append((clip, out, ["--preset", medium] + extra))
                index.append((case, source, clip, out))
        qlib.render_many(jobs)
        for case, source, clip, out in index:
            clean = qlib.clean_of(clips, source)
            win = layout["clips"][source]
            f = qlib.figures(clean, out, win, 11000.0)
            b = qlib.figures(clean, clip, win, 11000.0)
            cases[case].append((f["sp"] - b["sp"], f["fid"]))
        summary = {c: {"gain": round(float(np.mean([g for g, _ in v])), 2),
                       "fid": round(float(np.mean([q for _, q in v])), 4)} for c, v in cases.items()}
        keep = {}
        for case in ("corner", "threshold"):
            # Better on average by more than a rounding's worth, and worse on
            # no clip, in gain or in fidelity.
            per_clip = all(g >= g0 - 0.01 and q >= q0 - FIDELITY_SLACK
                           for (g, q), (g0, q0) in zip(cases[case], cases["preset"]))
            keep[case] = (per_clip and summary[case]["gain"] >= summary["preset"]["gain"] + MIN_GAIN and
                          summary[case]["fid"] >= summary["preset"]["fid"] - FIDELITY_SLACK)
            summary[case]["per_clip"] = [[round(g, 2), round(q, 4)] for g, q in cases[case]]
        summary["preset"]["per_clip"] = [[round(g, 2), round(q, 4)] for g, q in cases["preset"]]
        summary["clips"] = [os.path.basename(c) for case, _, c, _ in index if case == "preset"]
        result[medium] = {"training": summary, "move_corner": keep["corner"],
                          "move_threshold": keep["threshold"]}
    return result


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--no-renders", action="store_true",
                    help="fit the classifier only; keep the moves of the last run")
    ap.add_argument("--out", default=os.path.join(HERE, "analysis-rules.json"))
    args = ap.parse_args()
    clips = os.path.join(qlib.ROOT, "build", "quality", "clips")
    if not os.path.exists(os.path.join(clips, "layout.json")):
        material.make(clips)
    layout = qlib.load_layout(clips)
    training = measure(clips, layout["training"])
    held = measure(clips, layout["held_out"])
    rules, media = fit(training)
    if args.no_renders and os.path.exists(args.out):
        with open(args.out) as f:
            old = json.load(f)
        moved = {m: {k: old["media"][m][k] for k in ("training", "move_corner", "move_threshold")}
                 for m in MEDIA}
    else:
        moved = moves(clips, layout, training, media)
    for m in MEDIA:
        media[m].update(moved[m])

    print("Training clips:")
    for r in training:
        print(f"  {r['clip']:22s} {r['medium']:6s} noise 99% below {r['bandwidth']:6.0f} Hz, "
              f"tilt {r['tilt']:+5.1f} dB, edge {r['edge']:6.0f} Hz, floor {r['floor']:6.1f} dBFS"
              f" -> {classify(r, rules)}")
    print("\nHeld-out clips:")
    wrong = 0
    for r in held:
        c = classify(r, rules)
        wrong += c != r["medium"]
        print(f"  {r['clip']:22s} {r['medium']:6s} noise 99% below {r['bandwidth']:6.0f} Hz, "
              f"tilt {r['tilt']:+5.1f} dB, edge {r['edge']:6.0f} Hz, floor {r['floor']:6.1f} dBFS"
              f" -> {c}{'' if c == r['medium'] else '  (WRONG)'}")
    print(f"\nHeld-out: {len(held) - wrong} of {len(held)} classified as their medium.\n")
    print("Moves on the training clips (gain dB / fidelity):")
    for m in MEDIA:
        t = media[m]["training"]
        print(f"  {m:6s} preset {t['preset']['gain']:+.2f}/{t['preset']['fid']:.4f}, corner moved "
              f"{t['corner']['gain']:+.2f}/{t['corner']['fid']:.4f}, threshold moved "
              f"{t['threshold']['gain']:+.2f}/{t['threshold']['fid']:.4f}")
        print("         clips: " + ", ".join(t["clips"]))
        for case in ("preset", "corner", "threshold"):
            print(f"         {case:9s} per clip: " +
                  ", ".join(f"{g:+.2f}/{q:.4f}" for g, q in t[case]["per_clip"]))
    print("\nFor tools/analyse.cpp:\n")
    print(f"constexpr Classifier kClassifier = {{{rules['phone_below_hz']:.1f}, {rules['am_below_hz']:.1f}, "
          f"{rules['vinyl_below_hz']:.1f}, {rules['field_tilt_db']}}};")
    print("constexpr Medium kMedia[] = {")
    for m in MEDIA:
        d = media[m]
        print(f"    {{\"{m}\", {d['band_edge_hz']:.1f}, {d['noise_floor_dbfs']}, "
              f"{str(d['move_corner']).lower()}, {str(d['move_threshold']).lower()}}},")
    print("};")
    with open(args.out, "w") as f:
        json.dump({"classifier": rules, "media": media,
                   "held_out_correct": len(held) - wrong, "held_out_clips": len(held)},
                  f, indent=1, sort_keys=True)
        f.write("\n")


if __name__ == "__main__":
    main()
