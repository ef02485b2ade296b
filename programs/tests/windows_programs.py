#!/usr/bin/env python3
"""Corvane.exe and Kestro.exe under wine against the fake PowerPoint, a COM local server.

The programs run on a virtual display (Xvfb) with wine's own X driver and are driven as an
operator drives them: clicks on their buttons, file names typed into the file dialog. The fake
records every call it is given, in order, into a file; each export writes a JPEG picture that
names its presentation and slide. Usage:

    windows_programs.py corvane|kestro BIN_DIR

with WINEPREFIX, WINEPATH and QT_PLUGIN_PATH set as for the other tests under wine. The prefix
must be this test's alone: wine's desktop process stays bound to the display of the first
program of a wine session, so each test waits for the session to end, before and after.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

WINE = "/usr/lib/wine/wine64"
BIN = None
PREFIX = os.environ.get("WINEPREFIX", "")
DRIVE_C = os.path.join(PREFIX, "drive_c")
DECKS = {"Screen 1.ppt": 8, "Screen 2.ppt": 6, "Screen 3.ppt": 5}


def dos(path):
    return "Z:" + path.replace("/", "\\")


def xdotool(display, *args):
    subprocess.run(["xdotool", *args], check=True, env=dict(os.environ, DISPLAY=display))


def windows(display):
    """Top-level windows as (name, x, y, width, height)."""
    out = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True,
                         env=dict(os.environ, DISPLAY=display), check=True).stdout
    found = []
    for m in re.finditer(r'^\s+0x[0-9a-f]+ "([^"]*)": \([^)]*\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+'
                         r'\+(-?\d+)\+(-?\d+)', out, re.M):
        name, w, h, x, y = m.group(1), *map(int, m.groups()[1:])
        found.append((name, x, y, w, h))
    return found


def wait_for(what, condition, timeout=60):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.2)


class WinePrograms(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="windows-programs-")
        self.log = os.path.join(self.work, "calls.txt")
        shows = os.path.join(DRIVE_C, "Shows")
        os.makedirs(shows, exist_ok=True)
        for deck in DECKS:
            with open(os.path.join(shows, deck), "w") as f:
                f.write("a deck PowerPoint would read\n")
        for n in (1, 2, 3):
            folder = os.path.join(DRIVE_C, "Slide Shows", "Screen %d JPG" % n)
            os.makedirs(folder, exist_ok=True)
            picture = os.path.join(folder, "ExportSlide")
            if os.path.exists(picture):
                os.remove(picture)
        # The network remote asks the application every second whether it answers: off, so
        # the record holds only what the buttons call.
        user = os.environ.get("USER") or subprocess.run(["id", "-un"], capture_output=True,
                                                        text=True).stdout.strip()
        for program in ("Corvane", "Kestro"):
            folder = os.path.join(DRIVE_C, "users", user, "AppData", "Roaming", program)
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, program + ".ini"), "w") as f:
                f.write("[Remote]\r\nEnabled=false\r\n")
        subprocess.run(["wineserver", "-w"], check=True)
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1600x1200x24",
                                      "-nolisten", "tcp"], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.display = ":" + self.xvfb.stdout.readline().decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        files = []
        for deck, slides in DECKS.items():
            files += ["--file", "C:\\Shows\\%s=%d" % (deck, slides)]
        self.server = os.path.join(BIN, "fake_powerpoint_server.exe")
        self.program = None
        subprocess.run([WINE, self.server, "/RegServer", "--log", dos(self.log), *files],
                       check=True, env=self.env)

    def tearDown(self):
        if self.program:
            self.program.kill()
            self.program.wait()
        # The fake ends itself when its stop file appears.
        open(self.log + ".stop", "w").close()
        if os.path.exists(self.log):
            wait_for("the fake PowerPoint to end", lambda: os.path.exists(self.log + ".stopped"),
                     30)
        subprocess.run([WINE, self.server, "/UnregServer"], check=False, env=self.env)
        subprocess.run(["wineserver", "-w"], check=False)
        self.xvfb.kill()
        self.xvfb.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return f.read().splitlines()

    def start(self, exe, title):
        self.program = subprocess.Popen([WINE, os.path.join(BIN, exe)], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.title = title
        self.origin = None
        # The window opens, then moves to the middle of the display: clicks wait until it
        # has stood still for a second.
        seen = []

        def settled():
            window = next((w for w in windows(self.display) if w[0] == title and w[3] > 100),
                          None)
            seen.append(window)
            return window if window and seen[-6:] == [window] * 6 else None

        self.origin = wait_for(title, settled)[1:3]

    def click(self, x, y, origin=None):
        ox, oy = origin or self.origin
        xdotool(self.display, "mousemove", str(ox + x), str(oy + y), "click", "1")

    def dialog(self):
        return next((w for w in windows(self.display) if w[3] >= 600 and w[4] >= 400
                     and not w[0].startswith(("Corvane", "Kestro"))), None)

    def open_dialog(self, x, y):
        """Clicks the button at x, y until its file dialog is open: a first click on a window
        that wine has not yet made active may only activate it."""
        for _ in range(3):
            self.click(x, y)
            try:
                return wait_for("the file dialog", self.dialog, 15)
            except AssertionError:
                pass
        raise AssertionError("no file dialog after three clicks at %d, %d" % (x, y))

    def choose_file(self, name):
        """Types a file name into the open dialog and accepts it."""
        dialog = wait_for("the file dialog", self.dialog)
        time.sleep(0.5)
        # The name box, along the dialog's bottom; a name chosen before is still in it.
        self.click(377, 409, dialog[1:3])
        xdotool(self.display, "key", "End", "shift+Home", "Delete")
        xdotool(self.display, "type", "--delay", "20", name)
        xdotool(self.display, "key", "Return")
        wait_for("the file dialog to close", lambda: not any(
            w[3] >= 600 and w[4] >= 400 and not w[0].startswith(("Corvane", "Kestro"))
            for w in windows(self.display)))
        time.sleep(0.5)

    def wait_calls(self, last, count=1):
        try:
            return wait_for(repr(last), lambda: self.calls() if sum(
                1 for c in self.calls() if c == last) >= count else None)
        except AssertionError as e:
            if os.environ.get("CORVANE_TEST_SHOT"):
                subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-i",
                                self.display, "-frames:v", "1",
                                os.environ["CORVANE_TEST_SHOT"]])
            raise AssertionError("%s; the fake was called:\n%s" % (e, "\n".join(self.calls())))

    def picture(self, screen):
        path = os.path.join(DRIVE_C, "Slide Shows", "Screen %d JPG" % screen, "ExportSlide")
        with open(path, "rb") as f:
            return f.read()

    def assertPictureOf(self, screen, presentation, slide):
        # The fake records an export as it is called and writes the picture after, so the
        # record can be read before the file is whole (or while it still holds the slide
        # before): wait for the picture, and say what is there if it does not come.
        text = ("Slide: %d/%d" % (presentation, slide)).encode()

        def read():
            try:
                return self.picture(screen)
            except OSError:
                return b""

        def shown():
            data = read()
            return data.startswith(b"\xff\xd8") and data.endswith(b"\xff\xd9") and text in data

        try:
            wait_for("screen %d's picture" % screen, shown, 15)
        except AssertionError:
            data = read()
            self.assertTrue(data.startswith(b"\xff\xd8"), "screen %d: not a JPEG" % screen)
            self.assertIn(text, data)


def export(pres, slide, screen):
    return ("Slide(%d/%d).Export method(BSTR C:\\Slide Shows\\Screen %d JPG\\ExportSlide, "
            "BSTR JPG, I4 175, I4 125)" % (pres, slide, screen))


def switch(pres, slide):
    """A script step switching a screen (Part order: activate, view, go to slide)."""
    return ["Presentation(%d).SlideShowWindow method|get()" % pres,
            "SlideShowWindow(%d).Activate method()" % pres,
            "Presentation(%d).SlideShowWindow method|get()" % pres,
            "SlideShowWindow(%d).View method|get()" % pres,
            "SlideShowView(%d).GotoSlide method(I4 %d, I4 -1)" % (pres, slide)]


def refresh(screen, slide):
    """A screen's picture, from the screen's own presentation (here presentation n is the deck
    of Screen n): never another screen's slide, whichever show was activated last."""
    return ["Presentation(%d).Slides method|get()" % screen,
            "Slides(%d).Item method|get(I4 %d)" % (screen, slide),
            export(screen, slide, screen)]


def load(pres, deck, left, top, width):
    return ["Application.Visible put(I4 -1)",
            "Application.Presentations method|get()",
            "Presentations.Open method|get(BSTR C:\\Shows\\%s, I4 0, I4 0, I4 -1)" % deck,
            "Presentation(%d).SlideShowSettings method|get()" % pres,
            "SlideShowSettings(%d).Run method()" % pres,
            "Presentation(%d).SlideShowWindow method|get()" % pres,
            "SlideShowWindow(%d).Left put(R4 %d)" % (pres, left),
            "SlideShowWindow(%d).Top put(R4 %d)" % (pres, top),
            "SlideShowWindow(%d).Width put(R4 %d)" % (pres, width)]


class CorvaneTest(WinePrograms):
    def test_loads_three_shows_a_script_and_steps(self):
        self.start("Corvane.exe", "Corvane  Main Control")
        placements = [(-768, 0, 768), (0, 0, 768), (769, 0, 768)]
        expected = []
        for n in (1, 2, 3):
            self.open_dialog(423, 366)  # Load SlideShow
            self.choose_file("C:\\Shows\\Screen %d.ppt" % n)
            expected += load(n, "Screen %d.ppt" % n, *placements[n - 1])
            expected += ["Presentation(%d).Slides method|get()" % n,
                         "Slides(%d).Item method|get(I4 1)" % n, export(n, 1, n)]
            self.wait_calls(export(n, 1, n))
            self.assertPictureOf(n, n, 1)

        script = os.path.join(DRIVE_C, "Shows", "show.txt")
        with open(script, "w", newline="") as f:
            f.write("0,1,1,1\r\n1,2,1,1\r\n10,3,2,2\r\n")
        self.open_dialog(690, 557)  # Load Script
        self.choose_file("C:\\Shows\\show.txt")

        self.click(156, 366)  # Next Slide: line 2, Screen 1 to slide 2
        expected += switch(1, 2) + refresh(1, 2)
        self.wait_calls(export(1, 2, 1))
        self.click(156, 366)  # Next Slide: line 3, Screens 1, 2, 3 in that order
        expected += switch(1, 3) + switch(2, 2) + switch(3, 2)
        expected += refresh(1, 3) + refresh(2, 2) + refresh(3, 2)
        self.wait_calls(export(3, 2, 3))
        time.sleep(0.5)
        self.assertEqual(self.calls(), expected)
        self.assertPictureOf(1, 1, 3)
        self.assertPictureOf(2, 2, 2)
        self.assertPictureOf(3, 3, 2)


class KestroTest(WinePrograms):
    def test_loads_a_show_and_goes_to_a_slide(self):
        self.start("Kestro.exe", "Kestro ")
        self.open_dialog(239, 88)  # Load Show
        self.choose_file("C:\\Shows\\Screen 2.ppt")
        self.wait_calls("SlideShowWindow(1).Width put(R4 768)")
        self.click(415, 136)  # the Goto box
        xdotool(self.display, "type", "5")
        self.click(257, 136)  # Goto Slide Number
        self.wait_calls("SlideShowView(1).GotoSlide method(I4 5, I4 -1)")
        time.sleep(1)
        # Load Show opens the deck by its name alone, runs it, places it at the built-in
        # numbers and reads the slide number; Goto asks the window's view for slide 5.
        self.assertEqual(self.calls(), [
            "Application.Visible put(I4 -1)",
            "Application.Presentations method|get()",
            "Presentations.Open method|get(BSTR C:\\Shows\\Screen 2.ppt)",
            "Presentation(1).SlideShowSettings method|get()",
            "SlideShowSettings(1).Run method()",
            "Presentation(1).SlideShowWindow method|get()",
            "SlideShowWindow(1).Left put(R4 769)",
            "SlideShowWindow(1).Top put(R4 0)",
            "SlideShowWindow(1).Width put(R4 768)",
            "Presentation(1).Slides method|get()",
            "Slides(1).Item method|get(I4 1)",
            "Slide(1/1).SlideIndex method|get()",
            "Presentation(1).SlideShowWindow method|get()",
            "SlideShowWindow(1).View method|get()",
            "SlideShowView(1).GotoSlide method(I4 5, I4 -1)"])

if __name__ == "__main__":
    which, BIN = sys.argv[1], sys.argv[2]
    suite = unittest.TestLoader().loadTestsFromTestCase(
        {"corvane": CorvaneTest, "kestro": KestroTest}[which])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
