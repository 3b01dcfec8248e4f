#!/usr/bin/python3
"""Time-stretch quality of our engine next to soundstretch and the rubberband tool.

    bench/stretch_quality.py BUILD_DIR [--speeds 50,75,...] [--ours LABEL=ID:VALUE,...]...

Generates its material into a temporary folder (44.1 kHz stereo 16-bit WAV), renders each piece
at each speed with every stretcher and prints markdown tables: clicks dropped and doubled and
their timing jitter (over silence and over a chord), each partial's amplitude wobble and
frequency warble, the pitch error of sines, the log-mel distance of speech and music to the
source after time alignment, and CPU per second of output.

The stretchers:
  ours         build/bench/tarvel-render IN OUT --speed P --start 0 --single --volume 100
               (decode, tempo stream, mixer, as the player plays; 5 ms fades at both ends)
  soundstretch soundstretch IN OUT -tempo=P-100 (defaults: no -speech, no -quick)
  rubberband   rubberband -3 -R --centre-focus -q -T P/100 (R3 "finer", real-time mode,
               channels processed together), with its standard window and with --window-short
               (ours uses the standard window from 101 to 250 % and the short one above)
  sonic        sonic -q -s P/100 (a pitch-period stretcher made for speech), where installed
Each --ours adds a row for our engine with other tempo options, e.g. --ours 40/15/8=3:40,4:15,5:8
(SoundTouch's ids: 3 sequence ms, 4 seek window ms, 5 overlap ms; 0 = automatic).
Exits 3 naming what is missing when a tool cannot be found.
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from scipy import signal
from scipy.io import wavfile

RATE = 44100
SPEEDS = [50, 75, 100, 150, 200, 400]
LEAD = 0.5  # silence before and after the material: our render fades 5 ms at both ends
CLICK_PERIOD = 0.25
CHORD_HZ = [220.0, 277.18, 329.63, 440.0, 554.37]
SINE_HZ = [220.0, 440.0, 1000.0]
rng = np.random.default_rng(20261209)


# ---------------------------------------------------------------- material


def write_wav(path, x):
    """x: float, shape (n,) or (n, 2), full scale 1.0."""
    if x.ndim == 1:
        x = np.stack([x, x], axis=1)
    wavfile.write(path, RATE, np.round(np.clip(x, -1, 1) * 32767).astype(np.int16))


def read_mono(path):
    rate, x = wavfile.read(path)
    if rate != RATE:
        raise RuntimeError(f"{path}: {rate} Hz")
    x = x.astype(np.float64) / 32768.0
    return x.mean(axis=1) if x.ndim == 2 else x


def padded(x):
    lead = np.zeros(int(LEAD * RATE))
    return np.concatenate([lead, x, lead])


def chord(seconds, amp):
    t = np.arange(int(seconds * RATE)) / RATE
    phases = rng.uniform(0, 2 * np.pi, len(CHORD_HZ))
    return sum(amp * np.sin(2 * np.pi * f * t + p) for f, p in zip(CHORD_HZ, phases))


def click_times(seconds):
    """Click onsets in the padded material, in seconds."""
    return LEAD + np.arange(int(seconds / CLICK_PERIOD)) * CLICK_PERIOD + 0.01


def click_train(seconds, under=None):
    x = np.zeros(int(seconds * RATE)) if under is None else under.copy()
    y = padded(x)
    for t in click_times(seconds):
        y[int(round(t * RATE))] += 0.5  # an impulse: flat up to Nyquist
    return y


def sines(seconds):
    t = np.arange(int(seconds * RATE)) / RATE
    return padded(sum(0.2 * np.sin(2 * np.pi * f * t) for f in SINE_HZ))


def music(seconds):
    """A synthetic piece with attacks: plucked melody (left of centre), bass, kick and hat."""
    n = int(seconds * RATE)
    out = np.zeros((n, 2))
    beat = 0.5
    scale = [0, 2, 4, 7, 9, 12, 14, 16]

    def note(freq, dur, bright):
        t = np.arange(int(dur * RATE)) / RATE
        v = np.zeros_like(t)
        for h in range(1, 9):
            if freq * h > 8000:
                break
            v += np.sin(2 * np.pi * freq * h * t) / h * np.exp(-t * (3 + bright * h))
        return v * np.minimum(1.0, t / 0.002)

    def add(v, at, gain_l, gain_r):
        i = int(at * RATE)
        m = min(len(v), n - i)
        if m > 0:
            out[i:i + m, 0] += gain_l * v[:m]
            out[i:i + m, 1] += gain_r * v[:m]

    t = 0.0
    while t < seconds:
        add(note(261.63 * 2 ** (scale[rng.integers(len(scale))] / 12), 0.6, 1.5), t, 0.5, 0.3)
        t += beat / 2
    for k in range(int(seconds / beat)):
        at = k * beat
        root = [65.41, 87.31, 98.0, 73.42][(k // 4) % 4]
        add(note(root, beat, 0.5), at, 0.4, 0.4)
        if k % 2 == 0:
            tk = np.arange(int(0.15 * RATE)) / RATE
            kick = np.sin(2 * np.pi * (50 * tk + 70 / 30 * (1 - np.exp(-30 * tk))))
            add(kick * np.exp(-tk * 25), at, 0.5, 0.5)
        th = np.arange(int(0.04 * RATE)) / RATE
        hat = signal.lfilter(*signal.butter(2, 6000, "highpass", fs=RATE),
                             rng.standard_normal(len(th))) * np.exp(-th * 120)
        add(hat, at + beat / 2, 0.05, 0.12)
    out *= 0.5 / np.abs(out).max()
    return np.concatenate([np.zeros((int(LEAD * RATE), 2)), out, np.zeros((int(LEAD * RATE), 2))])


SPEECH_TEXT = (
    "The quick brown fox jumps over the lazy dog. Please call Stella and ask her to bring six "
    "spoons of fresh snow peas, five thick slabs of blue cheese, and a snack for her brother Bob.")


def speech(path, tmp):
    raw = os.path.join(tmp, "espeak.wav")
    subprocess.run(["espeak-ng", "-v", "en", "-s", "165", "-w", raw, SPEECH_TEXT], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wide = os.path.join(tmp, "espeak44.wav")
    # Without dither, so that every run measures the same speech.
    subprocess.run(["sox", "-D", raw, "-r", str(RATE), "-c", "1", "-b", "16", wide], check=True)
    x = read_mono(wide)
    x *= 0.5 / np.abs(x).max()
    write_wav(path, padded(x))


def make_material(tmp):
    m = {}
    m["clicks"] = os.path.join(tmp, "clicks.wav")
    write_wav(m["clicks"], click_train(10.0))
    m["clicks+chord"] = os.path.join(tmp, "clicks_chord.wav")
    write_wav(m["clicks+chord"], click_train(10.0, chord(10.0, 0.08)))
    m["chord"] = os.path.join(tmp, "chord.wav")
    write_wav(m["chord"], padded(chord(6.0, 0.1)))
    m["sines"] = os.path.join(tmp, "sines.wav")
    write_wav(m["sines"], sines(8.0))
    m["speech"] = os.path.join(tmp, "speech.wav")
    speech(m["speech"], tmp)
    m["music"] = os.path.join(tmp, "music.wav")
    piece = music(10.0)
    write_wav(m["music"], piece)
    # For CPU: 60 s, so that start-up and file handling are small against the stretching.
    m["cpu"] = os.path.join(tmp, "cpu.wav")
    write_wav(m["cpu"], np.concatenate([piece] * 6))
    return m


# ---------------------------------------------------------------- stretchers


class Stretcher:
    def __init__(self, name, make_cmd):
        self.name = name
        self.make_cmd = make_cmd

    def render(self, src, dst, speed):
        """Renders and returns the CPU seconds it took (user + system, children)."""
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(self.make_cmd(src, dst, speed), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def ours(render, options):
    def cmd(src, dst, speed):
        c = [render, src, dst, "--speed", str(speed), "--start", "0", "--single", "--volume",
             "100"]
        for o in options:
            c += ["--tempo-option", o]
        return c
    return cmd


def soundstretch_cmd(src, dst, speed):
    return ["soundstretch", src, dst, f"-tempo={speed - 100}"]


def sonic_cmd(src, dst, speed):
    # Its tool reads and writes mono only (a stereo file is taken as mono of twice the length), so
    # it gets the material mixed down; the measures read every output as mono. -q: without the
    # speed-up heuristics that trade quality for time.
    mono = dst + ".mono.wav"
    return ["sh", "-c", 'sox "$1" -c 1 "$3" && sonic -q -s "$4" "$3" "$2" && rm "$3"', "sonic",
            src, dst, mono, f"{speed / 100:g}"]


def rubberband(*extra):
    def cmd(src, dst, speed):
        return ["rubberband", "-3", "-R", "--centre-focus", *extra, "-q", "-T", f"{speed / 100:g}",
                src, dst]
    return cmd


# ---------------------------------------------------------------- metrics


def highpass_envelope(x, hz=3000.0):
    """RMS above `hz` over 4 ms: a click stands out of the chord below it, and one that a phase
    vocoder smears over a few milliseconds keeps the height its energy deserves."""
    y = signal.sosfilt(signal.butter(4, hz, "highpass", fs=RATE, output="sos"), x)
    win = int(0.004 * RATE)
    return np.sqrt(np.convolve(y * y, np.ones(win) / win, mode="same"))


def click_figures(src, out, times, speed, floor_db=-12.0):
    """% dropped, % doubled, rms jitter (ms) of the kept clicks after removing the mean offset.
    A click counts where the output has one no more than `floor_db` below the source's."""
    r = speed / 100.0
    ref = highpass_envelope(read_mono(src))
    level = np.median([ref[int(t * RATE):int((t + 0.006) * RATE)].max() for t in times])
    env = highpass_envelope(read_mono(out))
    # -12 dB by default: WSOLA's overlap weights can split a click between two copies at
    # -6 dB each, and both are heard.
    floor = 10 ** (floor_db / 20) * level
    peaks, _ = signal.find_peaks(env, height=floor, distance=int(0.006 * RATE),
                                 prominence=0.8 * floor)
    found = peaks / RATE
    heights = env[peaks]
    expected = times / r
    spacing = CLICK_PERIOD / r
    tol = min(0.025, spacing / 2)
    # The stretcher's latency: the offset that puts most detections near an expected click.
    best, offset = -1, 0.0
    for cand in np.arange(-0.1, 0.2, 0.0005):
        d = np.abs(found[:, None] - (expected[None, :] + cand)).min(axis=1) if len(found) else []
        hits = int(np.sum(np.asarray(d) < 0.002))
        if hits > best:
            best, offset = hits, cand
    duration = len(env) / RATE
    dropped = doubled = 0
    residuals = []
    counted = 0
    for e in expected + offset:
        if e < 0.05 or e > duration - 0.05:
            continue
        counted += 1
        near = np.abs(found - e) < tol
        k = int(near.sum())
        if k == 0:
            dropped += 1
            continue
        if k > 1:
            doubled += 1
        idx = np.flatnonzero(near)
        strongest = idx[np.argmax(heights[idx])]
        residuals.append(found[strongest] - e)
    res = np.asarray(residuals)
    jitter = float(np.sqrt(np.mean((res - res.mean()) ** 2))) * 1000 if len(res) > 1 else np.nan
    return 100.0 * dropped / counted, 100.0 * doubled / counted, jitter


def peak_track(x, freqs, nfft=8192, hop=1024):
    """Magnitude (dB) and frequency (Hz) of the strongest bin near each of `freqs`, per frame,
    with parabolic interpolation on the log magnitude."""
    f, _, z = signal.stft(x, RATE, window="hann", nperseg=nfft, noverlap=nfft - hop,
                          boundary=None, padded=False)
    mag = np.log(np.abs(z) + 1e-12)
    binhz = f[1] - f[0]
    mags, hzs = [], []
    for f0 in freqs:
        lo, hi = int((f0 - 20) / binhz), int((f0 + 20) / binhz) + 1
        k = lo + np.argmax(mag[lo:hi], axis=0)
        a, b, c = mag[k - 1, np.arange(len(k))], mag[k, np.arange(len(k))], mag[k + 1,
                                                                              np.arange(len(k))]
        den = a - 2 * b + c
        p = np.where(den != 0, 0.5 * (a - c) / np.where(den != 0, den, 1), 0.0)
        hzs.append((k + p) * binhz)
        mags.append((b - 0.25 * (a - c) * p) * 20 / np.log(10))
    return np.asarray(mags), np.asarray(hzs)


def steady(x, edge=LEAD + 0.3):
    """The middle of an output, away from the silence around the material and the start-up."""
    e = int(edge * RATE)
    return x[e:len(x) - e]


def chord_figures(out, speed):
    """Mean over partials of the amplitude wobble (std, dB) and frequency warble (std, cents)."""
    x = steady(read_mono(out), LEAD / (speed / 100) + 0.3)
    mags, hzs = peak_track(x, CHORD_HZ)
    wobble = np.mean(np.std(mags, axis=1))
    # A partial that cancels out in some frames has no frequency there: the warble is "-".
    with np.errstate(invalid="ignore", divide="ignore"):
        cents = 1200 * np.log2(hzs / np.asarray(CHORD_HZ)[:, None])
    warble = np.mean(np.std(cents, axis=1))
    return float(wobble), float(warble)


def sine_freqs(x):
    n = len(x)
    nfft = 1 << int(np.ceil(np.log2(n * 4)))
    logmag = np.log(np.abs(np.fft.rfft(x * np.hanning(n), nfft)) + 1e-12)
    binhz = RATE / nfft
    res = []
    for f0 in SINE_HZ:
        lo, hi = int((f0 - 5) / binhz), int((f0 + 5) / binhz) + 1
        k = lo + int(np.argmax(logmag[lo:hi]))
        a, b, c = logmag[k - 1], logmag[k], logmag[k + 1]
        res.append((k + 0.5 * (a - c) / (a - 2 * b + c)) * binhz)
    return np.asarray(res)


def pitch_error(src, out, speed):
    """Largest error over the sines, in cents, against the same estimate on the source."""
    ref = sine_freqs(steady(read_mono(src)))
    got = sine_freqs(steady(read_mono(out), LEAD / (speed / 100) + 0.3))
    return float(np.max(np.abs(1200 * np.log2(got / ref))))


def mel_bank(nfft, bands=64, fmin=50.0, fmax=8000.0):
    def mel(f):
        return 2595 * np.log10(1 + f / 700.0)

    def hz(m):
        return 700 * (10 ** (m / 2595) - 1)
    edges = hz(np.linspace(mel(fmin), mel(fmax), bands + 2))
    f = np.arange(nfft // 2 + 1) * RATE / nfft
    bank = np.zeros((bands, len(f)))
    for i in range(bands):
        lo, mid, hi = edges[i:i + 3]
        bank[i] = np.clip(np.minimum((f - lo) / (mid - lo), (hi - f) / (hi - mid)), 0, None)
    return bank


def log_mel(x, floor_db=None):
    """64-band log-mel spectrogram, 25 ms Hann windows every 10 ms, in dB (frames x bands)."""
    win, hop, nfft = int(0.025 * RATE), int(0.010 * RATE), 2048
    frames = np.lib.stride_tricks.sliding_window_view(x, win)[::hop] * np.hanning(win)
    power = np.abs(np.fft.rfft(frames, nfft)) ** 2
    db = (10 * np.log10(power @ mel_bank(nfft).T + 1e-12)).astype(np.float32)
    return db if floor_db is None else np.maximum(db, floor_db)


def spectral_distance(src, out, speed):
    """Mean absolute log-mel difference (dB) along a DTW path that matches every output frame
    with one source frame, the source advancing between 0 and 2x the speed per frame."""
    s = log_mel(read_mono(src))
    floor = s.max() - 80.0  # both sides share one floor: silence matches silence
    s = np.maximum(s, floor)
    o = log_mel(read_mono(out), floor)
    # Output frames x source frames, a block of rows at a time to bound the memory.
    cost = np.empty((len(o), len(s)), dtype=np.float32)
    for i in range(0, len(o), 64):
        cost[i:i + 64] = np.abs(o[i:i + 64, None, :] - s[None, :, :]).mean(axis=2)
    m, n = cost.shape
    k_max = max(2, int(np.ceil(2 * speed / 100)))
    d = np.full(n, np.inf)
    d[:30] = cost[0, :30]  # the start may sit within the first 0.3 s: latency
    for i in range(1, m):
        prev = d
        best = prev.copy()
        for k in range(1, k_max + 1):
            best[k:] = np.minimum(best[k:], prev[:-k])
        d = cost[i] + best
    return float(d[n - 30:].min() / m)


# ---------------------------------------------------------------- tables


def table(title, rows, speeds, fmt, target=None):
    print(f"\n{title}\n")
    print("| stretcher | " + " | ".join(f"{s} %" for s in speeds) + " |")
    print("|---|" + "---|" * len(speeds))
    for name, values in rows:
        cells = [("-" if v is None or np.isnan(v) else fmt.format(v)) for v in values]
        print(f"| {name} | " + " | ".join(cells) + " |")
    if target:
        print("| target | " + " | ".join(target.get(s, "-") for s in speeds) + " |")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("build_dir")
    ap.add_argument("--speeds", default=",".join(map(str, SPEEDS)))
    ap.add_argument("--ours", action="append", default=[], metavar="LABEL=ID:VALUE,...")
    ap.add_argument("--no-cpu", action="store_true")
    args = ap.parse_args()
    speeds = [int(s) for s in args.speeds.split(",")]

    render = os.path.join(args.build_dir, "bench", "tarvel-render")
    missing = [t for t in ("soundstretch", "rubberband", "espeak-ng", "sox")
               if shutil.which(t) is None]
    if not os.access(render, os.X_OK):
        missing.insert(0, render)
    if missing:
        print("stretch quality: missing " + ", ".join(missing), file=sys.stderr)
        return 3

    # The commit that last changed the engine names what "ours" is.
    head = subprocess.run(["git", "-C", os.path.dirname(os.path.abspath(__file__)), "log", "-1",
                           "--format=%h", "--", "../audio"],
                          capture_output=True, text=True).stdout.strip()
    stretchers = [Stretcher(f"ours (as in {head or '?'})", ours(render, []))]
    for entry in args.ours:
        label, _, opts = entry.partition("=")
        pairs = [p.replace(":", "=") for p in opts.split(",") if p]
        stretchers.append(Stretcher(f"ours, options {label}", ours(render, pairs)))
    stretchers.append(Stretcher("soundstretch", soundstretch_cmd))
    stretchers.append(Stretcher("rubberband -3 -R --centre-focus", rubberband()))
    stretchers.append(Stretcher("rubberband -3 -R --centre-focus --window-short",
                                rubberband("--window-short")))
    if shutil.which("sonic"):
        stretchers.append(Stretcher("sonic -q", sonic_cmd))

    with tempfile.TemporaryDirectory(prefix="tarvel-stretch-") as tmp:
        mat = make_material(tmp)
        res = {}
        for st in stretchers:
            for speed in speeds:
                def out(name):
                    return os.path.join(tmp, f"{name}-{len(res)}-{speed}.wav")
                r = {}
                for name in ("clicks", "clicks+chord"):
                    o = out(name)
                    st.render(mat[name], o, speed)
                    r[name] = click_figures(mat[name], o, click_times(10.0), speed)
                    r[name + " faint"] = click_figures(mat[name], o, click_times(10.0), speed,
                                                       -24.0)
                o = out("chord")
                st.render(mat["chord"], o, speed)
                r["chord"] = chord_figures(o, speed)
                o = out("sines")
                st.render(mat["sines"], o, speed)
                r["sines"] = pitch_error(mat["sines"], o, speed)
                for name in ("speech", "music"):
                    o = out(name)
                    st.render(mat[name], o, speed)
                    r[name] = spectral_distance(mat[name], o, speed)
                if not args.no_cpu:
                    o = out("cpu")
                    # Best of two: the machine is shared, and other work only ever adds time.
                    cpu = min(st.render(mat["cpu"], o, speed) for _ in range(2))
                    seconds = len(read_mono(o)) / RATE
                    r["cpu"] = (seconds / cpu if cpu > 0 else np.inf, 100.0 * cpu / seconds)
                    os.remove(o)
                res[(st.name, speed)] = r
            print(f"rendered: {st.name}", file=sys.stderr, flush=True)

    def rows(key, i=None):
        return [(st.name, [res[(st.name, s)][key] if i is None else res[(st.name, s)][key][i]
                           for s in speeds]) for st in stretchers]

    fast = {s: "<= 5" for s in (150, 200, 400)}
    table("Clicks dropped (%): no copy within 12 dB of the click; an impulse every 250 ms over "
          "silence", rows("clicks", 0), speeds, "{:.1f}", fast)
    table("Clicks dropped (%), the same over a sustained chord (5 partials, 220-554 Hz)",
          rows("clicks+chord", 0), speeds, "{:.1f}", fast)
    table("Clicks dropped (%) when copies down to -24 dB count, over silence",
          rows("clicks faint", 0), speeds, "{:.1f}")
    table("Clicks dropped (%) when copies down to -24 dB count, over the chord",
          rows("clicks+chord faint", 0), speeds, "{:.1f}")
    table("Clicks doubled (%), over silence", rows("clicks", 1), speeds, "{:.1f}",
          {s: "<= 20" for s in (150, 200, 400)})
    table("Clicks doubled (%), over the chord", rows("clicks+chord", 1), speeds, "{:.1f}",
          {s: "<= 20" for s in (150, 200, 400)})
    table("Click timing jitter (ms rms, kept clicks, mean offset removed), over silence",
          rows("clicks", 2), speeds, "{:.2f}")
    table("Click timing jitter (ms rms), over the chord", rows("clicks+chord", 2), speeds,
          "{:.2f}")
    table("Chord amplitude wobble (dB, std of each partial's level, mean over 5 partials)",
          rows("chord", 0), speeds, "{:.2f}")
    table("Chord frequency warble (cents, std of each partial's frequency, mean over 5)",
          rows("chord", 1), speeds, "{:.2f}")
    table("Pitch error (cents, largest over 220/440/1000 Hz sines)", rows("sines"), speeds,
          "{:.3f}", {s: "<= 1" for s in speeds})
    table("Speech: log-mel distance to the source after DTW alignment (dB)", rows("speech"),
          speeds, "{:.2f}", {s: "<= today's" for s in (50, 75, 100)})
    table("Music: log-mel distance to the source after DTW alignment (dB)", rows("music"),
          speeds, "{:.2f}", {s: "<= today's" for s in (50, 75, 100)})
    if not args.no_cpu:
        table("CPU: multiples of real time (seconds of output per CPU second; 60 s stereo "
              "music in, whole process, best of 2)", rows("cpu", 0), speeds, "{:.0f}x")
        table("CPU: % of one core per second of output", rows("cpu", 1), speeds, "{:.2f}",
              {**{s: "< 5" for s in (50, 75, 100)}, 400: "< 15"})
    return 0


if __name__ == "__main__":
    sys.exit(main())
