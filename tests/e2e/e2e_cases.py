"""The end-to-end cases: each starts the real program in its own X session and checks what a
user sees and hears."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import e2e_audio as audio
import e2e_media as media
import e2e_pulse as pulse
import e2e_screen as screen
from e2e_program import PB, PLAY_BUTTON, REPEAT_BUTTON, SPEED_TEXT, STOP_BUTTON, WINDOW_SIZE
from e2e_program import Player, TITLE
from e2e_x import SCREEN_SIZE, XSession, wait_for

OVERVIEW_WAIT_S = 15.0
SHOT_WAIT_S = 3.0
# Columns left out at the edges of a tone interval in an envelope check: the scan stores each
# column's average one index to the right, and encoders smear an edge by a few milliseconds.
EDGE_COLUMNS = 3


def column_of(seconds, bpp):
    return int(seconds * media.RATE * media.FRAME_BYTES / bpp)


def envelope_mismatch(columns, seconds, on_intervals, bpp, last_column=PB[2] - 2):
    """Compares the overview's envelope columns with a source whose tone lies in `on_intervals`:
    returns a description of the first column that is wrong, or None."""
    on = [(column_of(a, bpp), column_of(b, bpp)) for a, b in on_intervals]
    end = min(column_of(seconds, bpp), last_column)
    for a, b in on:
        for c in range(a + EDGE_COLUMNS, min(b - EDGE_COLUMNS + 1, end)):
            if c not in columns:
                return "no envelope in column %d (tone %d..%d)" % (c, a, b)
    edges = [0] + [x for ab in on for x in ab] + [end]
    for i in range(0, len(edges), 2):
        lo, hi = edges[i], edges[i + 1]
        for c in range(max(lo + EDGE_COLUMNS + 1, 1), hi - EDGE_COLUMNS):
            if c in columns:
                return "envelope in silent column %d (silence %d..%d)" % (c, lo, hi)
    return None


class E2ECase(unittest.TestCase):
    """An X session and a scratch folder per test; programs started here are stopped at the
    end. A failed test keeps its folder (logs, screenshots, recorded audio)."""

    def setUp(self):
        base = os.environ.get("TARVEL_TEST_TMP") or tempfile.gettempdir()
        os.makedirs(base, exist_ok=True)
        self.folder = tempfile.mkdtemp(prefix="e2e-%s-" % type(self).__name__, dir=base)
        self.binary = os.environ.get("TARVEL_PLAYER")
        if not self.binary or not os.path.exists(self.binary):
            self.fail("TARVEL_PLAYER does not name the built program")
        self.media_tool = os.environ.get("TARVEL_E2E_MEDIA")
        self.players = []
        self.x = XSession(self.folder)
        self.x.start()

    def tearDown(self):
        failed = self._failed()
        if failed and self.x.display:
            try:
                self.x.screenshot().save_ppm(os.path.join(self.folder, "final-screen.ppm"))
            except Exception:  # noqa: BLE001 - the screenshot is only a help for the reader
                pass
        for p in self.players:
            p.stop()
        self.x.close()
        if failed:
            print("\nkept for inspection: %s" % self.folder)
        else:
            shutil.rmtree(self.folder, ignore_errors=True)

    def _failed(self):
        result = getattr(getattr(self, "_outcome", None), "result", None)
        if result is None:
            return True
        return any(test is self or getattr(test, "test_case", None) is self
                   for test, _ in result.failures + result.errors)

    def path(self, name):
        return os.path.join(self.folder, name)

    def player(self, companion=None, name="app", extra_env=None, audio_name="out.raw"):
        p = Player(self.x, self.binary, self.path(name), companion_wav=companion,
                   audio_name=audio_name, extra_env=extra_env)
        self.players.append(p)
        return p

    def settled_change(self, player, box, before):
        """The first shot in which `box` differs from `before` and looks the same as in the shot
        just before it: a shot taken mid-repaint is never kept as the new look."""
        previous = [None]

        def changed(shot):
            crop = shot.crop(*box)
            settled = crop != before.crop(*box) and crop == previous[0]
            previous[0] = crop
            return settled

        return self.wait_shot(player, changed)

    def wait_shot(self, player, condition, timeout_s=SHOT_WAIT_S, describe=None):
        """Takes screenshots until `condition(shot)` holds; returns that shot or fails, saying
        what `describe(last shot)` finds wrong."""
        last = []

        def check():
            shot = player.screenshot()
            last[:] = [shot]
            return shot if condition(shot) else None

        shot = wait_for(check, timeout_s, 0.02)
        if not shot:
            if last:
                last[0].save_ppm(self.path("timeout-%d.ppm" % int(time.monotonic() * 1000)))
            detail = describe(last[0]) if describe and last else None
            self.fail("the window did not show the expected state within %.1f s%s"
                      % (timeout_s, ": %s" % detail if detail else ""))
        return shot

    def wait_overview(self, player, on_intervals, seconds, timeout_s=OVERVIEW_WAIT_S):
        """Waits until the overview shows the envelope of a source with these tone intervals."""
        bpp = media.bytes_per_pixel(int(seconds * media.RATE) * media.FRAME_BYTES)
        def mismatch(shot):
            if not screen.overview_drawn(shot):
                return "no overview with envelope, start mark and end mark"
            return envelope_mismatch(screen.envelope_columns(shot), seconds, on_intervals, bpp)

        return self.wait_shot(player, lambda s: mismatch(s) is None, timeout_s, mismatch)


class StartUp(E2ECase):
    SECONDS = 20.0
    TONES = [(2.0, 6.0), (10.0, 16.0)]

    def test_companion_wav_is_loaded_shown_and_silent(self):
        wav = media.write_wav(self.path("companion.wav"),
                              media.segments_pcm(self.SECONDS, self.TONES))
        p = self.player(companion=wav)
        shown_at = p.start()

        # The time of a sighting is when its screenshot began.
        shot, drawn_after = None, None
        while time.monotonic() - shown_at < 5.0:
            began = time.monotonic()
            s = p.screenshot()
            if screen.overview_drawn(s):
                shot, drawn_after = s, began - shown_at
                break
        self.assertTrue(shot, "the overview was not drawn after start-up")
        print("overview seen %.2f s after the window showed" % drawn_after)
        self.assertLessEqual(drawn_after, 1.0,
                             "the overview took %.2f s after the window showed" % drawn_after)

        geo = self.x.geometry(p.window)
        self.assertEqual(geo[2:], WINDOW_SIZE)
        self.assertEqual(self.x.title(p.window), TITLE)
        # Centred with its frame, once the window manager has framed it.
        self.assertTrue(wait_for(p.centred_frame, 3.0),
                        "the frame %s is not centred on the %dx%d screen"
                        % ((self.x.frame_geometry(p.window),) + SCREEN_SIZE))

        bpp = media.bytes_per_pixel(int(self.SECONDS * media.RATE) * media.FRAME_BYTES)
        self.assertEqual(screen.mark_columns(shot, screen.START_MARK), [0])
        self.assertEqual(screen.mark_columns(shot, screen.END_MARK), [PB[2] - 1])
        self.assertIsNone(envelope_mismatch(screen.envelope_columns(shot), self.SECONDS,
                                            self.TONES, bpp))
        self.assertGreater(screen.mask_text(screen.start_label(shot)), 0)
        self.assertGreater(screen.mask_text(screen.end_label(shot)), 0)

        # Nothing plays: the device runs and writes silence only.
        rec = audio.Recording(p.audio_path)
        self.assertTrue(rec.wait_frames(media.RATE * 3 // 2, 10.0), "no audio device output")
        self.assertTrue(audio.is_silent(rec.read()), "sound at start-up")



class ScreenScaling(E2ECase):
    """The layout is in device pixels: a doubled screen resolution and Qt's scale settings in
    the environment leave every pixel of the window as it is at 96 dpi."""
    SECONDS = 20.0
    TONES = [(2.0, 6.0), (10.0, 16.0)]
    SCALED_ENV = {"QT_SCALE_FACTOR": "2", "QT_SCREEN_SCALE_FACTORS": "2", "QT_FONT_DPI": "192",
                  "QT_ENABLE_HIGHDPI_SCALING": "1", "QT_AUTO_SCREEN_SCALE_FACTOR": "1"}

    def idle_look(self, name, env):
        wav = media.write_wav(self.path("companion.wav"),
                              media.segments_pcm(self.SECONDS, self.TONES))
        p = self.player(companion=wav, name=name, extra_env=env)
        p.start()
        self.assertEqual(self.x.geometry(p.window)[2:], WINDOW_SIZE, name)
        self.wait_overview(p, self.TONES, self.SECONDS)
        time.sleep(0.5)  # a few idle ticks: the same picture each time
        shot = p.screenshot()
        p.stop()
        return shot

    def test_doubled_resolution_and_scale_factors_change_nothing(self):
        self.x.move(2, 2)  # off the window: no hover look, no hint
        plain = self.idle_look("plain", {})
        self.x.set_resources("Xft.dpi:\t192\n")
        scaled = self.idle_look("scaled", self.SCALED_ENV)
        # The speed box's text caret blinks: its columns are left out.
        caret = range(SPEED_TEXT[0], SPEED_TEXT[0] + SPEED_TEXT[2])
        differing = [(x, y) for y in range(WINDOW_SIZE[1]) for x in range(WINDOW_SIZE[0])
                     if x not in caret and plain.pixel(x, y) != scaled.pixel(x, y)]
        if differing:
            plain.save_ppm(self.path("plain.ppm"))
            scaled.save_ppm(self.path("scaled.ppm"))
        self.assertEqual(differing[:10], [], "%d pixels differ at 192 dpi" % len(differing))


def trimmed(mask, width):
    """A label's glyph mask cut to the box around its text: rows of booleans."""
    rows = [mask[i:i + width] for i in range(0, len(mask), width)]
    rows = [r for r in rows if any(r)]
    if not rows:
        return ()
    first = min(r.index(True) for r in rows)
    last = max(len(r) - 1 - r[::-1].index(True) for r in rows)
    return tuple(tuple(r[first:last + 1]) for r in rows)


def start_text(shot):
    return trimmed(screen.start_label(shot), screen.LABEL4[2])


def end_text(shot):
    return trimmed(screen.end_label(shot), screen.LABEL5[2])


class TimeLabels(E2ECase):
    """The labels show times in the same "%7.2f" form, so the same time must give the same
    glyphs in the yellow start label and the red end label."""

    def test_labels_show_zero_and_the_length(self):
        a = media.write_wav(self.path("twenty.wav"), media.segments_pcm(20.0, [(1.0, 19.0)]))
        tiny = media.write_wav(self.path("tiny.wav"), media.segments_pcm(0.003, [(0.0, 0.003)]))
        forty = media.write_wav(self.path("forty.wav"), media.segments_pcm(40.0, [(1.0, 39.0)]))
        p = self.player(companion=a)
        p.start()
        shot = self.wait_overview(p, [(1.0, 19.0)], 20.0)
        zero = start_text(shot)             # "0.00" at start-up
        twenty = end_text(shot)             # "20.00", the length
        self.assertTrue(zero and twenty)
        self.assertNotEqual(zero, twenty)

        # A source of 0.003 s: its length reads "0.00" like the start.
        # A screenshot can catch the label between its clearing and its new text, so wait for
        # the expected glyphs rather than for any change.
        p.load(tiny)
        self.wait_shot(p, lambda s: end_text(s) == zero, OVERVIEW_WAIT_S,
                       describe=lambda s: "the end label of a 0.003 s source is not 0.00")

        # 40 s: 9910 bytes per column, so column 356 is 3527960 bytes = 19.99977 s: "20.00".
        p.load(forty)
        self.wait_overview(p, [(1.0, 39.0)], 40.0)
        p.click_overview(356)
        p.park_pointer()
        shot = self.wait_shot(p, lambda s: screen.mark_columns(s, screen.START_MARK) == [356])
        self.assertEqual(start_text(shot), twenty, "the start label at 20.00 s differs from the "
                         "end label that showed the 20.00 s length")

        # A right click left of the start: the end goes there and the start back to 0.
        p.click_overview(178, button=3)
        p.park_pointer()
        shot = self.wait_shot(p, lambda s: screen.mark_columns(s, screen.END_MARK) == [178])
        self.assertEqual(screen.mark_columns(shot, screen.START_MARK), [0])
        self.assertEqual(start_text(shot), zero)


class LongRecording(E2ECase):
    """A recording of more than 4 GiB of PCM (8 h 10 min 40 s of 44.1 kHz stereo MP3) shows its
    whole length and marks beyond 4 GiB. The reference is a WAV of the same length at 8 kHz
    mono, far below 4 GiB: the same times must give the same glyphs."""
    SECONDS = 29440.0
    MPEG_FRAMES = 1127000        # x 1152 samples = 29440 s at 44.1 kHz
    COLUMN = 700                 # 700 columns of the long source lie beyond 4 GiB
    SCAN_WAIT_S = 150.0          # the scan decodes all eight hours

    def marks_at(self, start, end):
        return lambda s: (screen.mark_columns(s, screen.START_MARK) == [start]
                          and screen.mark_columns(s, screen.END_MARK) == [end])

    def test_length_and_marks_beyond_four_gib_read_as_on_a_short_source(self):
        self.assertTrue(self.media_tool, "TARVEL_E2E_MEDIA does not name the media writer")
        reference = media.sparse_silent_wav(self.path("reference.wav"), self.SECONDS,
                                            rate=8000, channels=1)
        long_mp3 = media.long_mp3(self.media_tool, self.path("long.mp3"), self.MPEG_FRAMES)
        last = PB[2] - 1
        p = self.player(companion=reference)
        p.start()
        shot = self.wait_shot(p, self.marks_at(0, last), OVERVIEW_WAIT_S)
        length_text = end_text(shot)
        p.click_overview(self.COLUMN)
        p.park_pointer()
        mark_text = start_text(self.wait_shot(p, self.marks_at(self.COLUMN, last)))
        self.assertTrue(length_text and mark_text)

        p.load(long_mp3)
        self.wait_shot(p, screen.progress_shown, OVERVIEW_WAIT_S)
        shot = self.wait_shot(p, lambda s: not screen.progress_shown(s)
                              and self.marks_at(0, last)(s), self.SCAN_WAIT_S)
        self.assertTrue(screen.envelope_columns(shot), "no envelope for the tone")
        self.assertEqual(end_text(shot), length_text, "the end label does not read 29440.00")
        p.click_overview(self.COLUMN)
        p.park_pointer()
        shot = self.wait_shot(p, self.marks_at(self.COLUMN, last))
        self.assertEqual(start_text(shot), mark_text,
                         "the start label at column %d differs from the reference" % self.COLUMN)


class LoadFormats(E2ECase):
    """LOAD through the file dialog, one source of each kind; each must give its own overview."""

    SECONDS = 20.0
    SIGNATURES = {
        "wav": [(1.0, 5.0), (9.0, 13.0)],
        "aif": [(2.0, 8.0)],
        "mp3": [(0.5, 3.0), (12.0, 18.0)],
        "mp2": [(4.0, 10.0), (15.0, 17.0)],
        "mp1": [(6.0, 14.0)],
    }
    MOD_PATTERNS, MOD_ROWS = 4, 16   # 64 rows of 0.12 s: 7.68 s

    def make_media(self):
        files = {}
        for kind, tones in self.SIGNATURES.items():
            pcm = media.segments_pcm(self.SECONDS, tones)
            wav = media.write_wav(self.path("src-%s.wav" % kind), pcm)
            if kind == "wav":
                files[kind] = wav
            elif kind == "aif":
                files[kind] = media.to_aiff(wav, self.path("source.aif"))
            elif kind == "mp3":
                files[kind] = media.to_mp3(wav, self.path("source.mp3"))
            elif kind == "mp2":
                files[kind] = media.to_mp2(wav, self.path("source.mp2"))
            elif kind == "mp1":
                files[kind] = media.mp1(self.media_tool, self.path("source.mp1"), self.SECONDS,
                                        tones)
        files["mod"] = media.module(self.media_tool, self.path("source.mod"),
                                    self.MOD_PATTERNS, self.MOD_ROWS)
        return files

    def test_every_kind_of_source_gives_its_overview(self):
        self.assertTrue(self.media_tool, "TARVEL_E2E_MEDIA does not name the media writer")
        files = self.make_media()
        p = self.player()
        p.start()
        for kind in ("wav", "aif", "mp3", "mp2", "mp1", "mod"):
            with self.subTest(kind=kind):
                p.load(files[kind])
                if kind == "mod":
                    self.check_module(p)
                else:
                    self.wait_overview(p, self.SIGNATURES[kind], self.SECONDS)

    def check_module(self, p):
        # The rows' playing time, then the last notes ringing on for a moment (under 0.5 s).
        seconds = self.MOD_PATTERNS * self.MOD_ROWS * 0.12
        first = column_of(seconds, media.MIN_BYTES_PER_PIXEL)
        last = column_of(seconds + 0.5, media.MIN_BYTES_PER_PIXEL)

        def end_marks(s):
            return [c for c in screen.mark_columns(s, screen.END_MARK) if first <= c <= last]

        shot = self.wait_shot(p, lambda s: end_marks(s) and screen.overview_drawn(s),
                              OVERVIEW_WAIT_S)
        end = end_marks(shot)[0]
        columns = screen.envelope_columns(shot)
        self.assertTrue(columns and max(columns) <= end + 1,
                        "module envelope beyond its end mark: %s" % sorted(columns)[-3:])
        self.assertGreater(len(columns), end // 4, "module envelope is nearly empty")


class CdTrack(E2ECase):
    """A ".cda" stub of a track on a BIN/CUE image (handed to the program by a preloaded shim,
    since the program reads real drives only): the overview of the track, and what plays from
    the in-memory copy that replaces the CD stream after the scan."""

    SECONDS = 20.0
    TONES = [(3.0, 6.0), (11.0, 19.0)]

    def test_cd_track_gives_its_overview_and_plays_to_the_end_of_its_tone(self):
        shim = os.environ.get("TARVEL_E2E_CD_SHIM")
        if not shim or not self.media_tool:
            self.skipTest("needs TARVEL_E2E_CD_SHIM and TARVEL_E2E_MEDIA")
        disc_dir = self.path("disc")
        os.makedirs(disc_dir)
        cue, stub = media.disc(self.media_tool, disc_dir,
                               media.segments_pcm(self.SECONDS, self.TONES))
        p = self.player(extra_env={"LD_PRELOAD": shim, "TARVEL_E2E_CD_IMAGE": cue})
        p.start()
        p.load(stub)
        bpp = media.bytes_per_pixel(int(self.SECONDS * media.RATE) * media.FRAME_BYTES)
        shot = self.wait_shot(p, lambda s: screen.overview_drawn(s)
                              and not screen.progress_shown(s), OVERVIEW_WAIT_S)
        # Single play from column 650 (18.26 s): the tone must sound until 19.00 s.
        p.click_button(REPEAT_BUTTON)
        p.click_overview(650)
        p.volume_full()
        rec = audio.Recording(p.audio_path)
        begin = rec.frames_written()
        p.click_button(PLAY_BUTTON)
        rec.wait_frames(begin + int(2.5 * media.RATE), 10.0)
        samples = rec.read(begin)
        first, last = audio.first_sound(samples), audio.last_sound(samples)
        self.assertIsNotNone(first, "nothing played from the CD track")
        heard = (last - first + 1) / media.RATE
        expected = self.TONES[-1][1] - 650 * bpp / (media.RATE * media.FRAME_BYTES)
        self.assertIsNone(envelope_mismatch(screen.envelope_columns(shot), self.SECONDS,
                                            self.TONES, bpp), "overview of the CD track")
        self.assertAlmostEqual(heard, expected, delta=0.03,
                               msg="the tone from 18.26 s lasted %.3f s, not %.3f s"
                               % (heard, expected))


class ScanProgress(E2ECase):
    LONG_S = 3600.0

    def test_progress_text_and_bar_show_while_a_long_file_is_scanned(self):
        long_wav = media.sparse_silent_wav(self.path("long.wav"), self.LONG_S)
        p = self.player()
        p.start()
        p.load(long_wav)
        first = self.wait_shot(p, screen.progress_shown, 5.0)
        later = self.wait_shot(
            p, lambda s: screen.progress_shown(s)
            and screen.progress_fill(s) > screen.progress_fill(first) + 2, 20.0)
        self.assertNotEqual(first.crop(*screen.PANEL1), later.crop(*screen.PANEL1),
                            "the progress caption did not change")
        # At the end the overview comes back (a silent file: the marks and the band).
        done = self.wait_shot(p, lambda s: not screen.progress_shown(s), 60.0)
        self.wait_shot(p, lambda s: screen.mark_columns(s, screen.START_MARK) == [0]
                       and screen.mark_columns(s, screen.END_MARK) == [PB[2] - 1], 5.0)
        self.assertEqual(screen.caption_pixels(done), 0)


# Playback fades in at a start and crossfades at a loop seam over a few milliseconds: the frames
# within this many of such a moment are blends, not single source frames.
FADE_FRAMES = media.RATE // 100
# A sound's end (single play at its end mark) fades out over its last 5 ms.
END_FADE_FRAMES = media.RATE // 200 + 1


def pass_origin(samples, first, start):
    """Frame index at which the pass that sounds from `first` began: the fade-in's very first
    frames may be silent, so it is read off a frame past the fade."""
    probe = first + FADE_FRAMES
    got = media.ramp_frame(samples[2 * probe], samples[2 * probe + 1])
    if got is None:
        return first
    return probe - ((got - start) % 0x10000)


def pass_mismatches(samples, first, start, length, frames):
    """Frames of the `frames` from the pass that sounds at `first` that are not the ramp frame
    start + (k mod length), leaving out the fades: the start's fade-in and each seam's
    crossfade."""
    origin = pass_origin(samples, first, start)
    bad = []
    for k in range(FADE_FRAMES, frames):
        if k % length < FADE_FRAMES:
            continue
        i = origin + k
        got = media.ramp_frame(samples[2 * i], samples[2 * i + 1])
        if got != (start + k % length) % 0x10000:
            bad.append(k)
            if len(bad) > 5:
                break
    return bad


class LoopPlayback(E2ECase):
    """Marks set with the mouse; what plays is the marked stretch, frame for frame."""

    SECONDS = 20.0        # 4955 bytes per column: an odd count, so marks fall between frames

    def test_marked_stretch_repeats_then_single_play_stops_at_the_end_mark(self):
        p = self.player(companion=media.write_wav(self.path("ramp.wav"),
                                                  media.ramp_pcm(self.SECONDS)))
        p.start()
        self.wait_shot(p, screen.overview_drawn, OVERVIEW_WAIT_S)
        bpp = media.bytes_per_pixel(int(self.SECONDS * media.RATE) * media.FRAME_BYTES)

        p.click_overview(160, button=3)       # end
        p.click_overview(60)                  # start
        p.drag_overview([60, 70, 80, 101])    # the start follows the pointer
        p.drag_overview([160, 150, 141], button=3)
        p.park_pointer()
        self.wait_shot(p, lambda s: screen.mark_columns(s, screen.START_MARK) == [101]
                       and screen.mark_columns(s, screen.END_MARK) == [141])
        start = 101 * bpp // media.FRAME_BYTES
        end = 141 * bpp // media.FRAME_BYTES
        length = end - start
        p.volume_full()                       # unity gain: the output is the source itself
        idle = p.screenshot()

        # Repeat play: three passes and more, each the marked stretch.
        rec = audio.Recording(p.audio_path)
        begin = rec.frames_written()
        p.click_button(PLAY_BUTTON)
        playing = self.settled_change(p, PLAY_BUTTON, idle)
        self.assertTrue(rec.wait_frames(begin + int(3.6 * length) + media.RATE, 20.0))
        p.click_button(STOP_BUTTON)
        time.sleep(0.3)
        samples = rec.read(begin)
        first = audio.first_sound(samples)
        self.assertIsNotNone(first, "PLAY gave no sound")
        last = audio.last_sound(samples)
        self.assertGreaterEqual(last - first + 1, 3 * length, "fewer than three passes")
        # The last frames are the fade-out of the STOP.
        bad = pass_mismatches(samples, first, start, length, last - first + 1 - FADE_FRAMES)
        self.assertEqual(bad, [], "repeat play left the marked stretch %d..%d" % (start, end))

        # Single play: one pass, then silence, and the button is idle again.
        before = p.screenshot()
        p.click_button(REPEAT_BUTTON)
        single = self.settled_change(p, REPEAT_BUTTON, before)
        begin = rec.frames_written()
        p.click_button(PLAY_BUTTON)
        self.wait_shot(p, lambda s: s.crop(*PLAY_BUTTON) == playing.crop(*PLAY_BUTTON))
        self.wait_shot(p, lambda s: s.crop(*PLAY_BUTTON) == idle.crop(*PLAY_BUTTON),
                       length / media.RATE + 3.0)
        rec.wait_frames(rec.frames_written() + media.RATE // 2, 5.0)
        samples = rec.read(begin)
        first = audio.first_sound(samples)
        self.assertIsNotNone(first, "single play gave no sound")
        self.assertEqual(pass_mismatches(samples, first, start, length,
                                         length - END_FADE_FRAMES), [])
        self.assertTrue(audio.is_silent(samples[2 * (pass_origin(samples, first, start) + length):]),
                        "sound after the end mark in single play")
        self.assertEqual(single.crop(*REPEAT_BUTTON), p.screenshot().crop(*REPEAT_BUTTON))


class SpeedChange(E2ECase):
    """A one-second region with one tone burst: the time between bursts is the pass."""

    def test_typed_speed_changes_the_duration_of_a_pass_not_the_pitch(self):
        p = self.player(companion=media.write_wav(self.path("bursts.wav"),
                                                  media.bursts_pcm(10.0, 1.0, 0.1)))
        p.start()
        self.wait_shot(p, screen.overview_drawn, OVERVIEW_WAIT_S)
        p.click_overview(50, button=3)    # 50 x 3528 bytes: the end at 1.00 s
        p.park_pointer()
        self.wait_shot(p, lambda s: screen.mark_columns(s, screen.END_MARK) == [50])
        rec = audio.Recording(p.audio_path)
        begin = rec.frames_written()
        p.click_button(PLAY_BUTTON)
        marks = {}
        for speed, seconds in (("100", 3.5), ("200", 2.6), ("50", 7.0)):
            if speed != "100":
                p.type_speed(speed)
                p.park_pointer()
            marks[speed] = rec.frames_written() - begin
            rec.wait_frames(rec.frames_written() + int(seconds * media.RATE), seconds + 10.0)
        p.click_button(STOP_BUTTON)
        samples = rec.read(begin)
        found = audio.onsets(samples)
        settle = media.RATE   # the output device runs ahead of the typed change by a little
        groups = {
            "100": (marks["100"], marks["200"]),
            "200": (marks["200"] + settle, marks["50"]),
            "50": (marks["50"] + settle, len(samples) // 2),
        }
        for speed, (lo, hi) in groups.items():
            with self.subTest(speed=speed):
                inside = [f for f in found if lo <= f < hi]
                gaps = [b - a for a, b in zip(inside, inside[1:])]
                self.assertGreaterEqual(len(gaps), 1, "too few passes at %s %%: %s"
                                        % (speed, inside))
                expected = media.RATE * 100.0 / int(speed)
                for gap in gaps:
                    self.assertAlmostEqual(gap / expected, 1.0, delta=0.03,
                                           msg="a pass at %s %% lasted %d frames, not %d"
                                           % (speed, gap, expected))
                # The burst keeps its pitch (441 Hz) at any speed.
                burst = int(0.1 * media.RATE * 100.0 / int(speed))
                hz = audio.zero_crossing_hz(samples, inside[0] + burst // 4, burst // 2)
                self.assertAlmostEqual(hz / 441.0, 1.0, delta=0.05,
                                       msg="pitch %.0f Hz at %s %%" % (hz, speed))


class LevelMeter(E2ECase):
    """A tone on the left channel only, at the start-up volume 50."""

    # Level 16000 of 32768 at volume 50: 50 x 16000 div 32768 = 24 %, 96 x 24 div 100 = 23 px.
    EXPECTED_LEFT = 96 * (50 * media.TONE_AMPLITUDE // 32768) // 100

    def test_left_bar_follows_playback_and_falls_to_nothing_after_stop(self):
        p = self.player(companion=media.write_wav(
            self.path("left.wav"), media.segments_pcm(10.0, [(0.0, 10.0)], right=False)))
        p.start()
        shot = self.wait_shot(p, screen.overview_drawn, OVERVIEW_WAIT_S)
        self.assertEqual(screen.meter_widths(shot), (0, 0))
        p.click_button(PLAY_BUTTON)
        self.wait_shot(p, lambda s: screen.meter_widths(s)[0] > 0)
        widths = [screen.meter_widths(p.screenshot()) for _ in range(4)]
        for left, right in widths:
            self.assertEqual(left, self.EXPECTED_LEFT)
            self.assertEqual(right, 0, "the right bar moved for a left-only source")
        p.click_button(STOP_BUTTON)
        stopped = time.monotonic()
        self.wait_shot(p, lambda s: screen.meter_widths(s) == (0, 0), 2.0)
        self.assertLess(time.monotonic() - stopped, 1.5)


class SecondStart(E2ECase):
    def test_second_start_raises_the_first_window_and_ends(self):
        wav = media.write_wav(self.path("short.wav"), media.segments_pcm(2.0, [(0.5, 1.5)]))
        first = self.player(companion=wav)
        first.start()
        self.x.xdotool("windowminimize", "--sync", first.window)
        self.assertTrue(wait_for(lambda: self.x.map_state(first.window) != "IsViewable", 5.0),
                        "the window manager did not minimise the window")
        second = self.player(name="app", audio_name="second.raw")
        second.launch()
        try:
            code = second.proc.wait(10)
        except Exception:  # noqa: BLE001 - reported as the failure below
            code = None
        self.assertEqual(code, 0, "the second copy did not end with code 0")
        self.assertTrue(wait_for(lambda: self.x.map_state(first.window) == "IsViewable", 5.0),
                        "the first window was not restored")
        self.assertTrue(wait_for(lambda: self.x.active_window() == first.window, 5.0),
                        "the first window is not the active one")
        self.assertIsNone(first.proc.poll(), "the first copy ended")
        self.assertEqual(self.x.find_windows("^%s$" % TITLE), [first.window],
                         "more than the first window on the screen")


class CloseDuringScan(E2ECase):
    LONG_S = 3600.0

    def test_closing_during_a_long_scan_ends_the_program_within_a_second(self):
        long_wav = media.sparse_silent_wav(self.path("long.wav"), self.LONG_S)
        p = self.player()
        p.start()
        p.load(long_wav)
        self.wait_shot(p, screen.progress_shown, 5.0)
        p.close_window()
        asked = time.monotonic()
        try:
            code = p.proc.wait(10)
        except Exception:  # noqa: BLE001 - reported as the failure below
            code = None
        took = time.monotonic() - asked
        self.assertEqual(code, 0, "the program did not end normally")
        self.assertLessEqual(took, 1.0, "the program took %.2f s to end" % took)



class PulsePlayback(E2ECase):
    """What a desktop user hears: the real player on a real sound server (a private PulseAudio
    with a null sink, through SDL's pulseaudio driver), recorded from the sink's monitor. A
    441 Hz sine is played straight and as a marked loop at 50, 100 and 400 %; every recorded
    pass must be one unbroken sine. Subclasses add what makes playback hard: reads of the file
    that stall now and then, or a machine whose cores are all busy."""

    SECONDS = 30.0       # 7432 bytes (1858 frames) per overview column
    FREQ = 441.0
    LOOP_COLUMNS = (100, 150)  # 50 columns: 92900 frames, whole periods of the tone
    SPEEDS = ("50", "100", "400")
    LISTEN_S = 3.0
    SKIP_S = 0.15        # the stretcher's start
    STALL = None         # (stall ms, every ms)
    HOG = False
    DOWNSTREAM_RETRIES = 2

    def setUp(self):
        super().setUp()
        if not pulse.available():
            self.skipTest("needs pulseaudio, pactl and parec")
        self.server = pulse.PulseServer(self.folder)
        self.server.start()
        self.hog = None
        self.recorder = None
        self.log_seen = 0  # how much of the player's log output_log has read

    def tearDown(self):
        if self.hog is not None and self.hog.poll() is None:
            self.hog.terminate()
            self.hog.wait()
        if self.recorder is not None:
            self.recorder.stop()
        for p in self.players:
            p.stop()
        self.server.stop()
        super().tearDown()

    def start_player(self):
        wav = media.write_wav(self.path("sine.wav"),
                              media.segments_pcm(self.SECONDS, [(0.0, self.SECONDS)]))
        env = self.server.env()
        # The player says on its standard error when its output fell short, and why: a break
        # in the recording is then told apart from the sound server or the machine.
        env["TARVEL_OUTPUT_LOG"] = "1"
        if self.STALL:
            shim = os.environ.get("TARVEL_E2E_STALL_SHIM")
            if not shim:
                self.skipTest("needs TARVEL_E2E_STALL_SHIM")
            env.update({"LD_PRELOAD": shim, "TARVEL_STALL_PATH": "tarvel-player.wav",
                        "TARVEL_STALL_MS": str(self.STALL[0]),
                        "TARVEL_STALL_EVERY_MS": str(self.STALL[1])})
        p = self.player(companion=wav, extra_env=env)
        p.start()
        self.wait_shot(p, screen.overview_drawn, OVERVIEW_WAIT_S)
        return p

    def output_log(self, p):
        """The player's output lines since the last call."""
        path = os.path.join(p.folder, "program.log")
        try:
            with open(path, "rb") as f:
                f.seek(self.log_seen)
                text = f.read()
                self.log_seen = f.tell()
        except OSError:
            return []
        return [l for l in text.decode(errors="replace").splitlines() if "output:" in l]

    def listen(self, p, speed):
        """Plays at `speed` from the start mark for LISTEN_S and stops; returns the breaks, the
        problem if any, and whether the player's own rings ran short."""
        rec = self.recorder
        p.type_speed(speed)
        p.park_pointer()
        begin = rec.frames_written()
        p.click_button(PLAY_BUTTON)
        if not wait_for(lambda: pulse.sounding_span(rec.read(begin)), 5.0, 0.05):
            p.click_button(STOP_BUTTON)
            return -1, "no sound", False
        first = begin + pulse.sounding_span(rec.read(begin))[0]
        want = first + int((self.LISTEN_S + self.SKIP_S) * media.RATE)
        rec.wait_frames(want + media.RATE // 10, self.LISTEN_S + 10.0)
        p.click_button(STOP_BUTTON)
        samples = rec.read(0, want)
        count, worst, where = pulse.sine_breaks(samples, self.FREQ,
                                                first + int(self.SKIP_S * media.RATE), want)
        print("%s %% from frame %d: %d breaks, worst residual %.5f" % (speed, first, count, worst))
        log = self.output_log(p)
        for line in log:
            print("  player: " + line)
        short = len([line for line in log if "ring short" in line])
        if short:
            return count, "the player's rings ran short (%d breaks)" % count, True
        if count == 0:
            return 0, None, False
        return count, "%d breaks (at %s, worst %.3f)" % (count, where, worst), False

    def test_a_sine_plays_without_a_break(self):
        if self.HOG:
            if not shutil.which("stress-ng"):
                self.skipTest("needs stress-ng")
            self.hog = subprocess.Popen(["stress-ng", "--cpu", "8", "--timeout", "170s", "-q"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        p = self.start_player()
        self.recorder = self.server.record(self.path("monitor.raw"))
        problems = []
        for mode in ("straight", "loop"):
            if mode == "loop":
                p.click_overview(self.LOOP_COLUMNS[1], button=3)
                p.click_overview(self.LOOP_COLUMNS[0])
                p.park_pointer()
                self.wait_shot(p, lambda s: screen.mark_columns(s, screen.START_MARK)
                               == [self.LOOP_COLUMNS[0]]
                               and screen.mark_columns(s, screen.END_MARK)
                               == [self.LOOP_COLUMNS[1]])
            for speed in self.SPEEDS:
                what = "%s at %s %%" % (mode, speed)
                problem = self.problem_heard(what, lambda: self.listen(p, speed))
                if problem:
                    problems.append("%s: %s" % (what, problem))
        self.assertEqual(problems, [])

    def problem_heard(self, what, play):
        """What was wrong with the sound of `play()` (which returns what listen() does), or
        None. Breaks while the player's rings never ran short (it says so on its log) mean the
        audio was rendered in time, and the server or the device thread lost it, which a shared
        test machine does now and then with a 23 ms device buffer: the same play again must be
        clean. A fault of the player's own (its rings short, or sound that is wrong as rendered)
        comes back each time."""
        count, problem, short = play()
        tries = 1
        while problem and count > 0 and not short and tries <= self.DOWNSTREAM_RETRIES:
            print("%s, try %d: %s; again" % (what, tries, problem))
            count, again, short = play()
            problem = again and "%s; again: %s" % (problem, again)
            tries += 1
        return problem


class PulseSteady(PulsePlayback):
    def test_the_device_runs_only_while_something_plays(self):
        p = self.start_player()
        # Nothing plays after start-up: the player keeps no stream open on the server.
        self.assertTrue(wait_for(lambda: self.server.streams() == 0, 5.0),
                        "a stream stayed open with nothing playing")
        p.click_button(PLAY_BUTTON)
        self.assertTrue(wait_for(lambda: self.server.streams() == 1, 3.0), "PLAY opened no stream")
        p.click_button(STOP_BUTTON)
        self.assertTrue(wait_for(lambda: self.server.streams() == 0, 5.0),
                        "the stream stayed open after STOP")


class PulseStallsOften(PulsePlayback):
    STALL = (60, 1000)
    LISTEN_S = 4.0


class PulseStallsLong(PulsePlayback):
    STALL = (250, 3000)
    LISTEN_S = 6.5


class PulseBusyMachine(PulsePlayback):
    HOG = True


class PulseDuringLongScan(PulsePlayback):
    """Playback while the scan of a long MP3 decodes on every core: each speed is heard right
    after a LOAD of many hours of a 441 Hz tone, and the scan must still be running when the
    listening ends."""

    LISTEN_S = 3.0
    HOURS_PER_CORE = 6  # about 4 s of scan per core here: twice the time a listen takes
    OPEN_WAIT_S = 60.0

    def long_tone(self):
        cores = min(os.cpu_count() or 1, 8)
        seconds = self.HOURS_PER_CORE * 3600 * max(cores, 2)
        # The end mark keeps the low 32 bits of the length: keep it far beyond what is heard.
        while (seconds * media.RATE * 4) % (1 << 32) < 3600 * media.RATE * 4:
            seconds += 3600
        frames = seconds * media.RATE // 1152
        return media.long_mp3(self.media_tool, self.path("long.mp3"), frames, self.FREQ)

    def test_a_sine_plays_without_a_break(self):
        self.assertTrue(self.media_tool, "TARVEL_E2E_MEDIA does not name the media writer")
        tone = self.long_tone()
        p = self.start_player()
        self.recorder = self.server.record(self.path("monitor.raw"))

        def play_while_scanning(speed):
            p.load(tone)
            # Opening reads the whole file for its frame index, twice (the player's channel,
            # then the scan's): seconds in an instrumented build.
            self.wait_shot(p, screen.progress_shown, self.OPEN_WAIT_S)
            heard = self.listen(p, speed)
            self.assertTrue(screen.progress_shown(p.screenshot()),
                            "the scan ended before the listening at %s %%: the tone is too "
                            "short for this machine" % speed)
            return heard

        problems = []
        for speed in self.SPEEDS:
            what = "at %s %%" % speed
            problem = self.problem_heard(what, lambda: play_while_scanning(speed))
            if problem:
                problems.append("%s: %s" % (what, problem))
        self.assertEqual(problems, [])


if __name__ == "__main__":
    unittest.main()
