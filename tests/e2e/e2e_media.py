"""Test media for the end-to-end tests: generated PCM written as WAV, converted by the installed
encoders (sox, lame, twolame) or by tarvel-e2e-media (layer 1, modules, disc images)."""

import array
import math
import os
import struct
import subprocess
import sys
import wave

RATE = 44100
FRAME_BYTES = 4                  # 16-bit stereo
TONE_PERIOD = 100                # 441 Hz: exactly 100 samples per period
TONE_AMPLITUDE = 16000
RAMP_STEP_LEFT = 7
RAMP_STEP_RIGHT = 11
OVERVIEW_WIDTH = 712
MIN_BYTES_PER_PIXEL = 3528       # 0.02 s of 44.1 kHz 16-bit stereo


def bytes_per_pixel(length_bytes):
    return max(length_bytes // OVERVIEW_WIDTH, MIN_BYTES_PER_PIXEL)


def _tone_period(left=True, right=True):
    period = array.array("h")
    for i in range(TONE_PERIOD):
        v = int(round(TONE_AMPLITUDE * math.sin(2 * math.pi * i / TONE_PERIOD)))
        period.append(v if left else 0)
        period.append(v if right else 0)
    return period


def segments_pcm(seconds, on_intervals, left=True, right=True):
    """Stereo PCM of `seconds`: a 441 Hz tone inside each (start, end) interval, silence
    elsewhere. Interval edges fall on whole tone periods."""
    total = int(round(seconds * RATE))
    on = sorted((int(round(a * RATE)) // TONE_PERIOD * TONE_PERIOD,
                 int(round(b * RATE)) // TONE_PERIOD * TONE_PERIOD) for a, b in on_intervals)
    period = _tone_period(left, right)
    pcm = array.array("h")
    pos = 0
    for a, b in on:
        pcm.extend(array.array("h", bytes(2 * 2 * (a - pos))))
        pcm.extend(period * ((b - a) // TONE_PERIOD))
        pos = b
    pcm.extend(array.array("h", bytes(2 * 2 * (total - pos))))
    return pcm


def ramp_pcm(seconds):
    """Every frame tells which source frame it is: left = i x 7, right = i x 11 (mod 65536)."""
    frames = int(round(seconds * RATE))
    pcm = array.array("h", bytes(4 * frames))
    for i in range(frames):
        pcm[2 * i] = ((i * RAMP_STEP_LEFT + 0x8000) & 0xFFFF) - 0x8000
        pcm[2 * i + 1] = ((i * RAMP_STEP_RIGHT + 0x8000) & 0xFFFF) - 0x8000
    return pcm


def ramp_frame(left, right):
    """The source frame (mod 65536) an output frame of ramp_pcm came from, or None if its two
    samples disagree (not a ramp frame: silence, a mix, a channel swap, a gain)."""
    i = ((left & 0xFFFF) * pow(RAMP_STEP_LEFT, -1, 0x10000)) & 0xFFFF
    if ((i * RAMP_STEP_RIGHT) & 0xFFFF) != (right & 0xFFFF):
        return None
    return i


def bursts_pcm(seconds, every_s, burst_s):
    """A tone burst of `burst_s` at the start of every `every_s`, silence between."""
    intervals = []
    t = 0.0
    while t < seconds:
        intervals.append((t, min(t + burst_s, seconds)))
        t += every_s
    return segments_pcm(seconds, intervals)


def write_wav(path, pcm):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        data = array.array("h", pcm)
        if sys.byteorder != "little":
            data.byteswap()
        w.writeframes(data.tobytes())
    return path


def write_raw(path, pcm):
    data = array.array("h", pcm)
    if sys.byteorder != "little":
        data.byteswap()
    with open(path, "wb") as f:
        f.write(data.tobytes())
    return path


def _run(args):
    result = subprocess.run(args, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (args[0], result.stderr.decode(errors="replace")))


def to_aiff(wav, out):
    _run(["sox", wav, out])
    return out


def to_mp3(wav, out):
    _run(["lame", "--quiet", "-b", "128", wav, out])
    return out


def to_mp2(wav, out):
    _run(["twolame", "--quiet", "-b", "192", wav, out])
    return out


def mp1(tool, out, seconds, on_intervals):
    args = [tool, "mp1", out, str(seconds)]
    for a, b in on_intervals:
        args += [str(a), str(b)]
    _run(args)
    return out


def module(tool, out, patterns, rows):
    _run([tool, "mod", out, str(patterns), str(rows)])
    return out


def disc(tool, folder, pcm):
    """A BIN/CUE image of one track holding `pcm`; returns (cue path, stub path)."""
    raw = write_raw(os.path.join(folder, "track.pcm"), pcm)
    _run([tool, "disc", folder, raw])
    return os.path.join(folder, "disc.cue"), os.path.join(folder, "track01.cda")


def sparse_silent_wav(path, seconds, rate=RATE, channels=2):
    """A 16-bit WAV of `seconds` of silence that costs no disk space: a header and a hole. Data
    of 4 GiB or more cannot be named in the 32-bit size fields: they are left 0, as a recorder
    that streams writes them, and the data runs to the end of the file."""
    data_bytes = int(round(seconds * rate)) * channels * 2
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"")
    fits = 36 + data_bytes < 1 << 32
    with open(path, "r+b") as f:
        header = f.read()
        f.seek(0)
        # The size fields as if the data were written, then extend the file over them.
        f.write(header[:4] + struct.pack("<I", 36 + data_bytes if fits else 0) + header[8:40]
                + struct.pack("<I", data_bytes if fits else 0))
        f.truncate(44 + data_bytes)
    return path


def long_mp3(tool, out, mpeg_frames, hz=440.0):
    """An MP3 of exactly `mpeg_frames` frames (1152 samples each) of 44.1 kHz stereo tone,
    unbroken for its first 26.1 s."""
    _run([tool, "long-mp3", out, str(mpeg_frames), repr(hz)])
    return out
