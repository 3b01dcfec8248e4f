#!/usr/bin/env python3
"""The player under a real Wayland compositor: weston's headless back end with the pixman
renderer, Qt's wayland platform, and the weston_test_seat module as the user's pointer,
keyboard and eyes.

    wayland_smoke.py PROGRAM MODULE APP_ID

PROGRAM is the player to start (the installed /usr/bin/tarvel-player in CI), MODULE the built
weston_test_seat.so, APP_ID the id the window must carry to match its menu entry.

What Wayland leaves to the compositor, and so is not checked here: where the window goes (a
client cannot place its window; weston's desktop shell picks the place) and whether a second
start brings the running window forward (a client may activate a window only with a token from
the compositor; this weston offers no activation protocol)."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import math
import struct
import time
import unittest
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from e2e_x import parse_ppm, wait_for  # noqa: E402
from run_e2e import reexec_isolated  # noqa: E402

PROGRAM = MODULE = APP_ID = None
TITLE = "Tarvel Player"
DIALOG_TITLE = "音声ファイルを開く"
CLIENT_SIZE = (890, 73)
SCREEN = (1280, 800)
TIMEOUT_S = 15.0

# Client-area places (see tests/e2e/e2e_program.py): the overview and two buttons.
PB = (173, 6, 712, 30)
PLAY_BUTTON = (381, 37, 127, 32)
LOAD_BUTTON = (759, 37, 127, 32)

# evdev key codes for what the test types.
KEYS = {c: 16 + i for i, c in enumerate("qwertyuiop")}
KEYS.update({c: 30 + i for i, c in enumerate("asdfghjkl")})
KEYS.update({c: 44 + i for i, c in enumerate("zxcvbnm")})
KEYS.update({str((i + 1) % 10): 2 + i for i in range(10)})
KEYS.update({"-": 12, ".": 52, "/": 53, "\n": 28})
SHIFTED = {"_": "-"}
KEY_ESC, KEY_LEFTCTRL, KEY_LEFTSHIFT = 1, 29, 42
BTN_LEFT = 272


def centre(rect):
    return (rect[0] + rect[2] // 2, rect[1] + rect[3] // 2)


class Compositor:
    """weston on a socket of its own, with the test seat listening on `control`."""

    def __init__(self, folder):
        self.folder = folder
        self.runtime = os.path.join(folder, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.control = os.path.join(self.runtime, "test-seat")
        self.display = "wayland-tarvel-test"
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, TARVEL_WESTON_CONTROL=self.control)
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("DISPLAY", None)
        self.log = open(os.path.join(folder, "weston.log"), "wb")
        self.proc = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--use-pixman",
             "--width=%d" % SCREEN[0], "--height=%d" % SCREEN[1], "--socket=" + self.display,
             "--shell=desktop-shell.so", "--idle-time=0", "--modules=" + MODULE],
            env=env, stdout=self.log, stderr=self.log)
        if not wait_for(lambda: self.proc.poll() is not None or self._answers(), TIMEOUT_S) \
                or self.proc.poll() is not None:
            raise RuntimeError("weston did not start (see %s)" % self.log.name)

    def _answers(self):
        try:
            return self.ask("windows") is not None
        except OSError:
            return False

    def ask(self, command):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(5)
            s.connect(self.control)
            s.sendall(command.encode() + b"\n")
            lines = s.makefile(encoding="utf-8").read().splitlines()
        if not lines or lines[-1] != "ok":
            raise AssertionError("%s: %s" % (command, lines))
        return lines[:-1]

    def client_env(self, extra):
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, WAYLAND_DISPLAY=self.display,
                   QT_QPA_PLATFORM="wayland")
        env.pop("DISPLAY", None)
        env.update(extra)
        return env

    def windows(self, pid=None):
        """[(pid, (x, y, w, h), app_id, title)] of the mapped windows."""
        out = []
        for line in self.ask("windows"):
            head, app_id, title = line.split("\t")
            fields = head.split()
            entry = (int(fields[1]), tuple(int(v) for v in fields[2:6]), app_id, title)
            if pid is None or entry[0] == pid:
                out.append(entry)
        return out

    def screenshot(self):
        path = os.path.join(self.folder, "shot.ppm")
        self.ask("shot " + path)
        with open(path, "rb") as f:
            return parse_ppm(f.read())

    def click(self, x, y):
        self.ask("move %d %d" % (x, y))
        time.sleep(0.05)
        self.ask("button %d 1" % BTN_LEFT)
        self.ask("button %d 0" % BTN_LEFT)

    def key(self, code, modifier=None):
        if modifier:
            self.ask("key %d 1" % modifier)
        self.ask("key %d 1" % code)
        self.ask("key %d 0" % code)
        if modifier:
            self.ask("key %d 0" % modifier)

    def type_text(self, text):
        for c in text:
            if c in SHIFTED:
                self.key(KEYS[SHIFTED[c]], KEY_LEFTSHIFT)
            else:
                self.key(KEYS[c])
            time.sleep(0.02)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


def write_tone(path, seconds=3.0, rate=44100):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = bytearray()
        for i in range(int(seconds * rate)):
            v = int(12000 * math.sin(2 * math.pi * 440 * i / rate))
            frames += struct.pack("<hh", v, v)
        w.writeframes(bytes(frames))


def client_rect(img, frame):
    """The client area inside a window's frame (x, y, w, h on the output), measured from the
    pixels: Qt draws its title bar and border around the client in one border colour, sampled at
    the frame's left edge half-way down."""
    x, y, w, h = frame
    border = img.pixel(x, y + h // 2)

    def run(points):
        n = 0
        for p in points:
            if img.pixel(*p) != border:
                break
            n += 1
        return n

    mid_y = y + h - 10
    left = run((x + i, mid_y) for i in range(w))
    right = run((x + w - 1 - i, mid_y) for i in range(w))
    mid_x = x + w // 2
    bottom = run((mid_x, y + h - 1 - i) for i in range(h))
    # The title is centred: down the left border's inner column the bar is plain.
    top = run((x + left + 1, y + i) for i in range(h))
    return (x + left, y + top, w - left - right, h - top - bottom)


def ink(img, rect, background):
    """Pixels in rect that differ clearly from the background colour (text, drawn glyphs)."""
    n = 0
    for yy in range(rect[1], rect[1] + rect[3]):
        for xx in range(rect[0], rect[0] + rect[2]):
            p = img.pixel(xx, yy)
            if sum(abs(a - b) for a, b in zip(p, background)) > 150:
                n += 1
    return n


class WaylandSmoke(unittest.TestCase):
    """One user session, step by step (the steps run in the order of their names)."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="wayland-smoke-")
        cls.wc = Compositor(cls.folder)
        cls.home = os.path.join(cls.folder, "home")
        os.makedirs(cls.home)
        cls.audio = os.path.join(cls.folder, "out.raw")
        cls.tone = os.path.join(cls.folder, "tone.wav")
        write_tone(cls.tone)
        cls.log = open(os.path.join(cls.folder, "program.log"), "wb")
        cls.proc = subprocess.Popen(
            [PROGRAM], cwd=cls.folder, stdout=cls.log, stderr=cls.log,
            env=cls.wc.client_env({"HOME": cls.home, "SDL_AUDIODRIVER": "disk",
                                   "SDL_DISKAUDIOFILE": cls.audio}))
        cls.window = wait_for(lambda: [w for w in cls.wc.windows(cls.proc.pid) if w[3] == TITLE],
                              TIMEOUT_S)
        cls.client = None

    @classmethod
    def tearDownClass(cls):
        if cls.proc.poll() is None:
            cls.proc.kill()
            cls.proc.wait()
        cls.log.close()
        cls.wc.close()

    def at(self, point):
        return (self.client[0] + point[0], self.client[1] + point[1])

    def test_1_window_opens_at_its_client_size(self):
        self.assertTrue(self.window, "no window titled %r" % TITLE)
        _, frame, app_id, _ = self.window[0]
        # The app id is how a Wayland desktop finds the menu entry and the icon.
        self.assertEqual(app_id, APP_ID)
        # The first frame may still be on its way.
        time.sleep(1.0)
        img = self.wc.screenshot()
        type(self).client = client_rect(img, frame)
        print("wayland smoke: window frame %s, client area %s" % (frame, self.client))
        self.assertEqual(self.client[2:], CLIENT_SIZE)
        # The title Qt draws above the client: text in the bar.
        title_bar = (frame[0], frame[1], frame[2], self.client[1] - frame[1])
        self.assertGreater(ink(img, title_bar, img.pixel(frame[0] + 2, frame[1] + 2)), 50)

    def test_2_hint_shows_in_japanese(self):
        self.assertIsNotNone(self.client)
        x, y = self.at((PB[0] + 300, PB[1] + PB[3] // 2))
        self.wc.ask("move %d %d" % (x - 5, y))
        self.wc.ask("move %d %d" % (x, y))
        popups = wait_for(lambda: [w for w in self.wc.windows(self.proc.pid) if not w[3]], 5.0)
        self.assertTrue(popups, "no hint appeared over the overview")
        time.sleep(0.3)
        rect = popups[0][1]
        img = self.wc.screenshot()
        background = img.pixel(rect[0] + 2, rect[1] + 2)
        # 開始位置：左クリック / 停止位置：右クリック at 11 px: a couple of hundred pixels wide,
        # and well inked (a missing font would leave boxes or nothing).
        self.assertGreater(rect[2], 180)
        self.assertGreater(ink(img, rect, background), 300)
        japanese = subprocess.run(["fc-list", ":lang=ja", "family"], capture_output=True,
                                  text=True).stdout
        self.assertTrue(japanese.strip(), "no font with Japanese glyphs installed")
        self.wc.ask("move 5 5")

    def test_3_dialog_opens_with_its_title_and_loads(self):
        self.assertIsNotNone(self.client)
        self.wc.click(*self.at(centre(LOAD_BUTTON)))
        dialog = wait_for(lambda: [w for w in self.wc.windows(self.proc.pid)
                                   if w[3] == DIALOG_TITLE], TIMEOUT_S)
        self.assertTrue(dialog, "the file dialog did not open")
        time.sleep(1.0)
        frame = dialog[0][1]
        img = self.wc.screenshot()
        # The Japanese title drawn centred in the dialog's title bar.
        bar = (frame[0] + frame[2] // 4, frame[1] + 3, frame[2] // 2, 22)
        self.assertGreater(ink(img, bar, img.pixel(frame[0] + 5, frame[1] + 3)), 60)
        self.wc.key(KEYS["a"], KEY_LEFTCTRL)
        self.wc.type_text(self.tone)
        self.wc.key(KEYS["\n"])
        self.assertTrue(wait_for(lambda: not [w for w in self.wc.windows(self.proc.pid)
                                              if w[3] == DIALOG_TITLE], 5.0),
                        "the dialog did not accept the typed path")

    def test_4_plays(self):
        self.assertIsNotNone(self.client)
        time.sleep(1.0)  # the scan of the loaded tone
        start = os.path.getsize(self.audio) if os.path.exists(self.audio) else 0
        self.wc.click(*self.at(centre(PLAY_BUTTON)))
        self.wc.ask("move 5 5")
        time.sleep(2.0)
        with open(self.audio, "rb") as f:
            f.seek(start)
            played = f.read()
        self.assertGreater(len(played), 44100)
        loud = sum(1 for b in played[::97] if b not in (0, 0xFF))
        self.assertGreater(loud, len(played[::97]) // 4, "the output stayed silent")

    def test_5_second_start_exits_silently(self):
        log = os.path.join(self.folder, "second.log")
        with open(log, "wb") as out:
            second = subprocess.run(
                [PROGRAM], cwd=self.folder, stdout=out, stderr=out, timeout=TIMEOUT_S,
                env=self.wc.client_env({"HOME": self.home, "SDL_AUDIODRIVER": "dummy",
                                        "XDG_ACTIVATION_TOKEN": "smoke-test-token"}))
        self.assertEqual(second.returncode, 0)
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"")
        self.assertIsNone(self.proc.poll(), "the running copy ended")
        self.assertEqual(len([w for w in self.wc.windows() if w[3] == TITLE]), 1)

    def test_6_closes(self):
        self.wc.ask("close %d" % self.proc.pid)
        try:
            code = self.proc.wait(TIMEOUT_S)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end after its window was closed")
        self.assertEqual(code, 0)


def main():
    global PROGRAM, MODULE, APP_ID
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    # The single-instance mark lives in the network namespace: keep other copies out of sight.
    reexec_isolated()
    PROGRAM, MODULE, APP_ID = (os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]),
                               sys.argv[3])
    sys.dont_write_bytecode = True
    result = unittest.main(argv=[sys.argv[0]], exit=False, verbosity=2).result
    if result.wasSuccessful():
        shutil.rmtree(WaylandSmoke.folder, ignore_errors=True)
    else:
        print("wayland smoke: logs and the last screenshot in %s" % WaylandSmoke.folder)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
