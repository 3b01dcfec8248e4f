#!/usr/bin/env python3
"""The installed program in a private X server: it starts from its installed path, shows its
window with the title and the client size, carries the class its desktop entry names, and ends
cleanly when the window is closed.

    installed_x11.py PROGRAM SCREENSHOT ICON_PNG

SCREENSHOT: where the client area's screenshot goes (PPM). ICON_PNG: the installed 128 px icon,
which the window must carry."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from e2e_x import XSession, wait_for  # noqa: E402
from run_e2e import reexec_isolated  # noqa: E402

PROGRAM = SCREENSHOT = ICON_PNG = None
TITLE = "Tarvel Player"
CLIENT_SIZE = (890, 73)
TIMEOUT_S = 15.0


class InstalledProgram(unittest.TestCase):
    def test_window_appears_and_closes_cleanly(self):
        with tempfile.TemporaryDirectory(prefix="installed-x11-") as folder, \
                XSession(folder) as x:
            home = os.path.join(folder, "home")
            runtime = os.path.join(folder, "runtime")
            os.makedirs(home)
            os.makedirs(runtime, mode=0o700)
            with open(os.path.join(folder, "program.log"), "wb") as log:
                proc = subprocess.Popen([PROGRAM], cwd=folder, stdout=log, stderr=log,
                                        env=x.env({"QT_QPA_PLATFORM": "xcb", "HOME": home,
                                                   "XDG_RUNTIME_DIR": runtime,
                                                   "SDL_AUDIODRIVER": "dummy"}))
                try:
                    self._check(x, proc)
                finally:
                    if proc.poll() is None:
                        proc.kill()
                        proc.wait()
            with open(os.path.join(folder, "program.log"), "rb") as f:
                self.assertEqual(f.read(), b"", "the program printed something")

    def _check(self, x, proc):
        windows = wait_for(lambda: x.find_windows("^%s$" % TITLE, pid=proc.pid)
                           or proc.poll() is not None, TIMEOUT_S)
        self.assertIsNone(proc.poll(), "the program ended at start-up")
        self.assertTrue(windows, "no window titled %r" % TITLE)
        window = windows[0]
        self.assertEqual(x.title(window), TITLE)
        geo = x.geometry(window)
        print("installed x11: client area %dx%d at %d,%d" % (geo[2], geo[3], geo[0], geo[1]))
        self.assertEqual(geo[2:], CLIENT_SIZE)
        # The desktop entry's StartupWMClass; and the theme icon the program sets on its window.
        wm_class = x.run("xprop", "-id", str(window), "WM_CLASS")
        self.assertRegex(wm_class, r'= "tarvel-player", ')
        self.assertWindowIconIs(x, window, ICON_PNG)
        x.screenshot(geo).save_ppm(SCREENSHOT)
        # Closed the way a user closes it: the window manager's Alt+F4.
        x.xdotool("windowactivate", "--sync", window)
        x.key("alt+F4")
        try:
            code = proc.wait(TIMEOUT_S)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end after its window was closed")
        self.assertEqual(code, 0)


    def assertWindowIconIs(self, x, window, png, size=128):
        """The window's icon (_NET_WM_ICON, a list of width, height, ARGB pixels images) holds
        the PNG at `size`, pixel for pixel where the PNG is opaque."""
        text = x.run("xprop", "-id", str(window), "-notype", "32c", "_NET_WM_ICON")
        values = [int(v) for v in re.findall(r"\d+", text.partition("=")[2])]
        images = {}
        while len(values) >= 2:
            w, h = values[0], values[1]
            images[(w, h)] = values[2:2 + w * h]
            values = values[2 + w * h:]
        self.assertIn((size, size), images, "window icon sizes: %s" % sorted(images.keys()))
        rgba = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], capture_output=True,
                              check=True).stdout
        self.assertEqual(len(rgba), size * size * 4)
        opaque = mismatched = 0
        for i, argb in enumerate(images[(size, size)]):
            r, g, b, a = rgba[4 * i:4 * i + 4]
            if a != 255:
                continue
            opaque += 1
            got = ((argb >> 16) & 255, (argb >> 8) & 255, argb & 255)
            if max(abs(p - q) for p, q in zip(got, (r, g, b))) > 2:
                mismatched += 1
        self.assertGreater(opaque, size * size // 2)
        self.assertEqual(mismatched, 0, "the window icon is not the installed one")


def main():
    global PROGRAM, SCREENSHOT, ICON_PNG
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    reexec_isolated()
    PROGRAM, SCREENSHOT, ICON_PNG = (os.path.abspath(a) for a in sys.argv[1:4])
    sys.dont_write_bytecode = True
    result = unittest.main(argv=[sys.argv[0]], exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
