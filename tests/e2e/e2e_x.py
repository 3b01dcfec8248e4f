"""A private X server (Xvfb) with a light window manager, and the tools that act on it:
xdotool for the pointer and the keyboard, xwininfo/xprop for windows, ImageMagick's
`import` for screenshots."""

import os
import re
import shutil
import subprocess
import time

SCREEN = "1280x800x24"
SCREEN_SIZE = (1280, 800)
START_TIMEOUT_S = 10.0
POLL_S = 0.05


def end_process(proc):
    """Asks a process to end, kills it if it has not within 5 s, and reaps it."""
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def wait_for(condition, timeout_s, interval_s=POLL_S):
    """Polls `condition` until it returns a true value or the time is up; returns that value
    (or the last false one)."""
    deadline = time.monotonic() + timeout_s
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval_s)


class Image:
    """An RGB screenshot (or a part of one)."""

    def __init__(self, width, height, data):
        self.width = width
        self.height = height
        self.data = data  # bytes, 3 per pixel, rows top to bottom

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return (self.data[i], self.data[i + 1], self.data[i + 2])

    def crop(self, x, y, w, h):
        rows = []
        for row in range(y, y + h):
            i = 3 * (row * self.width + x)
            rows.append(self.data[i:i + 3 * w])
        return Image(w, h, b"".join(rows))

    def __eq__(self, other):
        return (isinstance(other, Image) and self.width == other.width
                and self.height == other.height and self.data == other.data)

    def save_ppm(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height))
            f.write(self.data)


def parse_ppm(blob):
    # P6 header: magic, width, height, maxval, each separated by white space (no comments from
    # ImageMagick), then one white-space byte and the raster.
    fields = []
    pos = 0
    while len(fields) < 4:
        while blob[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not blob[pos:pos + 1].isspace():
            pos += 1
        fields.append(blob[start:pos])
    pos += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("unexpected screenshot format %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    return Image(width, height, blob[pos:pos + 3 * width * height])


class XSession:
    """Xvfb on a display number it picks itself, and openbox on it. Use as a context manager."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.display = None
        self._procs = []

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self, attempts=2):
        """Starts the server and the window manager; a failed start is tried once more."""
        for attempt in range(attempts):
            try:
                self._start_once()
                return
            except RuntimeError:
                self.close()
                if attempt + 1 == attempts:
                    raise

    def _start_once(self):
        for tool in ("Xvfb", "openbox", "xdotool", "xwininfo", "xprop", "import"):
            if shutil.which(tool) is None:
                raise RuntimeError("%s is missing (scripts/install-deps installs it)" % tool)
        read_fd, write_fd = os.pipe()
        log = open(os.path.join(self.workdir, "xvfb.log"), "wb")
        # -displayfd: the server takes the first free display number and reports it.
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", SCREEN, "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=log, stderr=log)
        os.close(write_fd)
        self._procs.append(xvfb)
        number = b""
        deadline = time.monotonic() + START_TIMEOUT_S
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            raise RuntimeError("Xvfb did not start (see %s/xvfb.log)" % self.workdir)
        self.display = ":" + number.decode().strip()
        wm_log = open(os.path.join(self.workdir, "openbox.log"), "wb")
        self._procs.append(subprocess.Popen(["openbox", "--sm-disable"], env=self.env(),
                                            stdout=wm_log, stderr=wm_log))
        if not wait_for(lambda: "window id" in self.run("xprop", "-root",
                                                        "_NET_SUPPORTING_WM_CHECK"),
                        START_TIMEOUT_S):
            raise RuntimeError("the window manager did not come up")
        # The first synthetic key of a new server switches the core keyboard to the XTEST device;
        # the window manager re-reads the keymap and re-grabs its bindings on that, and a key
        # sent meanwhile goes to the focused client instead (a test's Alt+F4 was lost about one
        # start in six). A harmless key now, long before any test sends one.
        self.xdotool("key", "shift")

    def close(self):
        for proc in reversed(self._procs):
            end_process(proc)
        self._procs = []

    def env(self, extra=None):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.pop("XAUTHORITY", None)
        if extra:
            env.update(extra)
        return env

    def run(self, *args, check=False):
        result = subprocess.run(list(args), env=self.env(), capture_output=True, text=True,
                                check=check)
        return result.stdout

    # --- input -----------------------------------------------------------------------------

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env(), check=True,
                       capture_output=True)

    def move(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def drag(self, points, button=1):
        """Presses `button` at the first point, moves through the others and releases at the
        last."""
        self.move(*points[0])
        self.xdotool("mousedown", button)
        for x, y in points[1:]:
            time.sleep(0.05)
            self.move(x, y)
        time.sleep(0.05)
        self.xdotool("mouseup", button)

    def type_text(self, text):
        self.xdotool("type", "--delay", 30, text)

    def key(self, *keys):
        self.xdotool("key", *keys)

    # --- windows ---------------------------------------------------------------------------

    def find_windows(self, name_regex, pid=None):
        args = ["xdotool", "search", "--onlyvisible"]
        if pid is not None:
            args += ["--pid", str(pid)]
        args += ["--name", name_regex]
        result = subprocess.run(args, env=self.env(), capture_output=True, text=True)
        return [int(w) for w in result.stdout.split()]

    def geometry(self, window):
        """(x, y, width, height) of the window's client area on the screen."""
        info = self.run("xwininfo", "-id", str(window))
        values = {}
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            m = re.search(r"^\s*%s:\s+(-?\d+)" % re.escape(key), info, re.M)
            values[key] = int(m.group(1)) if m else None
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    def frame_extents(self, window):
        """(left, right, top, bottom) of the frame the window manager put around `window`, or
        None while it has not framed it."""
        m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)",
                      self.run("xprop", "-id", str(window), "_NET_FRAME_EXTENTS"))
        return tuple(int(v) for v in m.groups()) if m else None

    def frame_geometry(self, window):
        """(x, y, width, height) of the window with its frame, or None while unframed."""
        extents = self.frame_extents(window)
        if extents is None:
            return None
        left, right, top, bottom = extents
        x, y, w, h = self.geometry(window)
        return (x - left, y - top, w + left + right, h + top + bottom)

    def map_state(self, window):
        m = re.search(r"Map State:\s+(\w+)", self.run("xwininfo", "-id", str(window)))
        return m.group(1) if m else None

    def set_resources(self, text):
        """The X resources (as xrdb would load them) that programs started from now on read."""
        self.run("xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set",
                 "RESOURCE_MANAGER", text, check=True)

    def title(self, window):
        m = re.search(r'= "(.*)"', self.run("xprop", "-id", str(window), "_NET_WM_NAME"))
        return m.group(1) if m else None

    def net_wm_state(self, window):
        return self.run("xprop", "-id", str(window), "_NET_WM_STATE")

    def active_window(self):
        m = re.search(r"window id # (0x[0-9a-f]+)",
                      self.run("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return int(m.group(1), 16) if m else None

    # --- looking ---------------------------------------------------------------------------

    def screenshot(self, rect=None):
        """The screen, or the part (x, y, width, height) of it."""
        args = ["import", "-window", "root"]
        if rect is not None:
            args += ["-crop", "%dx%d+%d+%d" % (rect[2], rect[3], rect[0], rect[1])]
        blob = subprocess.run(args + ["-depth", "8", "ppm:-"], env=self.env(),
                              capture_output=True, check=True).stdout
        return parse_ppm(blob)
