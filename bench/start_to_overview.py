"""The overview on screen, end to end: from the start of the real program to its first drawn
overview, against a single-threaded decode of the same file in the same command.

    /usr/bin/python3 bench/start_to_overview.py FILE [--player P] [--bench B] [--runs N]

FILE is given to the program as its companion file, which it opens at start-up; the first
resize then starts the scan. The window is read straight from the X server (XGetImage on the
program's own window, every 10 ms, a few pixels checked), which takes far less from the scan than
a screenshot tool would. The reference is the single-threaded decode that `tarvel-bench scan FILE`
times (libmpg123 for MP3, libsndfile otherwise), run before and after the program starts."""

import argparse
import ctypes
import ctypes.util
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import e2e_screen as screen  # noqa: E402
from e2e_program import PB, Player  # noqa: E402
from e2e_x import Image, XSession, wait_for  # noqa: E402

Z_PIXMAP = 2
ALL_PLANES = 0xFFFFFFFF


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


class WindowReader:
    """Client-area pixels of one window, read with XGetImage (32-bit BGRX on Xvfb)."""

    def __init__(self, display_name):
        self.x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XGetImage.restype = ctypes.POINTER(XImage)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                       ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                       ctypes.c_ulong, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        # A grab of a window that is not viewable yet raises an X error: ignore it, try again.
        self._handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
            lambda d, e: 0)
        self.x11.XSetErrorHandler(self._handler)
        self.display = self.x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError("cannot open display %s" % display_name)

    def read(self, window, width, height):
        img = self.x11.XGetImage(self.display, window, 0, 0, width, height, ALL_PLANES, Z_PIXMAP)
        if not img:
            return None
        try:
            im = img.contents
            if im.bits_per_pixel != 32:
                raise RuntimeError("%d bits per pixel" % im.bits_per_pixel)
            raw = ctypes.string_at(im.data, im.bytes_per_line * im.height)
            rgb = bytearray(3 * width * height)
            for y in range(height):
                row = raw[y * im.bytes_per_line:y * im.bytes_per_line + 4 * width]
                rgb[3 * width * y:3 * width * (y + 1):3] = row[2::4]
                rgb[3 * width * y + 1:3 * width * (y + 1):3] = row[1::4]
                rgb[3 * width * y + 2:3 * width * (y + 1):3] = row[0::4]
            return Image(width, height, bytes(rgb))
        finally:
            self.x11.XFree(img.contents.data)
            self.x11.XFree(img)

    def close(self):
        self.x11.XCloseDisplay(self.display)


def reference_decode(bench, path):
    out = subprocess.run([bench, "scan", path], env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                         capture_output=True, text=True, check=True).stdout
    m = re.search(r"^(lib\S+) alone\s+([0-9.]+) s", out, re.M)
    if not m:
        raise RuntimeError("no reference in:\n" + out)
    return m.group(1), float(m.group(2))


def drawn(img):
    """The drawn overview, checked on a few pixels first: the reader must not take the CPU the
    scan needs."""
    column = lambda c: [img.pixel(PB[0] + c, PB[1] + r) for r in range(PB[3])]  # noqa: E731
    if any(p != screen.START_MARK for p in column(0)):
        return False
    if any(p != screen.END_MARK for p in column(PB[2] - 1)):
        return False
    return screen.overview_drawn(img)


def start_to_overview(x, player_binary, folder, path, reader):
    """Seconds from the program's start to its first drawn overview, and to its window."""
    p = Player(x, player_binary, folder, companion_wav=path)
    try:
        began = time.monotonic()
        p.launch()
        window = wait_for(p._main_window, 15.0, 0.01)
        if not window:
            raise RuntimeError("no window")
        shown = time.monotonic()
        while time.monotonic() - began < 120.0:
            img = reader.read(window, PB[0] + PB[2], PB[1] + PB[3])
            if img is not None and drawn(img):
                return time.monotonic() - began, shown - began
            time.sleep(0.01)
        raise RuntimeError("no overview within 120 s")
    finally:
        p.stop()


def main():
    args = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    args.add_argument("file")
    args.add_argument("--player", default=os.path.join(ROOT, "build", "app", "tarvel-player"))
    args.add_argument("--bench", default=os.path.join(ROOT, "build", "bench", "tarvel-bench"))
    args.add_argument("--runs", type=int, default=3)
    opts = args.parse_args()
    path = os.path.abspath(opts.file)
    with tempfile.TemporaryDirectory(prefix="tarvel-start-") as tmp:
        lib, before = reference_decode(opts.bench, path)
        with XSession(tmp) as x:
            reader = WindowReader(x.display)
            try:
                runs = [start_to_overview(x, opts.player, os.path.join(tmp, "run%d" % i), path,
                                          reader) for i in range(opts.runs)]
            finally:
                reader.close()
        _, after = reference_decode(opts.bench, path)
    ref = (before + after) / 2
    print("file                 %s" % os.path.basename(path))
    print("%-20s %.3f s (before %.3f s, after %.3f s)" % (lib + " alone", ref, before, after))
    for i, (total, shown) in enumerate(runs):
        print("run %d                window %.3f s, overview %.3f s, overview / ref %.3f"
              % (i + 1, shown, total, total / ref))
    times = sorted(t for t, _ in runs)
    median = times[len(times) // 2]
    print("start to overview    %.3f s median of %d, ratio %.3f (goal <= 0.7)"
          % (median, len(runs), median / ref))
    print("best                 %.3f s, ratio %.3f" % (times[0], times[0] / ref))


if __name__ == "__main__":
    main()
