#!/usr/bin/env python3
"""Playback as a desktop user hears it, ours next to an established player (mpv --ao=pulse) in the
same run: a private PulseAudio server with a null sink, its monitor recorded with parec, every
piece of the recording timestamped as it arrives.

    device_bench.py BUILD_DIR WORK_DIR

Prints one `key value` line per figure (bench/run-all turns them into BENCHMARKS.md):
  breaks under stalled reads of the file (none, 60 ms every 1 s, 250 ms every 3 s) at 100 % and
  400 %; the device callback's longest and 99th-percentile run; play-to-sound, seek-to-heard and
  speed-change-to-heard latencies; the CPU an idle player uses over 30 s.
Needs pulseaudio, pulseaudio-utils, mpv, Xvfb and the rest of scripts/install-deps."""

import array
import json
import math
import os
import socket
import statistics
import subprocess
import sys
import time
import wave

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.dont_write_bytecode = True

import e2e_pulse as pulse  # noqa: E402

RATE = pulse.RATE
FREQ = 441.0
ONSET = 1000          # a sample above this is sound (the tones are at half scale)
STALLS = [("none", None), ("60ms/1s", (60, 1000)), ("250ms/3s", (250, 3000))]
BREAK_SECONDS = {100: 12, 400: 8}
LATENCY_ROUNDS = 5
IDLE_SECONDS = 30
MPV = ["mpv", "--no-config", "--really-quiet", "--no-video", "--audio-display=no", "--ao=pulse",
       "--audio-samplerate=44100", "--audio-channels=stereo"]


def say(key, value):
    print("%s %s" % (key, value))
    sys.stdout.flush()


def write_tone(path, seconds, amplitude):
    """A stereo 441 Hz tone whose amplitude (a fraction of full scale) at t seconds is
    amplitude(t)."""
    frames = int(seconds * RATE)
    data = array.array("h", bytes(4 * frames))
    for i in range(frames):
        v = int(round(32767 * amplitude(i / RATE) * math.sin(2 * math.pi * FREQ * i / RATE)))
        data[2 * i] = v
        data[2 * i + 1] = v
    if sys.byteorder != "little":
        data.byteswap()
    with wave.open(path + ".part", "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data.tobytes())
    os.replace(path + ".part", path)


def make_material(work):
    m = {
        "sine": os.path.join(work, "dev-sine-60s.wav"),
        "seek": os.path.join(work, "dev-silence-then-tone.wav"),
        "ramp": os.path.join(work, "dev-amplitude-ramp.wav"),
    }
    if not os.path.exists(m["sine"]):
        write_tone(m["sine"], 60, lambda t: 0.5)
    if not os.path.exists(m["seek"]):
        write_tone(m["seek"], 20, lambda t: 0.0 if t < 10 else 0.5)
    if not os.path.exists(m["ramp"]):
        # From 0.1 to 0.9 of full scale over 8 s: how loud it is tells where in the source the
        # sound comes from, so a change of speed shows as a change of slope.
        write_tone(m["ramp"], 8, lambda t: 0.1 + 0.1 * t)
    return m


class Session:
    def __init__(self, work):
        self.folder = os.path.join(work, "device-bench")
        os.makedirs(self.folder, exist_ok=True)
        self.server = pulse.PulseServer(self.folder)
        self.server.start()
        self.rec = self.server.record(os.path.join(self.folder, "monitor.raw"))

    def env(self, stall=None, stalled_file=None):
        env = dict(os.environ)
        env.update(self.server.env())
        if stall:
            env.update({"LD_PRELOAD": self.shim, "TARVEL_STALL_PATH": os.path.basename(stalled_file),
                        "TARVEL_STALL_MS": str(stall[0]), "TARVEL_STALL_EVERY_MS": str(stall[1])})
        return env

    def heard_time(self, frame):
        """When frame `frame` reached the monitor: the arrival of its piece, less what came after
        it in that piece."""
        with self.rec.lock:
            for count, when in self.rec.arrivals:
                if count > frame:
                    return when - (count - 1 - frame) / RATE
        return None

    def close(self):
        self.rec.stop()
        self.server.stop()


def count_breaks(session, first_frame, last_frame):
    samples = session.rec.read(0, last_frame)
    span = pulse.sounding_span(samples[2 * first_frame:], ONSET)
    if span is None:
        return None
    first = first_frame + span[0]
    last = first_frame + span[1]
    # Leave out the stretcher's start and the stop.
    count, _, _ = pulse.sine_breaks(samples, FREQ, first + RATE // 5, last - RATE // 20)
    return count


def breaks_ours(session, bench, material, stall, speed):
    seconds = BREAK_SECONDS[speed]
    begin = session.rec.frames_written()
    out = subprocess.run([bench, "device_play", material, str(speed), str(seconds)],
                         env=session.env(stall, material), capture_output=True, text=True,
                         check=True).stdout
    time.sleep(0.3)
    figures = dict(line.rsplit(" ", 1) if not line.startswith("callback") else
                   (line.rsplit(" ", 2)[0], line.rsplit(" ", 2)[1]) for line in out.splitlines()
                   if not line.startswith("action"))
    return count_breaks(session, begin, session.rec.frames_written()), figures


def breaks_mpv(session, material, stall, speed):
    seconds = BREAK_SECONDS[speed]
    begin = session.rec.frames_written()
    subprocess.run(MPV + ["--speed=%g" % (speed / 100.0), "--length=%d" % (seconds * speed // 100),
                          material], env=session.env(stall, material), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(0.3)
    return count_breaks(session, begin, session.rec.frames_written())


# ---- latencies ----

def onset_after(session, when, timeout_s=3.0):
    """Seconds from `when` to the first sound heard after it."""
    frame = max(session.rec.frame_at(when) - RATE // 20, 0)
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        samples = session.rec.read(frame)
        for i in range(0, len(samples), 2):
            if abs(samples[i]) > ONSET:
                heard = session.heard_time(frame + i // 2)
                if heard is not None and heard >= when - 0.005:
                    return heard - when
        time.sleep(0.05)
    return None


def envelope(samples, window):
    return [max(abs(samples[2 * (k * window + j)]) for j in range(window))
            for k in range(len(samples) // 2 // window)]


def speed_change_after(session, when):
    """Seconds from `when` until the recorded amplitude ramp runs at least twice as fast as
    before: the moment the new speed is heard."""
    time.sleep(1.0)
    start = session.rec.frame_at(when) - RATE // 5
    window = RATE // 100  # 10 ms
    env = envelope(session.rec.read(start, start + RATE), window)
    span = 3
    slopes = [env[k + span] - env[k] for k in range(len(env) - span)]
    before = statistics.median(slopes[:15]) if len(slopes) > 15 else None
    if not before or before <= 0:
        return None
    for k in range(15, len(slopes)):
        if slopes[k] > 2.0 * before and slopes[k + 1 if k + 1 < len(slopes) else k] > 2.0 * before:
            heard = session.heard_time(start + k * window)
            return None if heard is None else heard - when
    return None


def latencies_ours(session, bench, what, material):
    out = subprocess.run([bench, "device_latency", what, material, str(LATENCY_ROUNDS)],
                         env=session.env(), capture_output=True, text=True, check=True).stdout
    found = {}
    for line in out.splitlines():
        if line.startswith("action "):
            _, name, t = line.split()
            found.setdefault(name, []).append(float(t))
    return found


def measure(session, actions, what):
    result = {}
    for name, times in actions.items():
        values = []
        for t in times:
            v = speed_change_after(session, t) if what == "speed" else onset_after(session, t)
            if v is not None:
                values.append(v * 1000.0)
        result[name] = values
    return result


class MpvIpc:
    def __init__(self, session, material, extra):
        self.path = os.path.join(session.folder, "mpv.sock")
        if os.path.exists(self.path):
            os.unlink(self.path)
        self.proc = subprocess.Popen(MPV + ["--idle=yes", "--keep-open=yes", "--pause",
                                            "--input-ipc-server=" + self.path] + extra + [material],
                                     env=session.env(), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.path) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.connect(self.path)
        time.sleep(1.0)

    def send(self, *command):
        self.sock.sendall((json.dumps({"command": list(command)}) + "\n").encode())

    def close(self):
        self.send("quit")
        self.sock.close()
        self.proc.wait(10)


def latencies_mpv(session, what, material):
    ipc = MpvIpc(session, material, [])
    times = {}
    for _ in range(LATENCY_ROUNDS):
        ipc.send("seek", 0, "absolute")
        ipc.send("set_property", "speed", 1.0)
        time.sleep(0.5)
        if what == "play":
            t = time.monotonic()
            ipc.send("set_property", "pause", False)
            times.setdefault("play", []).append(t)
        else:
            ipc.send("set_property", "pause", False)
            time.sleep(0.6)
            t = time.monotonic()
            if what == "seek":
                ipc.send("seek", 12, "absolute")
            else:
                ipc.send("set_property", "speed", 4.0)
            times.setdefault(what, []).append(t)
        time.sleep(0.6)
        ipc.send("set_property", "pause", True)
        time.sleep(0.3)
    ipc.close()
    return times


def summary(values):
    if not values:
        return "n/a"
    return "%.1f %.1f %d" % (statistics.median(values), max(values), len(values))


# ---- idle CPU ----

def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_cpu(session, build, material):
    from e2e_program import Player
    from e2e_x import XSession
    folder = os.path.join(session.folder, "idle")
    os.makedirs(folder, exist_ok=True)
    x = XSession(folder)
    x.start()
    try:
        p = Player(x, os.path.join(build, "app", "tarvel-player"), os.path.join(folder, "app"),
                   companion_wav=material, extra_env=session.server.env())
        p.start()
        time.sleep(4.0)  # the scan ends, the device falls asleep
        streams_ours = session.server.streams()
        c0 = cpu_seconds(p.proc.pid)
        time.sleep(IDLE_SECONDS)
        ours = cpu_seconds(p.proc.pid) - c0
        p.stop()
    finally:
        x.close()
    m = subprocess.Popen(MPV + ["--pause", "--idle=yes", material], env=session.env(),
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(4.0)
    streams_mpv = session.server.streams()
    c0 = cpu_seconds(m.pid)
    time.sleep(IDLE_SECONDS)
    ref = cpu_seconds(m.pid) - c0
    m.terminate()
    m.wait()
    return ours, ref, streams_ours, streams_mpv


def main():
    build, work = sys.argv[1], sys.argv[2]
    bench = os.path.join(build, "bench", "tarvel-bench")
    material = make_material(work)
    session = Session(work)
    session.shim = os.path.join(build, "tests", "e2e", "libtarvel_e2e_stall_shim.so")
    try:
        for label, stall in STALLS:
            for speed in (100, 400):
                ours, figures = breaks_ours(session, bench, material["sine"], stall, speed)
                ref = breaks_mpv(session, material["sine"], stall, speed)
                say("breaks %s %d" % (label, speed), "%s %s %d" % (ours, ref, BREAK_SECONDS[speed]))
                if label == "none":
                    say("callback %d" % speed, "%s %s %s %s" % (
                        figures.get("callback longest", "n/a"), figures.get("callback p99", "n/a"),
                        figures.get("callback longest gap", "n/a"), figures.get("underruns", "n/a")))
        for what, key in (("play", "sine"), ("seek", "seek"), ("speed", "ramp")):
            ours = measure(session, latencies_ours(session, bench, what, material[key]), what)
            ref = measure(session, latencies_mpv(session, what, material[key]), what)
            for name, values in ours.items():
                say("latency ours %s" % name, summary(values))
            for name, values in ref.items():
                say("latency mpv %s" % name, summary(values))
        ours, ref, s_ours, s_ref = idle_cpu(session, build, material["sine"])
        say("idle", "%.3f %.3f %s %s %d" % (ours, ref, s_ours, s_ref, IDLE_SECONDS))
    finally:
        session.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
