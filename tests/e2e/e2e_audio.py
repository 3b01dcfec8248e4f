"""What the program played: the raw file SDL's `disk` driver writes in real time (16-bit stereo
at 44100 Hz, native byte order), read back and measured."""

import array
import os
import sys

from e2e_x import wait_for

RATE = 44100
FRAME_BYTES = 4


class Recording:
    def __init__(self, path):
        self.path = path

    def frames_written(self):
        try:
            return os.path.getsize(self.path) // FRAME_BYTES
        except OSError:
            return 0

    def wait_frames(self, frames, timeout_s):
        """Waits until the file holds at least `frames` frames (it grows at the device rate)."""
        return wait_for(lambda: self.frames_written() >= frames, timeout_s, 0.02)

    def read(self, first_frame=0, last_frame=None):
        """Interleaved samples of frames [first_frame, last_frame)."""
        return read_frames(self.path, first_frame, last_frame)


def read_frames(path, first_frame=0, last_frame=None):
    """Interleaved samples of frames [first_frame, last_frame) of a raw 16-bit stereo file."""
    with open(path, "rb") as f:
        f.seek(first_frame * FRAME_BYTES)
        size = -1 if last_frame is None else (last_frame - first_frame) * FRAME_BYTES
        data = f.read(size)
    data = data[:len(data) - len(data) % FRAME_BYTES]
    samples = array.array("h", data)
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def first_sound(samples, start=0):
    """Frame index of the first frame with a non-zero sample, or None."""
    for i in range(2 * start, len(samples)):
        if samples[i] != 0:
            return i // 2
    return None


def last_sound(samples):
    for i in range(len(samples) - 1, -1, -1):
        if samples[i] != 0:
            return i // 2
    return None


def is_silent(samples):
    return not any(samples)


def onsets(samples, threshold=2000, min_gap_frames=RATE // 10):
    """Frames where the left channel first exceeds `threshold` after at least `min_gap_frames`
    of quiet: the starts of the tone bursts."""
    found = []
    quiet = min_gap_frames
    for i in range(0, len(samples), 2):
        if abs(samples[i]) > threshold:
            if quiet >= min_gap_frames:
                found.append(i // 2)
            quiet = 0
        else:
            quiet += 1
    return found


def zero_crossing_hz(samples, first, count):
    """Frequency of the left channel over `count` frames from `first`, by zero crossings."""
    crossings = 0
    prev = samples[2 * first]
    for i in range(first + 1, first + count):
        cur = samples[2 * i]
        if (prev < 0) != (cur < 0):
            crossings += 1
        prev = cur
    return crossings / 2.0 / (count / RATE)
