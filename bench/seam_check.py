#!/usr/bin/env python3
"""Counts the discontinuities in a rendered pure sine (16-bit PCM WAV).

A pure sine y[n] = A sin(w n + p) satisfies y[n+1] - 2 cos(w) y[n] + y[n-1] = 0, so any sample
where that residual exceeds a threshold (0.01 of full scale by default) is a break in the wave:
a loop seam that does not join, a gap, a click. Neighbouring bad samples (closer than --merge-ms)
count as one discontinuity.

    seam_check.py FILE.wav --freq 441 [--threshold 0.01] [--expect-seconds S] [--skip-ms M]

Prints one line of key=value figures; exit status 0 unless the file cannot be read.
"""

import argparse
import math
import struct
import sys

FULL_SCALE = 32768.0


def read_channels(path):
    """16-bit PCM from a RIFF/WAVE file, plain or extensible format (players write either)."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("not a RIFF/WAVE file")
    pos = 12
    fmt = None
    pcm = None
    while pos + 8 <= len(data):
        cid = data[pos:pos + 4]
        size = struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt " and len(body) >= 16:
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif cid == b"data":
            pcm = body
            break
        pos += 8 + size + (size & 1)
    if fmt is None or pcm is None:
        raise ValueError("no fmt or data chunk")
    _, channels, rate, _, _, bits = fmt
    if bits != 16 or channels < 1:
        raise ValueError("expects 16-bit PCM")
    count = len(pcm) // 2
    samples = struct.unpack("<%dh" % count, pcm[: count * 2])
    return rate, [samples[c::channels] for c in range(channels)]


def bad_samples(y, coeff, limit):
    """Indices n where |y[n+1] - coeff*y[n] + y[n-1]| exceeds limit."""
    bad = []
    for n in range(1, len(y) - 1):
        if abs(y[n + 1] - coeff * y[n] + y[n - 1]) > limit:
            bad.append(n)
    return bad


def group(indices, gap):
    """Number of clusters: indices closer than `gap` samples belong to one cluster."""
    clusters = []
    for n in indices:
        if clusters and n - clusters[-1][1] <= gap:
            clusters[-1][1] = n
        else:
            clusters.append([n, n])
    return clusters


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("wav")
    p.add_argument("--freq", type=float, required=True, help="the sine's frequency in Hz")
    p.add_argument("--threshold", type=float, default=0.01, help="fraction of full scale")
    p.add_argument("--merge-ms", type=float, default=5.0)
    p.add_argument("--skip-ms", type=float, default=0.0,
                   help="ignore this much at the start (a player's own fade-in)")
    p.add_argument("--expect-seconds", type=float, default=0.0,
                   help="expected length; the error is printed in percent")
    a = p.parse_args()
    try:
        rate, chans = read_channels(a.wav)
    except (OSError, ValueError, struct.error) as e:
        print("seam_check: %s: %s" % (a.wav, e), file=sys.stderr)
        return 1
    coeff = 2.0 * math.cos(2.0 * math.pi * a.freq / rate)
    limit = a.threshold * FULL_SCALE
    skip = int(a.skip_ms * rate / 1000.0)
    merged = set()
    worst = 0.0
    for y in chans:
        for n in bad_samples(y, coeff, limit):
            if n >= skip:
                merged.add(n)
        for n in range(max(1, skip), len(y) - 1):
            worst = max(worst, abs(y[n + 1] - coeff * y[n] + y[n - 1]))
    clusters = group(sorted(merged), int(a.merge_ms * rate / 1000.0))
    frames = len(chans[0]) if chans else 0
    seconds = frames / float(rate)
    fields = [
        "seconds=%.4f" % seconds,
        "discontinuities=%d" % len(clusters),
        "worst_residual=%.5f" % (worst / FULL_SCALE),
    ]
    if a.expect_seconds > 0:
        fields.append("length_error_pct=%.3f" % ((seconds / a.expect_seconds - 1.0) * 100.0))
    if clusters:
        fields.append("at=" + ",".join("%.3f" % (c[0] / float(rate)) for c in clusters[:12]))
    print(" ".join(fields))
    return 0


if __name__ == "__main__":
    sys.exit(main())
