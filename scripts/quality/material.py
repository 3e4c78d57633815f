#!/usr/bin/python3
"""Makes the restoration material: clean programmes from several sources and
their degraded copies at stated, measured noise levels.

Sources (each a speaker or a performance of its own):
  alsa      the real voice recordings of alsa-utils (/usr/share/sounds/alsa),
            one human speaker, "Front Center" ... "Side Right"
  en-m, us-f, sc-m, gb-f, rp-m
            espeak-ng voices of different kinds, each with its own sentences
  music-a, music-b
            plucked chords and a bass line with a voice over them

The training and held-out sets share no source and no speaker:
  training  en-m, us-f, music-a      held-out  alsa, sc-m, gb-f, music-b
(rp-m is spare.)

Every programme is laid out the same way: 1.3 s of silence at the start (the
"start" window is its first second), then phrases, each followed by 1.5 s of
silence. The pause windows are the middle second of those gaps (0.3 to
1.3 s into each), clear of the decay of what came before. The speech windows
are the phrases.

Media (programme peaks at -6 dBFS after the medium's own band-limiting and
compression; noise levels are full-band RMS of the noise alone):
  tape    lowpass at 4 kHz, white hiss at -40 dBFS
  am      100 Hz to 4.5 kHz, heavy compression, static (pink, 100 Hz to
          5 kHz) at -38 dBFS
  phone   300 to 3400 Hz, at 8 kHz, white line noise at -45 dBFS added
          before 8-bit mu-law coding, then resampled to 44.1 kHz
  vinyl   60 Hz to 6 kHz, surface noise (pink, 40 Hz to 9 kHz) at -36 dBFS,
          crackle (about 12 clicks a second), rumble below 25 Hz at -40 dBFS
  hum     the tape clip with 50 Hz mains hum and its odd harmonics (150, 250,
          350 Hz at -8, -14, -20 dB), the fundamental at -40 dBFS
  hum60   the same with 60 Hz mains
  field   full band, broadband (pink) noise at -30 dBFS

Everything is computed with numpy from fixed seeds; espeak-ng and the alsa
files are the only inputs. Clips are 16-bit WAV at 44.1 kHz.

  scripts/quality/material.py OUTDIR        writes OUTDIR/*.wav, layout.json
                                            and prints the measured levels
"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy import signal
from scipy.io import wavfile

import qlib  # beside this script

RATE = 44100
LEAD = 1.3
GAP = 1.5
ALSA_DIR = "/usr/share/sounds/alsa"

TRAINING = ["en-m", "us-f", "music-a"]
HELD_OUT = ["alsa", "sc-m", "gb-f", "music-b"]
MEDIA = ["tape", "am", "phone", "vinyl", "hum", "hum60", "field"]

# Stated noise levels (dBFS, full-band RMS of the noise alone).
NOISE_LEVEL = {"tape": -40.0, "am": -38.0, "phone": -45.0, "vinyl": -36.0,
               "hum": -40.0, "hum60": -40.0, "field": -30.0}

ESPEAK = {
    "en-m": ("en+m3", 150, [
        "Good evening. This recording was made many years ago.",
        "It has worn with time, and the tape has lost its treble.",
        "Listen to the voice, and to the noise between the words."]),
    "us-f": ("en-us+f3", 155, [
        "The weather tomorrow will be cold and clear.",
        "Farmers in the valley expect the first frost by morning.",
        "Please keep your radio tuned to this station."]),
    "sc-m": ("en-gb-scotland+m2", 145, [
        "We walked along the harbour as the boats came in.",
        "My grandfather told me stories of the old fishing fleet.",
        "Nobody remembers the names of those ships now."]),
    "gb-f": ("en-gb+f4", 150, [
        "Thank you for calling. Your message is important to us.",
        "The library will close early on Friday afternoon.",
        "Shall we meet at the station at half past six?"]),
    "rp-m": ("en-gb-x-rp+m1", 140, [
        "Ladies and gentlemen, the concert will begin shortly.",
        "Tonight's programme opens with a short piece for strings."]),
}

MUSIC = {
    # voice, speed, lines, chords (MIDI roots and qualities), seed
    "music-a": ("en+m1", 120, [
        "Over the hills and far away, the morning light is gold.",
        "Down by the river, we sing the songs the old men sang."],
        [(45, "m"), (41, "M"), (48, "M"), (43, "M")], 11),
    "music-b": ("en-us+f2", 125, [
        "Softly the evening falls upon the quiet town.",
        "Stars above the water, and the lamps along the shore."],
        [(50, "M"), (47, "m"), (43, "M"), (45, "M")], 23),
}


def db(x):
    return 20.0 * np.log10(max(float(x), 1e-30))


def rms(x):
    return float(np.sqrt(np.mean(np.square(x, dtype=np.float64))))


def to_level(x, level_db):
    """x scaled so that its full-band RMS is level_db dBFS."""
    return x * (10.0 ** (level_db / 20.0) / rms(x))


def to_peak(x, peak_db):
    return x * (10.0 ** (peak_db / 20.0) / np.max(np.abs(x)))


def read_mono(path, rate=RATE):
    r, x = qlib.read(path)
    x = x.mean(axis=1)
    if r != rate:
        g = np.gcd(r, rate)
        x = signal.resample_poly(x, rate // g, r // g)
    return x


def espeak(voice, speed, text, work):
    path = os.path.join(work, "espeak.wav")
    subprocess.run(["espeak-ng", "-v", voice, "-s", str(speed), "-w", path, text],
                   check=True, stdout=subprocess.DEVNULL)
    return trim_silence(read_mono(path))


def trim_silence(x, floor_db=-50.0):
    """x without the silence espeak-ng (or a recording) leaves at either end."""
    env = np.abs(x) > np.max(np.abs(x)) * 10.0 ** (floor_db / 20.0)
    idx = np.flatnonzero(env)
    return x[idx[0]:idx[-1] + 1]


def pluck(freq, seconds, rng):
    """A plucked string (Karplus-Strong) of the given pitch."""
    n = int(seconds * RATE)
    period = int(round(RATE / freq))
    buf = rng.uniform(-1.0, 1.0, period)
    out = np.empty(n)
    for i in range(n):
        j = i % period
        out[i] = buf[j]
        buf[j] = 0.996 * 0.5 * (buf[j] + buf[(j + 1) % period])
    return out


def music_phrase(voice_line, chords, rng):
    """A voice over strummed chords and a bass note per chord."""
    voice = voice_line
    n = len(voice) + int(0.4 * RATE)
    bed = np.zeros(n)
    step = n / len(chords)
    for k, (root, quality) in enumerate(chords):
        start = int(k * step)
        third = 4 if quality == "M" else 3
        for i, semis in enumerate((12, 12 + third, 19, 24)):
            f = 440.0 * 2.0 ** ((root + semis - 69) / 12.0)
            s = pluck(f, step / RATE + 0.3, rng)
            at = start + int(i * 0.03 * RATE)
            m = min(len(s), n - at)
            bed[at:at + m] += s[:m] * 0.25
        fb = 440.0 * 2.0 ** ((root - 69) / 12.0)
        s = pluck(fb, step / RATE + 0.3, rng)
        m = min(len(s), n - start)
        bed[start:start + m] += s[:m] * 0.5
    bed = to_level(bed, -26.0)
    v = np.zeros(n)
    v[int(0.2 * RATE):int(0.2 * RATE) + len(voice)] = to_level(voice, -22.0)
    return bed + v


def lay_out(phrases):
    """The programme: a lead of silence, then each phrase followed by a gap.
    Returns the signal and its windows (seconds)."""
    parts = [np.zeros(int(LEAD * RATE))]
    t = LEAD
    speech, pauses = [], []
    for p in phrases:
        parts.append(p)
        speech.append([t, t + len(p) / RATE])
        t += len(p) / RATE
        parts.append(np.zeros(int(GAP * RATE)))
        pauses.append([t + 0.3, t + 1.3])
        t += GAP
    x = np.concatenate(parts)
    return x, {"speech": speech, "pauses": pauses, "start": [0.0, 1.0]}


def programme(source, work, rng):
    if source == "alsa":
        names = [["Front_Center", "Front_Left", "Front_Right"],
                 ["Rear_Center", "Rear_Left", "Rear_Right"],
                 ["Side_Left", "Side_Right"]]
        phrases = []
        for group in names:
            words = []
            for name in group:
                words.append(trim_silence(read_mono(os.path.join(ALSA_DIR, name + ".wav"))))
                words.append(np.zeros(int(0.25 * RATE)))
            phrases.append(np.concatenate(words[:-1]))
        return lay_out(phrases)
    if source in ESPEAK:
        voice, speed, lines = ESPEAK[source]
        return lay_out([espeak(voice, speed, line, work) for line in lines])
    voice, speed, lines, chords, seed = MUSIC[source]
    mrng = np.random.default_rng(seed)
    phrases = []
    for k, line in enumerate(lines):
        sung = espeak(voice, speed, line, work)
        order = chords[k % 2 * 2:] + chords[:k % 2 * 2]
        phrases.append(music_phrase(sung, order, mrng))
    return lay_out(phrases)


# --- noises ---------------------------------------------------------------

def coloured(n, rng, exponent, rate=RATE):
    """Gaussian noise with a power spectrum falling as f^-exponent."""
    bins = np.fft.rfft(rng.standard_normal(n))
    f = np.fft.rfftfreq(n, 1.0 / rate)
    f[0] = f[1]
    bins *= f ** (-exponent / 2.0)
    return np.fft.irfft(bins, n)


def band(x, low, high, rate=RATE, order=8):
    if low and high:
        sos = signal.butter(order, [low, high], "bandpass", fs=rate, output="sos")
    elif high:
        sos = signal.butter(order, high, "lowpass", fs=rate, output="sos")
    else:
        sos = signal.butter(order, low, "highpass", fs=rate, output="sos")
    return signal.sosfiltfilt(sos, x)


def compress(x, threshold_db=-40.0, ratio=5.0):
    """Broadcast-style compression: a peak follower (10 ms attack, 300 ms
    release) and a gain computer with the given threshold and ratio."""
    a_att = np.exp(-1.0 / (0.010 * RATE))
    a_rel = np.exp(-1.0 / (0.300 * RATE))
    mag = np.abs(x) / np.max(np.abs(x))
    env = np.empty_like(mag)
    e = 0.0
    for i, v in enumerate(mag):
        a = a_att if v > e else a_rel
        e = a * e + (1.0 - a) * v
        env[i] = e
    env_db = 20.0 * np.log10(np.maximum(env, 1e-6))
    over = np.maximum(env_db - threshold_db, 0.0)
    gain_db = -over * (1.0 - 1.0 / ratio)
    return x * 10.0 ** (gain_db / 20.0)


def mu_law(x, mu=255.0):
    """8-bit mu-law coding and decoding."""
    y = np.sign(x) * np.log1p(mu * np.minimum(np.abs(x), 1.0)) / np.log1p(mu)
    q = np.round(y * 127.0) / 127.0
    return np.sign(q) * np.expm1(np.abs(q) * np.log1p(mu)) / mu


def crackle(n, rng):
    out = np.zeros(n)
    times = np.flatnonzero(rng.random(n) < 12.0 / RATE)
    for t in times:
        a = (1.0 if rng.random() < 0.5 else -1.0) * (0.02 + 0.25 * rng.random() ** 3)
        k = np.arange(min(6, n - t))
        out[t:t + len(k)] += a * (1.0 - k / 6.0)
    return out


def hum(n, fundamental):
    t = np.arange(n) / RATE
    x = np.zeros(n)
    for harmonic, rel_db in ((1, 0.0), (3, -8.0), (5, -14.0), (7, -20.0)):
        x += 10.0 ** (rel_db / 20.0) * np.sin(2.0 * np.pi * fundamental * harmonic * t)
    return x


def degrade(clean, medium, rng):
    """Returns (clip, noises) where noises maps each noise component to its
    array as added, for the level check."""
    n = len(clean)
    if medium in ("tape", "hum", "hum60"):
        p = to_peak(band(clean, None, 4000.0), -6.0)
        hiss = to_level(rng.standard_normal(n), NOISE_LEVEL["tape"])
        noises = {"hiss": hiss}
        if medium != "tape":
            mains = 50.0 if medium == "hum" else 60.0
            # The fundamental alone sits at the stated level.
            fund = np.sin(2.0 * np.pi * mains * np.arange(n) / RATE)
            scale = 10.0 ** (NOISE_LEVEL[medium] / 20.0) / rms(fund)
            noises["hum fundamental"] = fund * scale
            noises["hum harmonics"] = (hum(n, mains) - fund) * scale
        return p + sum(noises.values()), noises
    if medium == "am":
        p = to_peak(band(compress(clean), 100.0, 4500.0), -6.0)
        static = to_level(band(coloured(n, rng, 1.0), 100.0, 5000.0), NOISE_LEVEL["am"])
        return p + static, {"static": static}
    if medium == "phone":
        p = band(clean, 300.0, 3400.0)
        p8 = to_peak(signal.resample_poly(p, 80, 441), -6.0)
        line = to_level(rng.standard_normal(len(p8)), NOISE_LEVEL["phone"])
        coded = mu_law(p8 + line)
        back = signal.resample_poly(coded, 441, 80)[:n]
        return np.pad(back, (0, n - len(back))), {"line noise (8 kHz, before coding)": line}
    if medium == "vinyl":
        p = to_peak(band(clean, 60.0, 6000.0), -6.0)
        surface = to_level(band(coloured(n, rng, 1.0), 40.0, 9000.0), NOISE_LEVEL["vinyl"])
        rumble = to_level(band(coloured(n, rng, 2.0), None, 25.0, order=4), -40.0)
        clicks = crackle(n, rng)
        return p + surface + rumble + clicks, {"surface": surface, "rumble": rumble, "crackle": clicks}
    if medium == "field":
        p = to_peak(clean, -6.0)
        noise = to_level(band(coloured(n, rng, 1.0), 20.0, 20000.0, order=4), NOISE_LEVEL["field"])
        return p + noise, {"broadband": noise}
    raise ValueError(medium)


def write(path, x):
    y = np.clip(np.round(x * 32768.0), -32768, 32767).astype(np.int16)
    wavfile.write(path, RATE, y)


def make(out):
    os.makedirs(out, exist_ok=True)
    layout = {"rate": RATE, "training": TRAINING, "held_out": HELD_OUT, "media": MEDIA,
              "noise_level": NOISE_LEVEL, "clips": {}}
    levels = []
    with tempfile.TemporaryDirectory() as work:
        for si, source in enumerate(TRAINING + HELD_OUT):
            rng = np.random.default_rng(1000 + si)
            clean, windows = programme(source, work, rng)
            clean = to_peak(clean, -6.0)
            write(os.path.join(out, f"{source}-clean.wav"), clean)
            layout["clips"][source] = windows
            for mi, medium in enumerate(MEDIA):
                mrng = np.random.default_rng(100 * si + mi)
                clip, noises = degrade(clean, medium, mrng)
                write(os.path.join(out, f"{source}-{medium}.wav"), clip)
                for name, x in noises.items():
                    levels.append((source, medium, name, db(rms(x))))
    # Flat hiss for the low-end lift: 20 s of white noise at -30 dBFS.
    write(os.path.join(out, "hiss.wav"), to_level(np.random.default_rng(7).standard_normal(20 * RATE), -30.0))
    with open(os.path.join(out, "layout.json"), "w") as f:
        json.dump(layout, f, indent=1, sort_keys=True)
    return levels


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: material.py OUTDIR")
    levels = make(sys.argv[1])
    print("| medium | noise | stated dBFS | measured dBFS (min .. max over sources) |")
    print("|---|---|---|---|")
    seen = {}
    for source, medium, name, level in levels:
        seen.setdefault((medium, name), []).append(level)
    for (medium, name), v in seen.items():
        stated = {"hiss": NOISE_LEVEL["tape"], "hum fundamental": NOISE_LEVEL.get(medium)}.get(
            name, NOISE_LEVEL[medium] if name not in ("rumble", "crackle", "hum harmonics") else None)
        stated_text = f"{stated:.1f}" if stated is not None else "-"
        print(f"| {medium} | {name} | {stated_text} | {min(v):.2f} .. {max(v):.2f} |")


if __name__ == "__main__":
    main()
