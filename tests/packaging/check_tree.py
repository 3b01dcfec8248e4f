#!/usr/bin/env python3
"""Checks an installed tree of the player: what `cmake --install` writes under a staging prefix,
or the files of the Debian package.

    check_tree.py ROOT APP_ID [SOURCE_DIR]

ROOT holds usr/...; APP_ID names the desktop entry, the icon and the AppStream component.
With SOURCE_DIR, the hicolor PNGs are also compared with fresh renderings of the drawings."""

import configparser
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

ROOT = APP_ID = SOURCE_DIR = None
ICON_SIZES = (16, 32, 48, 64, 128, 256)
# What the file dialog offers, as the MIME types of the shared database.
MEDIA_TYPES = {"audio/mpeg", "audio/mp2", "audio/x-wav", "audio/x-aiff",
               "audio/x-mod", "audio/x-s3m", "audio/x-xm", "audio/x-it"}


def path(*parts):
    return os.path.join(ROOT, "usr", *parts)


def run(*args):
    return subprocess.run(list(args), capture_output=True, text=True)


def png_size(file):
    with open(file, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def desktop_entry():
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    with open(path("share", "applications", APP_ID + ".desktop"), encoding="utf-8") as f:
        parser.read_file(f)
    return parser["Desktop Entry"]


class Layout(unittest.TestCase):
    def test_expected_files_are_installed(self):
        expected = [
            path("bin", "tarvel-player"),
            path("share", "applications", APP_ID + ".desktop"),
            path("share", "metainfo", APP_ID + ".metainfo.xml"),
            path("share", "icons", "hicolor", "scalable", "apps", APP_ID + ".svg"),
            path("share", "man", "man1", "tarvel-player.1.gz"),
            path("share", "doc", "tarvel-player", "copyright"),
            path("share", "doc", "tarvel-player", "changelog.gz"),
        ] + [path("share", "icons", "hicolor", "%dx%d" % (s, s), "apps", APP_ID + ".png")
             for s in ICON_SIZES]
        for file in expected:
            self.assertTrue(os.path.isfile(file), file)
        self.assertTrue(os.access(path("bin", "tarvel-player"), os.X_OK))

    def test_bin_holds_the_program_only(self):
        # No demo recording beside the installed program: it would be auto-loaded at every start.
        self.assertEqual(os.listdir(path("bin")), ["tarvel-player"])
        for folder, _, files in os.walk(ROOT):
            for name in files:
                self.assertFalse(name.lower().endswith(".wav"), os.path.join(folder, name))

    def test_nothing_outside_usr(self):
        self.assertEqual(sorted(e for e in os.listdir(ROOT) if not e.startswith(".")), ["usr"])

    def test_compressed_docs_are_reproducible(self):
        # gzip -n: no file name and no time stamp in the header (Debian policy, lintian).
        for file in (path("share", "man", "man1", "tarvel-player.1.gz"),
                     path("share", "doc", "tarvel-player", "changelog.gz")):
            with open(file, "rb") as f:
                head = f.read(10)
            self.assertEqual(head[:2], b"\x1f\x8b", file)
            self.assertEqual(head[3] & 0x08, 0, "%s stores a file name" % file)
            self.assertEqual(head[4:8], b"\0\0\0\0", "%s stores a time" % file)


class DesktopEntry(unittest.TestCase):
    def test_validates(self):
        result = run("desktop-file-validate", path("share", "applications", APP_ID + ".desktop"))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotIn("error:", result.stdout + result.stderr)
        self.assertNotIn("warning:", result.stdout + result.stderr)

    def test_starts_the_program_without_a_file(self):
        entry = desktop_entry()
        # The program takes no file argument: no field codes, and no MimeType that would offer
        # it in "Open with" only to start empty.
        self.assertEqual(entry["Exec"], "tarvel-player")
        self.assertNotIn("MimeType", entry)
        self.assertEqual(entry["Type"], "Application")
        self.assertEqual(entry["Name"], "Tarvel Player")
        self.assertEqual(entry.get("Terminal"), "false")

    def test_icon_names_an_installed_icon(self):
        self.assertEqual(desktop_entry()["Icon"], APP_ID)

    def test_window_class_matches_the_program(self):
        # X11 desktops match the window to the entry by its class; Qt names it after the binary.
        self.assertEqual(desktop_entry()["StartupWMClass"], "tarvel-player")


class AppStream(unittest.TestCase):
    def setUp(self):
        self.file = path("share", "metainfo", APP_ID + ".metainfo.xml")
        self.root = ET.parse(self.file).getroot()

    def test_validates_without_errors_or_warnings(self):
        result = run("appstreamcli", "validate", "--no-net", "--explain", self.file)
        report = result.stdout + result.stderr
        self.assertEqual(result.returncode, 0, report)
        self.assertIsNone(re.search(r"^[EW]: ", report, re.M), report)

    def test_describes_the_desktop_entry(self):
        self.assertEqual(self.root.get("type"), "desktop-application")
        self.assertEqual(self.root.findtext("id"), APP_ID)
        launchable = self.root.find("launchable")
        self.assertEqual(launchable.get("type"), "desktop-id")
        self.assertEqual(launchable.text, APP_ID + ".desktop")
        self.assertEqual(self.root.findtext("provides/binary"), "tarvel-player")

    def test_has_summary_description_screenshot_and_rating(self):
        self.assertTrue(self.root.findtext("summary").strip())
        self.assertGreaterEqual(len(self.root.findall("description/p")), 1)
        image = self.root.find("screenshots/screenshot/image")
        self.assertIsNotNone(image)
        self.assertTrue(image.text.startswith("https://"), image.text)
        self.assertEqual((image.get("width"), image.get("height")), ("890", "73"))
        self.assertEqual(self.root.find("content_rating").get("type"), "oars-1.1")

    def test_lists_the_formats_the_dialog_opens(self):
        types = {e.text for e in self.root.findall("provides/mediatype")}
        self.assertEqual(types, MEDIA_TYPES)
        known = set()
        mime_db = "/usr/share/mime/types"
        if os.path.exists(mime_db):
            with open(mime_db) as f:
                known = {line.strip() for line in f}
            self.assertLessEqual(types, known, "not in the shared MIME database")


class Icons(unittest.TestCase):
    def test_pngs_have_their_sizes(self):
        for size in ICON_SIZES:
            file = path("share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                        APP_ID + ".png")
            self.assertEqual(png_size(file), (size, size), file)

    def test_svg_is_square_and_titled(self):
        svg = ET.parse(path("share", "icons", "hicolor", "scalable", "apps", APP_ID + ".svg"))
        root = svg.getroot()
        view = [float(v) for v in root.get("viewBox").split()]
        self.assertEqual(view[2], view[3])
        self.assertEqual(root.findtext("{http://www.w3.org/2000/svg}title"), "Tarvel Player")

    def test_pngs_are_current_renderings_of_the_drawings(self):
        # A PNG left behind after its drawing changed would show the old icon at that size.
        if not SOURCE_DIR:
            self.skipTest("no source folder given")
        for tool in ("rsvg-convert", "compare"):
            self.assertIsNotNone(shutil.which(tool), "%s missing (scripts/install-deps)" % tool)
        icons = os.path.join(SOURCE_DIR, "packaging", "icons")
        with tempfile.TemporaryDirectory() as tmp:
            for size in ICON_SIZES:
                drawing = "tarvel-player-small.svg" if size <= 32 else "tarvel-player.svg"
                fresh = os.path.join(tmp, "%d.png" % size)
                subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size),
                                os.path.join(icons, drawing), "-o", fresh], check=True)
                result = run("compare", "-metric", "AE", "-fuzz", "2%", fresh,
                             os.path.join(icons, "png", "tarvel-player-%d.png" % size), "null:")
                self.assertEqual(result.stderr.strip(), "0",
                                 "%d px differs from %s (run packaging/icons/render-png)"
                                 % (size, drawing))


class ManualPage(unittest.TestCase):
    def test_renders_without_warnings(self):
        self.assertIsNotNone(shutil.which("groff"), "groff missing")
        page = subprocess.run(["gzip", "-dc", path("share", "man", "man1", "tarvel-player.1.gz")],
                              capture_output=True, check=True).stdout
        result = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z"], input=page,
                                capture_output=True)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr.decode(), "")
        self.assertIn(b".SH NAME\ntarvel-player \\- ", page)


class Copyright(unittest.TestCase):
    def test_machine_readable_with_a_licence(self):
        with open(path("share", "doc", "tarvel-player", "copyright"), encoding="utf-8") as f:
            text = f.read()
        self.assertTrue(text.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
        files = text.split("\n\n")[1]
        self.assertRegex(files, r"(?m)^Files: \*$")
        self.assertRegex(files, r"(?m)^Copyright: \S")
        licence = re.search(r"(?ms)^License: (\S+)\n((?: .*\n?)+)", files)
        self.assertIsNotNone(licence, "no licence with its text")
        for line in licence.group(2).splitlines():
            self.assertTrue(line.startswith(" ") and line.strip(), repr(line))


def main():
    global ROOT, APP_ID, SOURCE_DIR
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    ROOT, APP_ID = sys.argv[1], sys.argv[2]
    SOURCE_DIR = sys.argv[3] if len(sys.argv) > 3 else None
    result = unittest.main(argv=[sys.argv[0]], exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
