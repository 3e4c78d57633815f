"""The restoration figures, and rendering with the built renderer.

Figures of one output against its clean programme and the clip's windows
(see material.py for the layout):

  sp       speech over pauses, dB: RMS over the phrases over RMS over the
           pause windows, all channels together. The pass/fail figure.
  fid      speech fidelity: third-octave band levels (centres 100 Hz to
           4 kHz, 2048-sample Hann frames, hop 882 at 44.1 kHz, in dB) of the
           clean programme and of output channel A, aligned by
           cross-correlation; over the frames where the speech is active,
           the correlation of each band's level over time, averaged over the
           bands.
  lsd      treble rebuilt above the corner: log-spectral distance (dB) from
           the corner to 11 kHz between the clean programme and channel A,
           over the active frames, after matching their level in 100 Hz to
           4 kHz.
  start    the first second's level (only noise there) over the later pauses,
           dB: 0 when the start sounds like the middle.
  peak     the largest sample, dBFS.
  hum      speech over the 45-55 Hz band (55-65 Hz for 60 Hz mains), dB.
  lift     on flat hiss, the gain at 43-54 Hz less the gain at 995-1006 Hz
           (after the first 5 s), dB.
"""

import concurrent.futures
import json
import os
import shutil
import subprocess

import warnings

import numpy as np
from scipy import signal
from scipy.io import wavfile

warnings.filterwarnings("ignore", category=wavfile.WavFileWarning)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VARDO = os.environ.get("VARDO", os.path.join(ROOT, "build", "linux", "tools", "vardo"))
# Renders at once: the machine is shared, two at most (QUALITY_JOBS=1 for one).
JOBS = max(1, min(2, int(os.environ.get("QUALITY_JOBS", "2"))))

FRAME = 2048
HOP = 882
BANDS = [100.0 * 2.0 ** (k / 3.0) for k in range(17)]  # 100 Hz .. 4 kHz


def read(path):
    """(rate, samples as float64 of shape [frames, channels])."""
    rate, x = wavfile.read(path)
    if x.dtype == np.int16:
        x = x.astype(np.float64) / 32768.0
    elif x.dtype == np.int32:
        x = x.astype(np.float64) / 2147483648.0
    else:
        x = x.astype(np.float64)
    if x.ndim == 1:
        x = x[:, None]
    return rate, x


def db_power(p):
    return 10.0 * np.log10(max(float(p), 1e-30))


def window_power(x, rate, windows):
    """Mean power over the windows (seconds), over all channels."""
    total, count = 0.0, 0
    for a, b in windows:
        seg = x[int(a * rate):int(b * rate)]
        total += float(np.sum(seg * seg))
        count += seg.size
    return total / max(count, 1)


def band_power(x, rate, low, high):
    """Power of a mono signal between low and high Hz (whole file)."""
    bins = np.fft.rfft(x)
    f = np.fft.rfftfreq(len(x), 1.0 / rate)
    sel = (f >= low) & (f <= high)
    return 2.0 * float(np.sum(np.abs(bins[sel]) ** 2)) / (len(x) ** 2)


def align(ref, y, rate, max_lag_s=0.2):
    """y shifted to line up with ref (both mono), found by cross-correlation."""
    n = len(ref) + len(y)
    size = 1 << (n - 1).bit_length()
    c = np.fft.irfft(np.fft.rfft(ref, size) * np.conj(np.fft.rfft(y, size)), size)
    m = int(max_lag_s * rate)
    lags = np.concatenate([np.arange(0, m + 1), np.arange(-m, 0)])
    vals = np.concatenate([c[:m + 1], c[size - m:]])
    lag = int(lags[np.argmax(np.abs(vals))])
    out = np.zeros(len(ref))
    if lag >= 0:
        seg = y[:len(ref) - lag]
        out[lag:lag + len(seg)] = seg
    else:
        seg = y[-lag:-lag + len(ref)]
        out[:len(seg)] = seg
    return out, lag


def spectra(x):
    f, t, z = signal.stft(x, fs=44100, window="hann", nperseg=FRAME, noverlap=FRAME - HOP,
                          boundary=None, padded=False, detrend=False)
    return f, t, np.abs(z) ** 2


def third_octaves(f, p):
    rows = []
    for fc in BANDS:
        sel = (f >= fc * 2 ** (-1 / 6)) & (f < fc * 2 ** (1 / 6))
        rows.append(p[sel].sum(axis=0))
    return np.array(rows)


def active_frames(t, clean_levels, windows):
    """Frames inside the phrases where the clean programme is within 40 dB
    of its loudest frame."""
    total = 10.0 * np.log10(clean_levels.sum(axis=0) + 1e-30)
    inside = np.zeros(len(t), bool)
    for a, b in windows["speech"]:
        inside |= (t >= a) & (t < b)
    return inside & (total > total.max() - 40.0)


def speech_figures(clean, y, rate, windows, corner):
    """Fidelity and treble distance of channel A (y, mono) against clean."""
    if rate != 44100:
        raise ValueError("the figures are defined at 44.1 kHz")
    ya, _ = align(clean, y, rate)
    f, t, pc = spectra(clean)
    _, _, py = spectra(ya)
    bc = third_octaves(f, pc)
    by = third_octaves(f, py)
    act = active_frames(t, bc, windows)
    lc = 10.0 * np.log10(bc[:, act] + 1e-12)
    ly = 10.0 * np.log10(by[:, act] + 1e-12)
    cors = []
    for k in range(len(BANDS)):
        a, b = lc[k], ly[k]
        if np.std(a) > 0 and np.std(b) > 0:
            cors.append(float(np.corrcoef(a, b)[0, 1]))
        else:
            cors.append(0.0)
    fid = float(np.mean(cors))
    # Treble: level-matched log spectra from the corner to 11 kHz.
    offset = float(np.mean(ly - lc))
    sel = (f >= corner) & (f <= 11000.0)
    if corner >= 11000.0 or not np.any(sel):
        return fid, float("nan")
    sc = 10.0 * np.log10(pc[sel][:, act] + 1e-12)
    sy = 10.0 * np.log10(py[sel][:, act] + 1e-12) - offset
    lsd = float(np.mean(np.sqrt(np.mean((sc - sy) ** 2, axis=0))))
    return fid, lsd


def figures(clean, path, windows, corner, mains=None):
    """Every figure of one file (a clip or an output) against its clean
    programme."""
    rate, x = read(path)
    speech = window_power(x, rate, windows["speech"])
    pauses = window_power(x, rate, windows["pauses"])
    start = window_power(x, rate, [windows["start"]])
    fid, lsd = speech_figures(clean, x[:, 0], rate, windows, corner)
    out = {
        "speech": db_power(speech),
        "pauses": db_power(pauses),
        "sp": db_power(speech) - db_power(pauses),
        "start": db_power(start) - db_power(pauses),
        "fid": fid,
        "lsd": lsd,
        "peak": 20.0 * np.log10(max(float(np.max(np.abs(x))), 1e-30)),
    }
    if mains:
        h = np.mean([band_power(x[:, c], rate, mains - 5.0, mains + 5.0) for c in range(x.shape[1])])
        out["hum"] = db_power(speech) - db_power(h)
    return out


def lift(hiss_in, hiss_out):
    ri, xi = read(hiss_in)
    ro, xo = read(hiss_out)
    xi = xi[5 * ri:, 0]
    gains = []
    for lo, hi in ((43.0, 54.0), (995.0, 1006.0)):
        pin = band_power(xi, ri, lo, hi)
        pout = np.mean([band_power(xo[5 * ro:, c], ro, lo, hi) for c in range(xo.shape[1])])
        gains.append(db_power(pout) - db_power(pin))
    return gains[0] - gains[1]


# --- rendering -------------------------------------------------------------

def settings_args(settings):
    """--set arguments for a dict of control name -> value (in its unit)."""
    args = []
    for name, value in settings.items():
        args += ["--set", f"{name}={value}"]
    return args


def render(inp, out, args):
    cmd = [VARDO, "-q", "render", "-y", "--bit-depth", "32f"] + list(args) + [inp, out]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return out


def render_many(jobs):
    """jobs: list of (input, output, args); at most JOBS at once."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=JOBS) as pool:
        return list(pool.map(lambda j: render(*j), jobs))


def pipeline(shell, out):
    """Runs a shell pipeline that writes out (for tools before Vardo)."""
    subprocess.run(["sh", "-c", shell], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return out


def load_layout(clips):
    with open(os.path.join(clips, "layout.json")) as f:
        return json.load(f)


def clean_of(clips, source):
    return read(os.path.join(clips, f"{source}-clean.wav"))[1][:, 0]


def has_tool(name):
    return shutil.which(name) is not None
