"""A private PulseAudio server with one null sink, what a desktop user's sound server does with
the player's output, and a recording of that sink's monitor taken with parec.

The server has its own socket, runtime and state folders under the test's folder, so it
neither sees nor disturbs another server on the machine. Shared memory is off on both sides
(`enable-shm = no`, `enable-memfd = no`): PulseAudio 16 aborts on memfd in some containers."""

import math
import os
import shutil
import signal
import subprocess
import threading
import time

from e2e_audio import read_frames
from e2e_x import end_process, wait_for

RATE = 44100
FRAME_BYTES = 4
SINK = "tarvel_test"
START_TIMEOUT_S = 10.0
# parec asks for its data in pieces this long, so arrival times are known to about this much.
RECORD_LATENCY_MS = 10
# The server's threads run real-time at this priority (PulseAudio's I/O thread asks for 5).
REALTIME_PRIORITY = 10


def available():
    return all(shutil.which(tool) for tool in ("pulseaudio", "parec", "pactl"))


class PulseServer:
    def __init__(self, folder):
        self.folder = os.path.join(folder, "pulse")
        self.socket = os.path.join(self.folder, "native")
        self.proc = None

    def env(self):
        """What a client of this server needs in its environment."""
        return {
            "PULSE_SERVER": "unix:" + self.socket,
            "PULSE_CLIENTCONFIG": os.path.join(self.folder, "client.conf"),
            "PULSE_RUNTIME_PATH": os.path.join(self.folder, "runtime"),
            "PULSE_STATE_PATH": os.path.join(self.folder, "state"),
            "PULSE_COOKIE": os.path.join(self.folder, "cookie"),
            "SDL_AUDIODRIVER": "pulseaudio",
        }

    def _client_env(self):
        env = dict(os.environ)
        env.update(self.env())
        env["HOME"] = self.folder
        return env

    def start(self):
        for sub in ("runtime", "state", "config"):
            os.makedirs(os.path.join(self.folder, sub), mode=0o700, exist_ok=True)
        with open(os.path.join(self.folder, "client.conf"), "w") as f:
            f.write("autospawn = no\nenable-shm = no\nenable-memfd = no\n")
        script = os.path.join(self.folder, "server.pa")
        with open(script, "w") as f:
            f.write("load-module module-null-sink sink_name=%s rate=%d channels=2\n"
                    % (SINK, RATE))
            f.write("load-module module-native-protocol-unix socket=%s auth-anonymous=1\n"
                    % self.socket)
            f.write("set-default-sink %s\n" % SINK)
        env = self._client_env()
        env["XDG_CONFIG_HOME"] = os.path.join(self.folder, "config")
        self.log = open(os.path.join(self.folder, "server.log"), "ab")
        self.proc = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
             "--disable-shm=yes", "--enable-memfd=no", "--file=" + script,
             "--log-target=stderr", "--log-level=warning"],
            env=env, stdout=self.log, stderr=self.log, start_new_session=True)
        if not wait_for(lambda: self.ready() or self.proc.poll() is not None, START_TIMEOUT_S,
                        0.05) or self.proc.poll() is not None:
            raise AssertionError("the PulseAudio server did not start (see %s)"
                                 % os.path.join(self.folder, "server.log"))
        self._keep_up()

    def _keep_up(self):
        """With shared memory off, every client's audio passes through the server's main thread,
        which PulseAudio runs at an ordinary priority; on a desktop it goes through shared memory
        to the real-time I/O thread. So that a busy machine starves neither, all the server's
        threads get the real-time priority its I/O thread has (where we may set it: as root)."""
        for tid in os.listdir("/proc/%d/task" % self.proc.pid):
            try:
                os.sched_setscheduler(int(tid), os.SCHED_RR, os.sched_param(REALTIME_PRIORITY))
            except OSError:
                pass

    def ready(self):
        return self.pactl("info") is not None

    def pactl(self, *args):
        try:
            done = subprocess.run(["pactl"] + list(args), env=self._client_env(),
                                  capture_output=True, timeout=5)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout.decode(errors="replace") if done.returncode == 0 else None

    def streams(self):
        """How many playback streams the server has now (None if it does not answer)."""
        out = self.pactl("list", "short", "sink-inputs")
        return None if out is None else len([line for line in out.splitlines() if line.strip()])

    def record(self, path):
        """Starts recording the sink's monitor into `path`; returns the Recorder."""
        rec = Recorder(self, path)
        rec.start()
        return rec

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()


class Recorder:
    """parec on the monitor, read by a thread of ours that timestamps every piece as it comes
    (monotonic clock), so that "when was this heard" can be asked of any frame."""

    def __init__(self, server, path):
        self.server = server
        self.path = path
        self.proc = None
        self.lock = threading.Lock()
        self.frames = 0
        self.arrivals = []  # (frames so far, monotonic time when they had arrived)

    def start(self):
        self.file = open(self.path, "wb")
        self.proc = subprocess.Popen(
            ["parec", "-d", SINK + ".monitor", "--format=s16le", "--rate=%d" % RATE,
             "--channels=2", "--latency-msec=%d" % RECORD_LATENCY_MS, "--raw"],
            env=self.server._client_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.thread = threading.Thread(target=self._pump, daemon=False)
        self.thread.start()
        if not wait_for(lambda: self.frames_written() > 0, 5.0, 0.02):
            raise AssertionError("parec recorded nothing")

    def _pump(self):
        pending = b""
        while True:
            data = self.proc.stdout.read1(65536)
            if not data:
                break
            now = time.monotonic()
            self.file.write(data)
            pending += data
            whole = len(pending) - len(pending) % FRAME_BYTES
            with self.lock:
                self.frames += whole // FRAME_BYTES
                self.arrivals.append((self.frames, now))
            pending = pending[whole:]
        self.file.flush()

    def frames_written(self):
        with self.lock:
            return self.frames

    def wait_frames(self, frames, timeout_s):
        return wait_for(lambda: self.frames_written() >= frames, timeout_s, 0.01)

    def arrival_time(self, frame):
        """When frame `frame` had arrived (the end of the piece that held it)."""
        with self.lock:
            for count, when in self.arrivals:
                if count > frame:
                    return when
        return None

    def frame_at(self, when):
        """The number of frames that had arrived by monotonic time `when`."""
        with self.lock:
            last = 0
            for count, at in self.arrivals:
                if at > when:
                    break
                last = count
            return last

    def read(self, first_frame=0, last_frame=None):
        self.file.flush()
        return read_frames(self.path, first_frame, last_frame)

    def stop(self):
        end_process(self.proc)
        self.thread.join()
        self.file.close()


def sounding_span(samples, threshold=64):
    """First and one past the last frame whose left sample exceeds `threshold`, or None."""
    first = None
    last = None
    for i in range(0, len(samples), 2):
        if abs(samples[i]) > threshold:
            if first is None:
                first = i // 2
            last = i // 2 + 1
    return None if first is None else (first, last)


def sine_breaks(samples, freq_hz, first, last, limit=0.01, merge_frames=RATE // 200):
    """Breaks in a recorded sine of `freq_hz` over frames [first, last) of the left channel:
    places where |y[n+1] - 2cos(w)y[n] + y[n-1]| exceeds `limit` of full scale (zero for a pure
    sine of any amplitude, large at a gap, a jump or a repeat). Bad samples within
    `merge_frames` of each other count once. Returns (count, worst residual, frames of the
    first few breaks)."""
    c = 2.0 * math.cos(2.0 * math.pi * freq_hz / RATE)
    worst = 0.0
    count = 0
    where = []
    last_bad = None
    threshold = limit * 32768.0
    for n in range(max(first, 1), last - 1):
        r = abs(samples[2 * (n + 1)] - c * samples[2 * n] + samples[2 * (n - 1)])
        if r > worst:
            worst = r
        if r > threshold:
            if last_bad is None or n - last_bad > merge_frames:
                count += 1
                if len(where) < 5:
                    where.append(n)
            last_bad = n
    return count, worst / 32768.0, where
