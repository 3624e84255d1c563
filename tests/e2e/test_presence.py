#!/usr/bin/env python3
"""The window and the tray icon when the tray is missing, late, or goes away.

Runs inside tests/support/with-desktop.sh --no-tray (Xvfb and openbox, no tray):
each case starts its own trayer when it wants a tray, and ends it to take the
tray away. Uses the program, server and screen helpers of test_desktop.py.

Usage: test_presence.py --program <tavrin-connector> [--screenshots <dir>]
                        [unittest arguments...]
"""

import argparse
import subprocess
import sys
import os
import time
import unittest

# Importing the desktop suite's helpers must not leave __pycache__ in the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_desktop as desktop  # noqa: E402

# The window waits about five seconds for a tray; it must show well within this.
SHOWN_WITHIN_S = 10.0
SHOWN_INSTEAD = "no system tray; the window is shown instead"
TRAY_GONE = "system tray gone; the window is shown instead"


class Tray:
    """A trayer of the test's own, started and ended by its process id."""

    def __init__(self, test):
        self._process = None
        test.addCleanup(self.stop)

    def start(self):
        # A fixed width: a panel sized to its icons may start with no room for one.
        self._process = subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
             "--width", "64", "--height", "32", "--SetDockType", "true",
             "--transparent", "false", "--tint", "0xffffff"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        desktop.wait_until(self._panel_shown, what="trayer's panel")

    def stop(self):
        if self._process is None:
            return
        self._process.terminate()
        self._process.wait(5)
        self._process = None
        desktop.wait_until(lambda: not self._panel_shown(), what="trayer to go")

    @staticmethod
    def _panel_shown():
        tree = desktop.run("xwininfo", "-root", "-tree", check=False)
        return '("panel" "trayer")' in tree


class PresenceTest(unittest.TestCase):
    def setUp(self):
        self.server = desktop.RecordingServer()
        self.addCleanup(self.server.close)
        self.tray = Tray(self)

    def start(self):
        self.key = "e2ePresenceKey"
        program = desktop.Program(self, key_url=self.server.url(self.key))
        self.started = time.monotonic()
        return program

    def assert_one_icon(self, program):
        """The icon docks once: a tray holds one window of the program, drawn."""
        program.wait_icon()
        time.sleep(0.5)  # a second docking would be in the tree by now
        self.assertEqual(len(desktop.tray_windows(program.application)), 1)

    def wait_log(self, program, line):
        desktop.wait_until(lambda: line in program.output(), what=f'the log line "{line}"')

    def test_without_tray_the_window_shows_and_a_late_tray_takes_it(self):
        program = self.start()
        # The first request does not wait for the tray.
        self.server.wait_for(lambda r: r["target"] == f"/{self.key}", timeout=3)
        self.assertFalse(program.window_shown())

        desktop.wait_until(program.window_shown, timeout=SHOWN_WITHIN_S,
                           what="the window shown for want of a tray")
        self.assertLess(time.monotonic() - self.started, SHOWN_WITHIN_S)
        geometry = program.drawn_window()
        # The normal state: the laid-out size, grown with the font in proportion.
        width, height = desktop.WINDOW_SIZE
        self.assertGreaterEqual(geometry[2], width)
        self.assertAlmostEqual(geometry[3], height * geometry[2] / width, delta=1)
        self.wait_log(program, SHOWN_INSTEAD)
        desktop.save_screenshot("no-tray-window.png", "-window", "root")

        self.tray.start()
        self.assert_one_icon(program)
        desktop.wait_until(lambda: not program.window_shown(), what="the window to go to the tray")
        # The icon works: its pop-up shows the window again.
        program.show_window()
        program.wait_icon_gone()

    def test_late_tray_gets_the_icon_and_a_lost_tray_gives_the_window_back(self):
        program = self.start()
        time.sleep(3)
        self.tray.start()
        self.assert_one_icon(program)
        self.assertFalse(program.window_shown())
        self.assertEqual(program.shown_windows(), [])
        self.assertNotIn(SHOWN_INSTEAD, program.output())

        self.tray.stop()
        desktop.wait_until(program.window_shown, what="the window when the tray went")
        program.drawn_window()
        self.wait_log(program, TRAY_GONE)

        self.tray.start()
        self.assert_one_icon(program)
        desktop.wait_until(lambda: not program.window_shown(),
                           what="the window to go back to the tray")
        self.assertTrue(program.alive())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--screenshots")
    options, rest = parser.parse_known_args()
    return desktop.run_suite(options, rest)


if __name__ == "__main__":
    sys.exit(main())
