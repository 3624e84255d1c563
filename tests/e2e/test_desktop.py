#!/usr/bin/env python3
"""End-to-end cases for tavrin-connector on a real X desktop.

Run inside tests/support/with-desktop.sh (Xvfb, openbox, trayer). Every case
starts the program afresh with its own settings and runtime directory, drives
it with xdotool the way a user would, and checks what shows on the screen,
what reaches a loopback HTTP server and what lands in the settings file.

Usage: test_desktop.py --program <tavrin-connector>
                       --fast-program <tavrin-connector-testhooks>
                       --base-url <compiled-in base URL>
                       [--screenshots <dir>] [unittest arguments...]
"""

import argparse
import configparser
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

# The helpers shared with the Windows suite; importing them must not leave
# __pycache__ in the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import desktop_support  # noqa: E402
from desktop_support import (  # noqa: E402,F401  (the other suites use them from here)
    BLUE_EMBLEM, CAPTION, RED_EMBLEM, SEEN, WINDOW_SIZE, ProgramRun, RecordingServer, centre,
    count_colour,
    count_dark, drawn, grab, inner, run, save_screenshot, scaled, tray_windows, wait_until,
    window_info, window_name, xdotool)

OPTIONS = None

QUIT_TITLE = "Tavrin Connector beenden..."

# The controls' window-relative rectangles (x, y, width, height) at the font
# the layout was drawn for, in a window of WINDOW_SIZE.
FIRST_KEY_BOX = (224, 16, 113, 19)
SECOND_KEY_BOX = (224, 40, 113, 19)
OK_BUTTON = (336, 40, 25, 17)
INTERVAL_BOX = (88, 16, 25, 19)
# trayer's panel along the bottom edge (tests/support/with-desktop.sh).
PANEL_HEIGHT = 32


def window_icon(window):
    """The window's largest icon from _NET_WM_ICON as (width, height, RGB bytes), or None.

    Transparent pixels come out black.
    """
    result = subprocess.run(
        ["xprop", "-id", str(window), "-notype", "-f", "_NET_WM_ICON", "32c", "_NET_WM_ICON"],
        capture_output=True, text=True, timeout=20,
    )
    _, equals, numbers = result.stdout.partition("=")
    values = [int(v) for v in re.findall(r"\d+", numbers)] if equals else []
    best = None
    while len(values) >= 2:
        width, height = values[0], values[1]
        pixels, values = values[2:2 + width * height], values[2 + width * height:]
        if len(pixels) == width * height and (best is None or width > best[0]):
            best = (width, height, pixels)
    if best is None:
        return None
    rgb = bytearray()
    for argb in best[2]:
        opaque = (argb >> 24) >= 128
        rgb += bytes(((argb >> 16) & 255, (argb >> 8) & 255, argb & 255) if opaque else (0, 0, 0))
    return best[0], best[1], bytes(rgb)

# --- the program -------------------------------------------------------------------


class Program(ProgramRun):
    """One run of the program with its own settings and runtime directory."""

    def __init__(self, test, arguments=(), key_url="", interval="5", proxy=None,
                 time_scale=None, platform=None, command=None, home_of=None):
        # With a time scale, the test build runs that many times as fast. Platform
        # variables (e.g. Wayland's) replace the X11 default. A command replaces
        # the program and its arguments; home_of runs it with another run's
        # settings and config home, as the same user logging in again.
        program = OPTIONS.fast_program if time_scale else OPTIONS.program
        if command:
            program, *arguments = command
        self.application = os.path.basename(program)
        if home_of:
            self._home = home_of._home
        else:
            self._home = tempfile.TemporaryDirectory(prefix="tavrin-e2e-")
            test.addCleanup(self._home.cleanup)
        self.config_home = os.path.join(self._home.name, "config")
        config = self.config_home
        runtime = os.path.join(self._home.name, "runtime")
        self.settings_path = os.path.join(config, self.application, self.application + ".ini")
        if not home_of:
            os.makedirs(os.path.join(config, self.application))
            os.mkdir(runtime, 0o700)
            with open(os.open(self.settings_path, os.O_WRONLY | os.O_CREAT, 0o600), "w") as ini:
                ini.write(f"[settings]\nTavrinKey={key_url}\nTavrinTime={interval}\n")

        environment = {
            k: v for k, v in os.environ.items()
            if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")
        }
        environment.update(
            XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb"
        )
        environment.update(platform or {})
        if proxy:
            environment["http_proxy"] = proxy
        if time_scale:
            environment["TAVRIN_TIME_SCALE"] = str(time_scale)
        self.log_path = os.path.join(self._home.name, f"program-{id(self)}.log")
        self._log = open(self.log_path, "wb")
        test.addCleanup(self._log.close)
        self.process = subprocess.Popen(
            [program, *arguments], env=environment, stdout=self._log,
            stderr=subprocess.STDOUT,
        )
        self._main_window = None
        self._last_click = 0.0
        test.addCleanup(self.stop, test)

    # Ending -------------------------------------------------------------------------

    def stop(self, test):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
                test.fail("the program did not end on SIGTERM")
        # Its windows go with its X connection; the next run must not see them.
        wait_until(lambda: not tray_windows(self.application), timeout=5,
                   what="the ended program's tray icon to go")

    # Settings -------------------------------------------------------------------------

    def settings(self):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(self.settings_path, encoding="utf-8")
        return dict(parser["settings"]) if parser.has_section("settings") else {}

    # Windows --------------------------------------------------------------------------

    def windows(self):
        result = subprocess.run(
            ["xdotool", "search", "--pid", str(self.process.pid)],
            capture_output=True, text=True, timeout=20,
        )
        return [int(w) for w in result.stdout.split()]

    def shown_windows(self):
        """Every window of the program that shows on the screen, the tray icon aside."""
        in_tray = {window for window, _ in tray_windows(self.application)}
        return [w for w in self.windows()
                if w not in in_tray and (info := window_info(w)) and info["viewable"]]

    def icon(self):
        """Root geometry of the shown tray icon, or None while there is none."""
        for window, geometry in tray_windows(self.application):
            info = window_info(window)
            if info and info["viewable"]:
                return geometry
        return None

    def wait_icon(self):
        """Waits until the tray icon is in place and drawn; returns its geometry."""
        def drawn():
            icon = self.icon()
            image = grab(icon) if icon else None
            if image and (count_colour(image, BLUE_EMBLEM) > SEEN
                          or count_colour(image, RED_EMBLEM) > SEEN):
                return icon
            return None
        return wait_until(drawn, what="the tray icon")

    def wait_icon_gone(self):
        wait_until(lambda: self.icon() is None, what="the tray icon to leave")

    def popup(self):
        """Root geometry of an open pop-up menu of the program, or None."""
        in_tray = {window for window, _ in tray_windows(self.application)}
        for window in self.windows():
            if window in in_tray:
                continue
            info = window_info(window)
            if info and info["viewable"] and info["override"]:
                return info["geometry"]
        return None

    def message_box(self):
        for window in self.windows():
            info = window_info(window)
            if info and info["viewable"] and window_name(window) == QUIT_TITLE:
                return window, info["geometry"]
        return None

    # Actions ---------------------------------------------------------------------------

    def click_icon(self, *click):
        x, y, w, h = self.wait_icon()
        # Qt takes a press of the same button within its double-click interval
        # (400 ms) of the previous one for a double click, whatever was clicked
        # in between; a user's separate clicks are never that quick.
        time.sleep(max(0.0, self._last_click + 0.5 - time.monotonic()))
        xdotool("mousemove", str(x + w // 2), str(y + h // 2))
        xdotool("click", *click)
        self._last_click = time.monotonic()

    def open_popup(self):
        self.click_icon("3")
        return wait_until(self.popup, what="the pop-up menu")

    def choose_from_popup(self, downs):
        self.open_popup()
        xdotool("key", *(["Down"] * downs), "Return")
        wait_until(lambda: self.popup() is None, what="the pop-up menu to close")

    def show_window(self):
        """Opens the window through "Optionen..."; returns its root geometry once drawn."""
        self.choose_from_popup(1)
        wait_until(self.window_shown, what="the window to show")
        return self.drawn_window()

    def click_in_window(self, rect):
        x, y = centre(scaled(window_info(self.main_window())["geometry"], rect))
        xdotool("mousemove", "--window", str(self.main_window()), str(x), str(y), "click", "1")


# --- the cases ------------------------------------------------------------------------


class DesktopTest(unittest.TestCase):
    def setUp(self):
        self.server = RecordingServer()
        self.addCleanup(self.server.close)

    def start(self, arguments=(), key="e2eStartKey", interval="5", proxy=None,
              time_scale=None):
        self.key = key
        return Program(self, arguments, self.server.url(key), interval, proxy, time_scale)

    def assert_counts_down(self, program):
        """Waits until the caption goes from one second to the next lower one."""
        seen = []

        def stepped():
            seen.append(program.countdown())
            return len(seen) > 1 and None not in seen[-2:] and seen[-2] - seen[-1] == 1

        # Other changes (a sync caption in between, a jump) just start over.
        wait_until(stepped, what="the countdown to move down by one second")

    def test_start_hides_window_shows_icon_and_requests(self):
        program = self.start()
        requests = self.server.wait_for(lambda r: r["target"] == f"/{self.key}")
        self.assertEqual(requests[0]["method"], "GET")
        self.assertEqual(requests[0]["headers"]["host"], f"127.0.0.1:{self.server.port}")

        icon = program.wait_icon()
        wait_until(lambda: count_colour(grab(icon), BLUE_EMBLEM) > SEEN, what="the blue icon")
        self.assertEqual(program.shown_windows(), [])
        self.assertEqual(len(self.server.requests()), 1)
        self.assertNotIn(self.key, program.output())

    def test_popup_lists_optionen_above_beenden(self):
        program = self.start()
        popup = program.open_popup()
        wait_until(lambda: drawn(popup), what="the pop-up menu to be drawn")
        save_screenshot("popup.png", "-window", "root", "-crop",
                        "{2}x{3}+{0}+{1}".format(*popup), "+repage")
        xdotool("key", "Down", "Return")
        wait_until(program.window_shown, what="the window (first entry)")
        self.assertIsNone(program.message_box())

        program.stop(self)
        second = self.start()
        second.choose_from_popup(2)
        wait_until(second.message_box, what="the quit question (second entry)")
        self.assertFalse(second.window_shown())

    def test_second_start_shows_the_running_window_and_ends(self):
        program = self.start()
        program.wait_icon()
        self.assertEqual(self.start().wait_exit(), 0)
        wait_until(program.window_shown, what="the running copy's window")

    def test_optionen_shows_window_and_icon_leaves(self):
        program = self.start()
        program.wait_icon()
        self.assertEqual(program.shown_windows(), [])
        x, y, w, h = program.open_popup()
        # The first of the two entries, clicked with the mouse.
        xdotool("mousemove", str(x + w // 2), str(y + h // 4), "click", "1")
        wait_until(program.window_shown, what="the window")
        program.wait_icon_gone()
        geometry = program.drawn_window()
        # The table's size, or larger as a whole for a larger default font.
        self.assertGreaterEqual(geometry[2], WINDOW_SIZE[0])
        self.assertAlmostEqual(geometry[3], WINDOW_SIZE[1] * geometry[2] / WINDOW_SIZE[0], delta=1)
        self.assertTrue(program.alive())
        save_screenshot("window.png", "-window", str(program.main_window()))
        self.assert_counts_down(program)

    def test_minimising_brings_icon_back(self):
        program = self.start()
        program.show_window()
        program.wait_icon_gone()
        xdotool("windowminimize", str(program.main_window()))
        program.wait_icon()
        wait_until(lambda: not program.window_shown(), what="the window to hide")
        # The icon works again: its pop-up can show the window once more.
        program.show_window()
        program.wait_icon_gone()

    def test_double_click_restores_only_in_a_mode(self):
        table = [
            (["/a"], True),
            (["/A"], True),
            ([], False),
            (["/a", "x"], False),
        ]
        for arguments, restores in table:
            with self.subTest(arguments=arguments):
                program = self.start(arguments)
                program.wait_icon()
                program.click_icon("--repeat", "2", "--delay", "80", "1")
                if restores:
                    wait_until(program.window_shown, what="the window to restore")
                    program.wait_icon_gone()
                else:
                    # The program handles the icon's events in order: once a later
                    # right click has opened the pop-up, the double click is done.
                    program.click_icon("3")
                    wait_until(program.popup, what="the pop-up after the double click")
                    self.assertIsNotNone(program.icon())
                    self.assertFalse(program.window_shown())
                    xdotool("key", "Escape")
                program.stop(self)

    def test_key_entry_stores_and_requests_update_url(self):
        key = "e2eSecret7Q"
        program = self.start(proxy=self.server.url())
        self.server.wait_for(lambda r: r["target"].endswith(f"/{self.key}"))
        geometry = program.show_window()
        # Inside its frame: at a scale the edges may round a pixel apart.
        x, y, w, h = inner(geometry, OK_BUTTON)
        ok_button = (x + 1, y + 1, w - 2, h - 2)

        def type_into(box, text):
            program.click_in_window(box)
            xdotool("key", "ctrl+a")
            xdotool("type", "--delay", "20", text)

        # The OK label is drawn dark only while the button is enabled.
        self.assertEqual(count_dark(grab(ok_button)), 0)
        type_into(FIRST_KEY_BOX, key)
        # Never equal to the first box on the way, as a common prefix would be.
        type_into(SECOND_KEY_BOX, "x" + key)
        program.click_in_window(OK_BUTTON)
        # The interval box saves at once; once its new value is stored, the
        # keys and the click before it have been handled too.
        type_into(INTERVAL_BOX, "7")
        wait_until(lambda: program.settings().get("TavrinTime") == "7",
                   what="the stored interval")
        self.assertEqual(program.settings().get("TavrinKey"), self.server.url(self.key))
        self.assertEqual(count_dark(grab(ok_button)), 0)

        type_into(SECOND_KEY_BOX, key)
        wait_until(lambda: count_dark(grab(ok_button)) > 0, what="OK to be enabled")
        program.click_in_window(OK_BUTTON)
        expected = OPTIONS.base_url + key
        requests = self.server.wait_for(lambda r: r["target"] == expected, what=expected)
        self.assertEqual(requests[0]["method"], "GET")
        self.assertEqual(requests[0]["headers"]["host"], expected.split("/")[2])
        wait_until(lambda: program.settings().get("TavrinKey") == expected,
                   what="the stored key URL")
        # Only the confirmed key went out.
        self.assertEqual(
            [r["target"] for r in self.server.requests() if key in r["target"]], [expected])
        self.assertNotIn(key, program.output())

    def test_beenden_abbrechen_keeps_running_and_counting(self):
        # Half a minute, the shortest interval, five times as fast: a sync every 6.2 s.
        program = self.start(interval="0.5", time_scale=5)
        program.choose_from_popup(2)
        window, (x, y, w, h) = wait_until(program.message_box, what="the quit question")
        # Centred on the screen above the panel (give or take the title bar), not in a corner.
        screen_w, screen_h = map(int, xdotool("getdisplaygeometry").split())
        self.assertLess(abs(x + w // 2 - screen_w // 2), 10, (x, y, w, h))
        self.assertLess(abs(y + h // 2 - (screen_h - PANEL_HEIGHT) // 2), 20, (x, y, w, h))
        # "Abbrechen" is the rightmost button of the box's bottom row.
        xdotool("mousemove", str(x + w - 58), str(y + h - 24), "click", "1")
        wait_until(lambda: program.message_box() is None, what="the question to close")
        self.assertTrue(program.alive())
        self.assertIsNotNone(program.icon())
        # Still syncing and, once shown, still counting.
        sent = len(self.server.requests())
        wait_until(lambda: len(self.server.requests()) > sent, timeout=12.0,
                   what="the next sync")
        program.show_window()
        self.assert_counts_down(program)
        self.assertTrue(program.alive())

    def test_beenden_ok_ends_program(self):
        program = self.start()
        icon = program.wait_icon()
        program.choose_from_popup(2)
        window, (x, y, w, h) = wait_until(program.message_box, what="the quit question")
        # "OK" stands left of "Abbrechen".
        xdotool("mousemove", str(x + w - 150), str(y + h - 24), "click", "1")
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(tray_windows(program.application), [])
        wait_until(lambda: count_colour(grab(icon), BLUE_EMBLEM) == 0,
                   what="the icon's pixels to go")

    def test_close_box_ends_program_without_question(self):
        program = self.start()
        program.show_window()
        window = str(program.main_window())
        xdotool("windowactivate", "--sync", window)
        xdotool("key", "--clearmodifiers", "alt+F4")
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(tray_windows(program.application), [])

    def test_icon_turns_red_on_failure_and_blue_on_recovery(self):
        self.server.answer(500)
        # Half a minute, ten times as fast: a sync every 3.1 s.
        program = self.start(interval="0.5", time_scale=10)
        icon = program.wait_icon()
        wait_until(lambda: count_colour(grab(icon), RED_EMBLEM) > SEEN, what="the red icon")
        self.assertEqual(count_colour(grab(icon), BLUE_EMBLEM), 0)

        self.server.answer(200)
        seen = len(self.server.requests())
        wait_until(lambda: count_colour(grab(icon), BLUE_EMBLEM) > SEEN, timeout=10,
                   what="the blue icon")
        self.assertEqual(count_colour(grab(icon), RED_EMBLEM), 0)
        later = self.server.requests()[seen:]
        self.assertTrue(later)
        self.assertTrue(all(r["target"] == f"/{self.key}" for r in later))

    def test_first_start_without_key_shows_window_with_red_icon(self):
        program = Program(self, key_url="")
        wait_until(program.window_shown, what="the window to show")
        program.drawn_window()
        self.assert_counts_down(program)
        self.assertIsNone(program.icon())

        def red_icon():
            icon = window_icon(program.main_window())
            return icon and count_colour(icon, RED_EMBLEM) > SEEN
        wait_until(red_icon, what="the red window icon")
        self.assertEqual(count_colour(window_icon(program.main_window()), BLUE_EMBLEM), 0)
        save_screenshot("first-start.png", "-window", str(program.main_window()))
        # Typing goes straight into the first key box: with the second one, Enter applies it.
        xdotool("windowactivate", "--sync", str(program.main_window()))
        xdotool("type", "--delay", "50", "abc")
        program.click_in_window(SECOND_KEY_BOX)
        xdotool("type", "--delay", "50", "abc")
        xdotool("key", "Return")
        expected = OPTIONS.base_url + "abc"
        wait_until(lambda: program.settings().get("TavrinKey") == expected,
                   what="the stored key URL")
        self.assertEqual(program.settings().get("TavrinTime"), "5")

    def test_first_ok_makes_the_autostart_entry_that_starts_in_the_tray(self):
        program = Program(self, key_url="")
        wait_until(program.window_shown, what="the window to show")
        program.drawn_window()
        entry = os.path.join(program.config_home, "autostart", program.application + ".desktop")
        self.assertFalse(os.path.exists(entry))
        xdotool("windowactivate", "--sync", str(program.main_window()))
        xdotool("type", "--delay", "50", "abc")
        program.click_in_window(SECOND_KEY_BOX)
        xdotool("type", "--delay", "50", "abc")
        xdotool("key", "Return")
        wait_until(lambda: os.path.exists(entry), what="the autostart entry")
        run("desktop-file-validate", entry)
        with open(entry, encoding="utf-8") as text:
            command = [line[len("Exec="):].rstrip("\n") for line in text
                       if line.startswith("Exec=")]
        # A path without the characters the entry must quote reads as it stands.
        self.assertEqual([c.split(" ") for c in command], [[OPTIONS.program, "/a"]])
        program.stop(self)
        # The next login: the desktop runs what the entry says.
        again = Program(self, command=command[0].split(" "), home_of=program)
        again.wait_icon()
        self.assertFalse(again.window_shown())

    def test_refused_url_gives_a_red_tray_icon(self):
        program = Program(self, key_url="ftp://x/y")
        icon = program.wait_icon()
        wait_until(lambda: count_colour(grab(icon), RED_EMBLEM) > SEEN, what="the red icon")
        self.assertEqual(count_colour(grab(icon), BLUE_EMBLEM), 0)
        self.assertEqual(program.shown_windows(), [])
        self.assertEqual(self.server.requests(), [])


def run_suite(options, argv):
    """Runs the test cases of the calling module on the desktop DISPLAY names."""
    global OPTIONS
    OPTIONS = options
    desktop_support.configure(getattr(OPTIONS, "screenshots", None))
    OPTIONS.program = os.path.abspath(OPTIONS.program)
    if getattr(OPTIONS, "fast_program", None):
        OPTIONS.fast_program = os.path.abspath(OPTIONS.fast_program)
    for tool in ("xdotool", "xwininfo", "import"):
        if not shutil.which(tool):
            print(f"{tool} is needed", file=sys.stderr)
            return 1
    if not os.environ.get("DISPLAY"):
        print("no DISPLAY: run through tests/support/with-desktop.sh", file=sys.stderr)
        return 1
    program = unittest.main(module="__main__", argv=[sys.argv[0], *argv], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--fast-program", required=True,
                        help="the test build, which reads TAVRIN_TIME_SCALE")
    parser.add_argument("--base-url", required=True)
    parser.add_argument("--screenshots")
    options, rest = parser.parse_known_args()
    return run_suite(options, rest)


if __name__ == "__main__":
    sys.exit(main())
