"""The real tarvel-player, started from a folder of its own inside a test X session, with SDL's
`disk` audio driver writing what it plays to a file, and driven at the window's fixed
coordinates."""

import os
import shutil
import subprocess
import time

from e2e_x import SCREEN_SIZE, end_process, wait_for

TITLE = "Tarvel Player"
DIALOG_TITLE = "音声ファイルを開く"
WINDOW_SIZE = (890, 73)
START_TIMEOUT_S = 15.0
DIALOG_TIMEOUT_S = 10.0
# The program moves its window once the window manager has framed it, for up to 3 s after it
# first shows; a little more is allowed for the move itself.
FRAME_TIMEOUT_S = 4.0

# Client-area rectangles (x, y, width, height) of the controls: the carrying panel lies 37 pixels
# above the client area, so a control at panel top t shows at t - 37.
PB = (173, 6, 712, 30)              # the overview paint box
PANEL1 = (129, 5, 757, 32)          # the overview frame (progress caption)
PANEL2 = (130, 6, 43, 30)           # the time labels' panel
LABEL4 = (132, 14, 40, 13)          # start mark time (yellow)
LABEL5 = (132, 24, 40, 13)          # end mark time (red)
PROGRESS = (257, 15, 153, 13)       # the scan progress bar
PANEL6 = (153, 39, 99, 13)          # the level meter frame
SHAPE2_ROW = 39 + 2 + 2             # a middle row of the left level bar
SHAPE4_ROW = 39 + 7 + 2             # a middle row of the right level bar
METER_LEFT = 153 + 2                # first column of both bars
PLAY_BUTTON = (381, 37, 127, 32)
STOP_BUTTON = (507, 37, 127, 32)
REPEAT_BUTTON = (633, 37, 127, 32)
LOAD_BUTTON = (759, 37, 127, 32)
SPEED_TEXT = (304, 44, 30, 18)      # the text part of the speed box (arrows at its right)
VOLUME_SLIDER = (182, 54, 69, 12)


def centre(rect):
    return (rect[0] + rect[2] // 2, rect[1] + rect[3] // 2)


class Player:
    """One copy of the program in `folder` (copied there with an optional companion WAV)."""

    def __init__(self, x, binary, folder, companion_wav=None, audio_name="out.raw",
                 extra_env=None):
        self.x = x
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.program = os.path.join(folder, "tarvel-player")
        if not os.path.exists(self.program):
            shutil.copy2(binary, self.program)
        if companion_wav is not None:
            shutil.copyfile(companion_wav, os.path.join(folder, "tarvel-player.wav"))
        self.audio_path = os.path.join(folder, audio_name)
        self.extra_env = extra_env or {}
        self.proc = None
        self.window = None
        self.origin = None

    # --- life ------------------------------------------------------------------------------

    def launch(self):
        home = os.path.join(self.folder, "home")
        runtime = os.path.join(self.folder, "runtime")
        os.makedirs(home, exist_ok=True)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = self.x.env({
            "QT_QPA_PLATFORM": "xcb",
            "SDL_AUDIODRIVER": "disk",
            "SDL_DISKAUDIOFILE": self.audio_path,
            # The file dialog keeps its history under the home folder: keep runs apart.
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_RUNTIME_DIR": runtime,
        })
        env.update(self.extra_env)
        self.log = open(os.path.join(self.folder, "program.log"), "ab")
        self.proc = subprocess.Popen([self.program], cwd=self.folder, env=env,
                                     stdout=self.log, stderr=self.log)
        return self.proc

    def start(self):
        """Launches and waits for the main window; returns the time it became visible."""
        self.launch()
        found = wait_for(lambda: self._main_window() or self.proc.poll() is not None,
                         START_TIMEOUT_S)
        if self.proc.poll() is not None:
            raise AssertionError("the program ended at start-up (exit code %s; is another copy "
                                 "running?)" % self.proc.returncode)
        if not found:
            raise AssertionError("no window titled %r appeared" % TITLE)
        shown_at = time.monotonic()
        self.window = found
        self.origin = self._placed_origin()
        return shown_at

    def _placed_origin(self):
        """The client area's corner once the program has centred its frame. The window first
        shows with its client area centred and moves a few rows once the window manager's frame
        is known; a slow start (a sanitizer build, a loaded machine) can show the first place
        for long enough that every later crop and click would miss by those rows. A window
        that is never framed, or never centred, keeps where it is: the start-up test judges
        the placement, not this."""
        wait_for(self.centred_frame, FRAME_TIMEOUT_S)
        geo = self.x.geometry(self.window)
        return (geo[0], geo[1])

    def centred_frame(self):
        """The window's frame geometry when the frame stands centred on the screen, else None."""
        frame = self.x.frame_geometry(self.window)
        want = ((SCREEN_SIZE[0] - frame[2]) // 2, (SCREEN_SIZE[1] - frame[3]) // 2) \
            if frame else None
        return frame if frame and frame[:2] == want else None

    def _main_window(self):
        windows = self.x.find_windows("^%s$" % TITLE, pid=self.proc.pid)
        return windows[0] if windows else None

    def stop(self):
        end_process(self.proc)

    def close_window(self):
        """Asks the window to close the way a user does (Alt+F4 through the window manager)."""
        self.x.xdotool("windowactivate", "--sync", self.window)
        self.x.key("alt+F4")

    # --- pointer and keys at client coordinates --------------------------------------------

    def at(self, x, y):
        return (self.origin[0] + x, self.origin[1] + y)

    def click(self, x, y, button=1):
        self.x.click(*self.at(x, y), button=button)

    def click_button(self, rect):
        self.click(*centre(rect))
        self.park_pointer()

    def park_pointer(self):
        # Off the window, so that no button shows its hover look in a screenshot.
        self.x.move(2, 2)

    def pb_point(self, column):
        return (PB[0] + column, PB[1] + PB[3] // 2)

    def click_overview(self, column, button=1):
        self.click(*self.pb_point(column), button=button)

    def drag_overview(self, columns, button=1):
        self.x.drag([self.at(*self.pb_point(c)) for c in columns], button=button)

    def type_speed(self, text):
        # A click in the box selects its whole text, so typing starts a new number.
        self.click(*centre(SPEED_TEXT))
        self.x.type_text(text)

    def volume_full(self):
        # A click beside the thumb gives the slider the focus; End moves it to 100.
        self.click(VOLUME_SLIDER[0] + VOLUME_SLIDER[2] - 3, centre(VOLUME_SLIDER)[1])
        self.x.key("End")
        self.park_pointer()

    def _dialogs(self):
        # The dialog's title carries the application name after the given one.
        return [w for w in self.x.find_windows(".", pid=self.proc.pid)
                if (self.x.title(w) or "").startswith(DIALOG_TITLE)]

    def load(self, path, attempts=3):
        """LOAD through the real file dialog: type the full path, Enter. A loaded machine can
        lose a typed key; the dialog then stays open and the path is typed again."""
        self.click_button(LOAD_BUTTON)
        dialog = wait_for(self._dialogs, DIALOG_TIMEOUT_S)
        if not dialog:
            raise AssertionError("the file dialog did not open")
        for _ in range(attempts):
            self.x.xdotool("windowactivate", "--sync", dialog[0])
            time.sleep(0.2)
            self.x.key("ctrl+a")
            self.x.type_text(path)
            time.sleep(0.2)
            self.x.key("Return")
            if wait_for(lambda: not self._dialogs(), 2.0):
                return
            dialog = self._dialogs() or dialog
        raise AssertionError("the file dialog did not accept %s" % path)

    # --- looking ---------------------------------------------------------------------------

    def screenshot(self):
        """The client area of the window, cut out of a screenshot of the whole screen."""
        return self.x.screenshot((self.origin[0], self.origin[1]) + WINDOW_SIZE)
