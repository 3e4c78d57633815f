#!/usr/bin/python3
"""Prints every figure of docs/manual.md's measured sections as Markdown.

Makes the material (material.py) under OUTDIR/clips, renders the held-out
clips with the renderer's defaults, the presets as they were before tuning
(from tuned-presets.json), the built-in presets, and `--auto` when the
renderer has `vardo analyse`; measures them (qlib.py) and prints the tables.
It only evaluates: the presets come from the renderer, the search is tune.py.

  scripts/quality/figures.py [OUTDIR]     (default: build/quality)
  VARDO=path/to/vardo                     the renderer (default: build/linux/tools/vardo)
  FIGURES_UPDATE_DOCS=1                   also copy the spectrograms to docs/manual/

Renders run two at a time. Everything is seeded, so two runs print the same
tables (check with diff).
"""

import json
import os
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import material  # noqa: E402
import qlib  # noqa: E402
import tune  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PRESETS = ["tape", "am", "phone", "vinyl", "field"]
# Where each medium cut the programme: the treble figure compares what lies
# above (field keeps the full band and has no such figure).
MEDIUM_CUT = {"tape": 4000.0, "am": 4500.0, "phone": 3400.0, "vinyl": 6000.0, "field": 11000.0}
TARGET = {"tape": 12.0, "am": 6.0, "phone": 6.0, "vinyl": 6.0, "field": None}


def has_render_option(option):
    """Whether the renderer's render subcommand offers an option (features
    that arrive later are measured once they exist, and shown as n/a before)."""
    text = subprocess.run([qlib.VARDO, "render", "--help"], capture_output=True, text=True).stdout
    return any(word.strip(",[]") == option for word in text.split())


def fmt(v, digits=1, sign=False):
    if v is None or (isinstance(v, float) and np.isnan(v)):
        return "n/a"
    return f"{v:+.{digits}f}" if sign else f"{v:.{digits}f}"


def controls_table(renders):
    """Each control at either end on the demo clip, its Lowpass Filter at
    4500 Hz: RMS, peak, the pause at 10.0-10.4 s, RMS less that pause, the
    level above 5.5 kHz and the width (the channels' difference over their
    sum), all channels together, dBFS."""
    demo = os.path.join(qlib.ROOT, "demo", "demo-clip.wav")
    cases = [("input", None), ("defaults", [])]
    for name, lo, hi, step, _ in tune.CONTROLS:
        if name == "Lowpass Filter":
            ends = [1000, 15000]
        elif step is None:
            ends = [1]
        else:
            ends = [lo, hi]
        for v in ends:
            cases.append((f"{name} = {tune.text(name, v)}", ["--set", f"{name}={tune.text(name, v)}"]))
    jobs = [(demo, os.path.join(renders, f"demo-{i}.wav"), ["--set", "Lowpass Filter=4500"] + args)
            for i, (_, args) in enumerate(cases) if args is not None]
    qlib.render_many(jobs)

    def levels(path):
        rate, x = qlib.read(path)
        whole = qlib.db_power(np.mean(x * x))
        pause = qlib.db_power(qlib.window_power(x, rate, [[10.0, 10.4]]))
        top = qlib.db_power(np.mean([qlib.band_power(x[:, c], rate, 5500.0, rate / 2) for c in range(x.shape[1])]))
        if x.shape[1] < 2:
            width = "-"
        else:
            d = np.mean(((x[:, 0] - x[:, 1]) / 2) ** 2)
            m = np.mean(((x[:, 0] + x[:, 1]) / 2) ** 2)
            width = "mono" if d == 0 else fmt(qlib.db_power(d) - qlib.db_power(m))
        peak = 20.0 * np.log10(max(float(np.max(np.abs(x))), 1e-30))
        return f"{fmt(whole)} | {fmt(peak)} | {fmt(pause)} | {fmt(whole - pause)} | {fmt(top)} | {width}"

    print("## Each control at either end (demo clip, Lowpass Filter 4500 Hz)\n")
    print("| setting | RMS | peak | pause at 10.2 s | S - N | >5.5k | width |")
    print("|---|---|---|---|---|---|---|")
    i = 0
    for label, args in cases:
        if args is None:
            print(f"| {label} | {levels(demo)} |")
        else:
            print(f"| {label} | {levels(jobs[i][1])} |")
            i += 1
    print()


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(qlib.ROOT, "build", "quality")
    if not os.access(qlib.VARDO, os.X_OK):
        sys.exit(f"figures: build the renderer first ({qlib.VARDO})")
    clips = os.path.join(out, "clips")
    renders = os.path.join(out, "renders")
    os.makedirs(renders, exist_ok=True)
    levels = material.make(clips)
    layout = qlib.load_layout(clips)
    held = layout["held_out"]
    with open(os.path.join(HERE, "tuned-presets.json")) as f:
        tuned = json.load(f)
    previous = tuned["previous"]
    auto = has_render_option("--auto")
    clean = {s: qlib.clean_of(clips, s) for s in held}

    def clip(source, medium):
        return os.path.join(clips, f"{source}-{medium}.wav")

    # --- the material ----------------------------------------------------
    print("## The material\n")
    print("Noise levels, full-band RMS of each noise alone as added (dBFS), and the")
    print("clips' own pause windows (noise only) as a check:\n")
    print("| medium | noise | stated | measured | pauses in the clips |")
    print("|---|---|---|---|---|")
    seen = {}
    for source, medium, name, level in levels:
        seen.setdefault((medium, name), []).append(level)
    for (medium, name), v in seen.items():
        stated = {"hiss": -40.0, "hum fundamental": material.NOISE_LEVEL[medium]}.get(
            name, material.NOISE_LEVEL[medium] if name not in ("rumble", "crackle", "hum harmonics") else None)
        pauses = [qlib.db_power(qlib.window_power(qlib.read(clip(s, medium))[1], 44100,
                                                  layout["clips"][s]["pauses"]))
                  for s in layout["training"] + held]
        first = name == next(n for (m, n) in seen if m == medium)
        print(f"| {medium} | {name} | {fmt(stated) if stated is not None else '-'} | {fmt(min(v), 2)} to {fmt(max(v), 2)} | "
              f"{(fmt(min(pauses)) + ' to ' + fmt(max(pauses))) if first else ''} |")
    print()

    # --- the presets on held-out clips -------------------------------------
    settings_rows = [("input", None), ("defaults", []), ("previous preset", "previous"),
                     ("preset", "preset"), ("--auto", "auto")]
    hiss = os.path.join(clips, "hiss.wav")
    summary = []
    results = {}
    for preset in PRESETS:
        jobs, index = [], []
        for label, how in settings_rows[1:]:
            if how == "auto" and not auto:
                continue
            if how == "previous":
                args = qlib.settings_args({n: tune.text(n, v) for n, v in tune.full(previous[preset]).items()})
            elif how == "preset":
                args = ["--preset", preset]
            elif how == "auto":
                args = ["--auto"]
            else:
                args = how
            for s in held:
                o = os.path.join(renders, f"{s}-{preset}-{label.replace(' ', '_').strip('-')}.wav")
                jobs.append((clip(s, preset), o, args))
                index.append((label, s, o))
            if how != "auto":
                jobs.append((hiss, os.path.join(renders, f"hiss-{preset}-{label.replace(' ', '_')}.wav"), args))
                index.append((label, "hiss", jobs[-1][1]))
        qlib.render_many(jobs)
        corner = MEDIUM_CUT[preset]
        rows = {}
        for label, _ in settings_rows:
            rows[label] = {"figs": [], "lift": None}
        for s in held:
            rows["input"]["figs"].append(qlib.figures(clean[s], clip(s, preset), layout["clips"][s], corner))
        for label, s, o in index:
            if s == "hiss":
                rows[label]["lift"] = qlib.lift(hiss, o)
            else:
                rows[label]["figs"].append(qlib.figures(clean[s], o, layout["clips"][s], corner))
        results[preset] = rows
        print(f"## `{preset}` on the held-out {preset} clips\n")
        print("Means over the held-out clips (" + ", ".join(held) + "). S/P: speech over")
        print("pauses (dB); gain: S/P less the input's; worst: the smallest gain of one clip;")
        print("fidelity: band-envelope correlation with the clean programme (1 is perfect);")
        print(f"treble: log-spectral distance from {MEDIUM_CUT[preset] / 1000:g} kHz, where the medium cut, to 11 kHz")
        print("(dB, lower is closer); start:")
        print("the first second over the later pauses (dB); lift: low end on flat hiss (dB).\n")
        print("| | S/P | gain | worst | fidelity | treble | start | peak | lift |")
        print("|---|---|---|---|---|---|---|---|---|")
        base = [f["sp"] for f in rows["input"]["figs"]]
        for label, how in settings_rows:
            figs = rows[label]["figs"]
            if not figs:
                print(f"| {label} | n/a | n/a | n/a | n/a | n/a | n/a | n/a | n/a |")
                continue
            gains = [f["sp"] - b for f, b in zip(figs, base)]
            m = {k: float(np.mean([f[k] for f in figs])) for k in ("sp", "fid", "lsd", "start", "peak")}
            print(f"| {label} | {fmt(m['sp'])} | {fmt(np.mean(gains), sign=True)} | "
                  f"{fmt(min(gains), sign=True)} | {fmt(m['fid'], 3)} | {fmt(m['lsd'])} | "
                  f"{fmt(m['start'], sign=True)} | {fmt(max(f['peak'] for f in figs))} | "
                  f"{fmt(rows[label]['lift'], sign=True)} |")
        print()
        print("Per clip, S/P (dB):\n")
        print("| clip | " + " | ".join(label for label, _ in settings_rows) + " |")
        print("|---|" + "---|" * len(settings_rows))
        for i, s in enumerate(held):
            cells = []
            for label, _ in settings_rows:
                figs = rows[label]["figs"]
                cells.append(fmt(figs[i]["sp"]) if figs else "n/a")
            print(f"| {s} | " + " | ".join(cells) + " |")
        print()
        pre = rows["preset"]["figs"]
        gain = float(np.mean([f["sp"] - b for f, b in zip(pre, base)]))
        summary.append((preset, gain, min(f["sp"] - b for f, b in zip(pre, base)),
                        float(np.mean([f["fid"] for f in pre])),
                        float(np.mean([f["fid"] for f in rows["previous preset"]["figs"]]))))

    print("## Against the targets (held-out clips, preset against input)\n")
    print("| preset | target gain | mean gain | worst clip | fidelity | previous preset's fidelity | met |")
    print("|---|---|---|---|---|---|---|")
    for preset, gain, worst, fid, fid_prev in summary:
        t = TARGET[preset]
        met = "reported only" if t is None else ("yes" if worst >= t and fid >= fid_prev - 0.0005 else
                                                ("on average" if gain >= t and fid >= fid_prev - 0.0005 else "no"))
        print(f"| {preset} | {fmt(t, sign=True) if t else '-'} | {fmt(gain, sign=True)} | "
              f"{fmt(worst, sign=True)} | {fmt(fid, 3)} | {fmt(fid_prev, 3)} | {met} |")
    print()

    # --- which preset suits which material -----------------------------------
    cross_sources = held[:2] + held[3:]
    print("## Each preset on each medium\n")
    print("Gain in speech over pauses against the input (dB) and fidelity, means over")
    print("the held-out clips " + ", ".join(cross_sources) + ".\n")
    print("| medium | " + " | ".join(f"`{p}`" for p in PRESETS) + " |")
    print("|---|" + "---|" * len(PRESETS))
    jobs, idx = [], []
    for medium in PRESETS:
        for preset in PRESETS:
            for s in cross_sources:
                o = os.path.join(renders, f"{s}-{medium}-as-{preset}.wav")
                if medium == preset:
                    o = os.path.join(renders, f"{s}-{preset}-preset.wav")
                else:
                    jobs.append((clip(s, medium), o, ["--preset", preset]))
                idx.append((medium, preset, s, o))
    qlib.render_many(jobs)
    cross = {}
    for medium, preset, s, o in idx:
        f = qlib.figures(clean[s], o, layout["clips"][s], 11000.0)
        b = qlib.figures(clean[s], clip(s, medium), layout["clips"][s], 11000.0)
        cross.setdefault((medium, preset), []).append((f["sp"] - b["sp"], f["fid"]))
    for medium in PRESETS:
        cells = []
        for preset in PRESETS:
            v = cross[(medium, preset)]
            cells.append(f"{fmt(np.mean([g for g, _ in v]), sign=True)} / {fmt(np.mean([q for _, q in v]), 3)}")
        print(f"| {medium} | " + " | ".join(cells) + " |")
    print()

    # --- hum -----------------------------------------------------------------
    print("## Hum (held-out tape clips with mains hum)\n")
    print("Speech over the hum band (45-55 Hz, or 55-65 Hz for 60 Hz mains), dB; the")
    print("change against the input (negative: the hum rose against the speech).\n")
    print("| | 50 Hz | change | 60 Hz | change |")
    print("|---|---|---|---|---|")
    dehum = has_render_option("--dehum")
    hum_rows = [("input", None), ("defaults", []), ("--preset tape", ["--preset", "tape"]),
                ("EQ notch first (sox), then --preset tape", "notch"),
                ("--preset tape --dehum auto", ["--preset", "tape", "--dehum", "auto"] if dehum else None)]
    jobs, idx = [], []
    for label, args in hum_rows[1:]:
        for medium, mains in (("hum", 50), ("hum60", 60)):
            for s in held:
                o = os.path.join(renders, f"{s}-{medium}-{len(idx)}.wav")
                if args == "notch":
                    notched = os.path.join(renders, f"{s}-{medium}-notched.wav")
                    freqs = [mains * k for k in (1, 3, 5, 7)]
                    qlib.pipeline(f"sox -R -D -V1 '{clip(s, medium)}' '{notched}' " +
                                  " ".join(f"bandreject {f} 4q" for f in freqs), notched)
                    jobs.append((notched, o, ["--preset", "tape"]))
                elif args is None:
                    continue
                else:
                    jobs.append((clip(s, medium), o, args))
                idx.append((label, medium, mains, s, o))
    qlib.render_many(jobs)
    cells = {}
    for s in held:
        for medium, mains in (("hum", 50), ("hum60", 60)):
            f = qlib.figures(clean[s], clip(s, medium), layout["clips"][s], 11000.0, mains=mains)
            cells.setdefault(("input", medium), []).append(f["hum"])
    for label, medium, mains, s, o in idx:
        f = qlib.figures(clean[s], o, layout["clips"][s], 11000.0, mains=mains)
        cells.setdefault((label, medium), []).append(f["hum"])
    for label, args in hum_rows:
        row = []
        for medium in ("hum", "hum60"):
            v = cells.get((label, medium))
            if not v:
                row += ["n/a", "n/a"]
                continue
            row += [fmt(np.mean(v)), fmt(np.mean(v) - np.mean(cells[("input", medium)]), sign=True)]
        print(f"| {label} | " + " | ".join(row) + " |")
    print()

    # --- what the chain cannot do: tools before Vardo --------------------------
    print("## Established tools before Vardo (held-out clips)\n")
    print("| clip | pipeline | S/P | gain | fidelity |")
    print("|---|---|---|---|---|")
    # afftdn: nf near the noise's level, noise tracking on, a low residual floor.
    pipes = [
        ("vinyl", "--preset vinyl", None),
        ("vinyl", "ffmpeg adeclick, then --preset vinyl", "adeclick"),
        ("vinyl", "ffmpeg adeclick,afftdn, then --preset vinyl", "adeclick,afftdn=nr=40:nf=-30:tn=1:rf=-60"),
        ("am", "--preset am", None),
        ("am", "ffmpeg afftdn, then --preset am", "afftdn=nr=40:nf=-30:tn=1:rf=-60"),
        ("phone", "--preset phone", None),
        ("phone", "ffmpeg afftdn, then --preset phone", "afftdn=nr=40:nf=-35:tn=1:rf=-60"),
        ("field", "--preset field", None),
        ("field", "ffmpeg afftdn, then --preset field", "afftdn=nr=40:nf=-25:tn=1:rf=-60"),
        ("tape", "--preset tape", None),
        ("tape", "ffmpeg afftdn, then --preset tape", "afftdn=nr=40:nf=-35:tn=1:rf=-60"),
    ]
    have_ffmpeg = qlib.has_tool("ffmpeg")
    for k, (medium, label, af) in enumerate(pipes):
        preset = label.split("--preset ")[1]
        figs, base = [], []
        for s in held:
            o = os.path.join(renders, f"pipe-{s}-{medium}-{k}.wav")
            if af is None:
                qlib.render(clip(s, medium), o, ["--preset", preset])
            elif have_ffmpeg:
                qlib.pipeline(f"ffmpeg -v error -nostdin -i '{clip(s, medium)}' -af '{af}' -f wav - | "
                              f"'{qlib.VARDO}' -q render -y --bit-depth 32f --preset {preset} - '{o}'", o)
            else:
                continue
            figs.append(qlib.figures(clean[s], o, layout["clips"][s], 11000.0))
            base.append(qlib.figures(clean[s], clip(s, medium), layout["clips"][s], 11000.0)["sp"])
        if not figs:
            print(f"| {medium} | {label} | n/a | n/a | n/a |")
            continue
        print(f"| {medium} | {label} | {fmt(np.mean([f['sp'] for f in figs]))} | "
              f"{fmt(np.mean([f['sp'] - b for f, b in zip(figs, base)]), sign=True)} | "
              f"{fmt(np.mean([f['fid'] for f in figs]), 3)} |")
    print()

    # --- the presets' values ------------------------------------------------
    print("## The presets' values (all thirteen, for hosts)\n")
    listing = json.loads(subprocess.run([qlib.VARDO, "--json", "presets"], capture_output=True,
                                        text=True, check=True).stdout)
    print("| control | defaults | " + " | ".join(PRESETS) + " |")
    print("|---|---|" + "---|" * len(PRESETS))
    values = {p["name"]: p["values"] for p in listing["presets"]}
    for c in tune.CONTROLS:
        name = c[0]
        row = [tune.text(name, c[4])]
        for preset in PRESETS:
            row.append(str(values.get(preset, {}).get(name, "(default)")))
        print(f"| {name} | " + " | ".join(row) + " |")
    print()

    # --- why the tape preset's noise settings ----------------------------------
    print("## The tape preset's two noise settings moved (held-out alsa-tape.wav)\n")
    print("The rest of `--preset tape` kept. S/P gain against the input, fidelity, peak.\n")
    print("| setting | S/P | gain | fidelity | peak |")
    print("|---|---|---|---|---|")
    s0 = "alsa"
    base_sp = qlib.figures(clean[s0], clip(s0, "tape"), layout["clips"][s0], 11000.0)["sp"]
    tape_values = values.get("tape", {})
    jobs, labels = [], []
    for name, sweep in (("Noisegate Gain dB", [55, 45, 40, 35, 30]),
                        ("Auto-EQ Threshold", [-60, -40, -30, -20, -10])):
        chosen = tape_values.get(name)
        points = sorted(set(sweep) | ({int(float(str(chosen).split()[0]))} if chosen else set()))
        for v in points:
            o = os.path.join(renders, f"sweep-{len(jobs)}.wav")
            jobs.append((clip(s0, "tape"), o, ["--preset", "tape", "--set", f"{name}={v}"]))
            mark = " (the preset)" if chosen and int(float(str(chosen).split()[0])) == v else ""
            labels.append(f"{name} = {v}{mark}")
    qlib.render_many(jobs)
    for label, (_, o, _) in zip(labels, jobs):
        f = qlib.figures(clean[s0], o, layout["clips"][s0], 11000.0)
        print(f"| {label} | {fmt(f['sp'])} | {fmt(f['sp'] - base_sp, sign=True)} | {fmt(f['fid'], 3)} | "
              f"{fmt(f['peak'])} |")
    print()

    controls_table(renders)

    # --- spectrograms --------------------------------------------------------
    # From the held-out preset renders above, which use the renderer's
    # default warm start (as a user's render does).
    for preset in PRESETS:
        s = "alsa"
        o = os.path.join(renders, f"{s}-{preset}-preset.wav")
        png = os.path.join(renders, f"{preset}.png")
        qlib.pipeline(
            f"sox -R -D -V1 '{o}' '{renders}/after.wav' remix 1 && "
            f"sox -R -D -V1 -M '{clip(s, preset)}' '{renders}/after.wav' '{renders}/pair.wav' && "
            f"sox -R -V1 '{renders}/pair.wav' -n spectrogram -x 640 -y 129 -z 100 "
            f"-t '{s}-{preset}.wav, --preset {preset}' -c 'top: before; bottom: after (channel A), default warm start' -o '{png}'",
            png)
        if os.environ.get("FIGURES_UPDATE_DOCS") == "1":
            os.makedirs(os.path.join(qlib.ROOT, "docs", "manual"), exist_ok=True)
            subprocess.run(["cp", png, os.path.join(qlib.ROOT, "docs", "manual", f"{preset}.png")], check=True)


if __name__ == "__main__":
    main()
