#!/usr/bin/env python3
"""End-to-end cases for the Windows program under Wine on a real X desktop.

Run inside tests/support/with-desktop.sh --fixed-tray and
tests/support/with-wine.sh (a fresh Wine prefix with its wineserver up). Every
case writes the program's settings into the registry, starts it with `wine`,
drives it with xdotool the way a user would and checks what shows on the
screen, what reaches a loopback HTTP server and what lands in the registry.
Wine's explorer.exe docks the program's tray icon in trayer's panel and draws
its tip.

Usage: test_windows.py --program <tavrin-connector.exe>
                       --fast-program <tavrin-connector-testhooks.exe>
                       --base-url <compiled-in base URL>
                       [--screenshots <dir>]
                       [unittest arguments...]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

# The helpers shared with the Linux suite; importing them must not leave
# __pycache__ in the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import desktop_support  # noqa: E402
from desktop_support import (  # noqa: E402
    BLUE_EMBLEM, CAPTION, RED_EMBLEM, SEEN, ProgramRun, RecordingServer, centre, count_colour,
    count_dark, drawn, from_ppm, grab, inner, run, save_screenshot, scaled, tray_windows,
    wait_until, window_info, window_name, xdotool)
from wine_support import (  # noqa: E402
    local_app_data, registry_string, run_suite as run_wine_suite, wine)

OPTIONS = None

TIP = "KORLA Tavrin Connector"
QUIT_TITLE = "Tavrin Connector beenden..."
QUESTION = "Möchten Sie den Dienst wirklich beenden?"
# Wine's explorer.exe owns the icons docked in the tray, and their tips.
TRAY_OWNER = "explorer.exe"

# The controls' rectangles (x, y, width, height) in the window's client area
# at the font the layout was drawn for; Wine's larger default font scales them
# all alike.
INTERVAL_BOX = (88, 16, 25, 19)
SPIN = (112, 16, 16, 19)
FIRST_KEY_BOX = (224, 16, 113, 19)
SECOND_KEY_BOX = (224, 40, 113, 19)
OK_BUTTON = (336, 40, 25, 17)
# Inside its border, left of its scroll bar.
ANSWER_AREA = (10, 74, 330, 69)


def settings_key(application):
    return rf"HKCU\Software\VB and VBA Program Settings\{application}\settings"


RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"


def log_file_text(application):
    """The program's log file under %LOCALAPPDATA%, or "" while there is none."""
    folder = local_app_data()
    path = wine("winepath", "-u", rf"{folder}\{application}\{application}.log").stdout.strip()
    try:
        with open(path, encoding="utf-8") as log:
            return log.read()
    except FileNotFoundError:
        return ""


def requested(request):
    """A proxied request's target without the default port WinINet writes into it."""
    return re.sub(r"^(http://[^/:]+):80/", r"\1/", request["target"])


def ppm(arguments):
    """An image ImageMagick makes from arguments, as (width, height, RGB bytes)."""
    return from_ppm(subprocess.run(["convert", *arguments, "-depth", "8", "ppm:-"],
                                   capture_output=True, timeout=20, check=True).stdout)


def ink_columns(image, inset=0):
    """Per column, the number of dark pixels; trimmed to the columns with ink."""
    width, height, pixels = image
    columns = []
    for x in range(inset, width - inset):
        columns.append(sum(1 for y in range(inset, height - inset)
                           if sum(pixels[3 * (y * width + x):3 * (y * width + x) + 3]) < 384))
    inked = [i for i, c in enumerate(columns) if c]
    return columns[inked[0]:inked[-1] + 1] if inked else []


def text_lines(rect):
    """The root rectangles of the lines of dark text within rect, top to bottom."""
    x, y, w, h = rect
    width, height, pixels = grab(rect)
    inked = [any(sum(pixels[3 * (row * width + col):3 * (row * width + col) + 3]) < 384
                 for col in range(width)) for row in range(height)]
    # A single blank row may part a descender from its line; lines are further apart.
    lines, start, end = [], None, None
    for row, ink in enumerate(inked + [False, False]):
        if ink:
            start = row if start is None else start
            end = row
        elif start is not None and row - end >= 2:
            lines.append((x, y + start - 1, w, end - start + 3))
            start = None
    return lines


def gaps_line_up(columns, other):
    """The share of blank columns in one ink profile that the other has too (give or take one)."""
    ratio = (len(other) - 1) / max(1, len(columns) - 1)
    gaps = [i for i, c in enumerate(columns) if c == 0]
    hits = sum(1 for i in gaps if any(0 <= j < len(other) and other[j] == 0
                                      for j in range(round(i * ratio) - 1, round(i * ratio) + 2)))
    return hits / max(1, len(gaps))


def reads_as(image, text):
    """Whether an image of one line of dark text on light looks like that text.

    Wine's windows carry no text to read off the X server, so the text is drawn in the
    font fontconfig gives for Wine's sans serif face, at the size as wide as the
    image's ink, and the gaps between letters and words must line up. Another
    text or length fails; a single letter of the same width may pass.
    """
    seen = ink_columns(image, inset=2)
    font = run("fc-match", "--format=%{file}", "Tahoma").strip()
    for size in range(9, 16):
        drawn_text = ink_columns(ppm(["-background", "white", "-fill", "black", "-font", font,
                                      "-pointsize", str(size), "-density", "72",
                                      f"label:{text}"]))
        if (abs(len(drawn_text) - len(seen)) <= 2 and gaps_line_up(seen, drawn_text) >= 0.85
                and gaps_line_up(drawn_text, seen) >= 0.85):
            return True
    return False


class Program(ProgramRun):
    """One run of the Windows program under Wine, with its settings in the registry."""

    def __init__(self, test, arguments=(), key_url="", interval="5", proxy=None,
                 time_scale=None, settings=True):
        program = OPTIONS.fast_program if time_scale else OPTIONS.program
        self.application = os.path.splitext(os.path.basename(program))[0]
        self.wm_class = os.path.basename(program)
        self.key = settings_key(self.application)
        if settings:
            wine("reg", "add", self.key, "/v", "TavrinKey", "/d", key_url, "/f")
            wine("reg", "add", self.key, "/v", "TavrinTime", "/d", interval, "/f")
        test.addCleanup(wine, "reg", "delete", self.key, "/f", check=False)

        environment = {
            k: v for k, v in os.environ.items()
            if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")
        }
        if proxy:
            environment["http_proxy"] = proxy
        if time_scale:
            environment["TAVRIN_TIME_SCALE"] = str(time_scale)
        self._home = tempfile.TemporaryDirectory(prefix="tavrin-e2e-win-")
        test.addCleanup(self._home.cleanup)
        self.log_path = os.path.join(self._home.name, "program.log")
        self._log = open(self.log_path, "wb")
        test.addCleanup(self._log.close)
        self.process = subprocess.Popen(["wine", program, *arguments], env=environment,
                                        stdout=self._log, stderr=subprocess.STDOUT)
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
        # explorer.exe drops the icon of a program that is gone; the next case
        # must not find it.
        wait_until(lambda: not tray_windows(TRAY_OWNER), timeout=8,
                   what="the ended program's tray icon to go")

    # Settings -------------------------------------------------------------------------

    def setting(self, name):
        """A value under the program's settings key, or None."""
        return registry_string(self.key, name)

    # Windows --------------------------------------------------------------------------

    def windows(self):
        result = subprocess.run(["xdotool", "search", "--classname", f"^{re.escape(self.wm_class)}$"],
                                capture_output=True, text=True, timeout=20)
        return [int(w) for w in result.stdout.split()]

    def icon(self):
        """Root geometry of the shown tray icon, or None while there is none."""
        for window, geometry in tray_windows(TRAY_OWNER):
            info = window_info(window)
            if info and info["viewable"]:
                return geometry
        return None

    def wait_icon(self, timeout=8.0):
        """Waits until the tray icon is in place and drawn; returns its geometry."""
        def drawn_icon():
            icon = self.icon()
            image = grab(icon) if icon else None
            if image and (count_colour(image, BLUE_EMBLEM) > SEEN
                          or count_colour(image, RED_EMBLEM) > SEEN):
                return icon
            return None
        return wait_until(drawn_icon, timeout=timeout, what="the tray icon")

    def wait_icon_gone(self):
        wait_until(lambda: self.icon() is None, what="the tray icon to leave")

    def popup(self):
        """Root geometry of an open pop-up menu of the program, or None."""
        for window in self.windows():
            info = window_info(window)
            if info and info["viewable"] and info["override"] and info["geometry"][2] > 8:
                return info["geometry"]
        return None

    def message_box(self):
        for window in self.windows():
            info = window_info(window)
            if info and info["viewable"] and window_name(window) == QUIT_TITLE:
                return window, info["geometry"]
        return None

    def tip(self):
        """Root geometry of a tip window explorer.exe shows, or None."""
        in_tray = {window for window, _ in tray_windows(TRAY_OWNER)}
        found = run("xdotool", "search", "--classname", f"^{re.escape(TRAY_OWNER)}$", check=False)
        for window in (int(w) for w in found.split()):
            info = window_info(window) if window not in in_tray else None
            if info and info["viewable"] and info["override"] and info["geometry"][2] > 8:
                return info["geometry"]
        return None

    # Actions ---------------------------------------------------------------------------

    def click_icon(self, *click):
        x, y, w, h = self.wait_icon()
        # Separate clicks further apart than a double click.
        time.sleep(max(0.0, self._last_click + 0.6 - time.monotonic()))
        xdotool("mousemove", str(x + w // 2), str(y + h // 2))
        xdotool("click", *click)
        self._last_click = time.monotonic()

    def open_popup(self):
        self.click_icon("3")
        return wait_until(self.popup, what="the pop-up menu")

    def choose_from_popup(self, entry):
        """Clicks the pop-up's first ("Optionen...") or second ("Beenden") entry."""
        x, y, w, h = self.open_popup()
        # Wine's menu takes no keys from xdotool here: the mouse picks the entry.
        xdotool("mousemove", str(x + w // 2), str(y + h * (2 * entry - 1) // 4), "click", "1")
        wait_until(lambda: self.popup() is None, what="the pop-up menu to close")

    def show_window(self):
        """Opens the window through "Optionen..."; returns its root geometry once drawn."""
        self.choose_from_popup(1)
        wait_until(self.window_shown, what="the window to show")
        return self.drawn_window()

    def geometry(self):
        return window_info(self.main_window())["geometry"]

    def click_in_window(self, rect, dx=0, dy=0):
        x, y = centre(scaled(self.geometry(), rect))
        xdotool("mousemove", "--window", str(self.main_window()), str(x + dx), str(y + dy),
                "click", "1")

    def type_into(self, box, text):
        self.click_in_window(box)
        xdotool("key", "ctrl+a")
        xdotool("type", "--delay", "20", text)


# --- the cases ------------------------------------------------------------------------


class WindowsTest(unittest.TestCase):
    def setUp(self):
        self.server = RecordingServer()
        self.addCleanup(self.server.close)
        self.key = "e2eStartKey"

    def start(self, arguments=(), interval="5", time_scale=None, **more):
        """Starts the program with the compiled-in base URL and the test key,
        its requests sent to the loopback server as the proxy."""
        return Program(self, arguments, OPTIONS.base_url + self.key, interval,
                       self.proxy(), time_scale, **more)

    def proxy(self):
        # http_proxy as the WinINet channel tests give it: scheme, host and port.
        return f"http://127.0.0.1:{self.server.port}"

    def wait_start_request(self):
        return self.server.wait_for(lambda r: requested(r) == OPTIONS.base_url + self.key,
                                    timeout=10, what="the start-up request")

    def assert_counts_down(self, program):
        seen = []

        def stepped():
            seen.append(program.countdown())
            return len(seen) > 1 and None not in seen[-2:] and seen[-2] - seen[-1] == 1
        wait_until(stepped, what="the countdown to move down by one second")

    def test_start_requests_and_docks_icon_with_its_tip(self):
        program = self.start()
        requests = self.wait_start_request()
        self.assertEqual(requests[0]["method"], "GET")
        self.assertEqual(requests[0]["headers"]["host"], OPTIONS.base_url.split("/")[2])
        icon = program.wait_icon()
        wait_until(lambda: count_colour(grab(icon), BLUE_EMBLEM) > SEEN, what="the blue icon")
        self.assertFalse(program.window_shown())
        self.assertNotIn(self.key, program.output())

        # explorer.exe shows the tip in a window of its own once the pointer rests.
        x, y, w, h = icon
        xdotool("mousemove", str(x + w // 2 - 1), str(y + h // 2 - 1))
        xdotool("mousemove", str(x + w // 2), str(y + h // 2))
        tip = wait_until(program.tip, what="the icon's tip")
        self.assertLessEqual(tip[1] + tip[3], y + 1, "the tip stands above the icon")
        wait_until(lambda: reads_as(grab(tip), TIP), timeout=3, what=f'the tip to read "{TIP}"')
        for other in ("KORLA DNS Conector", "Korla Tavrin Connector", "KORLA Tavrin"):
            self.assertFalse(reads_as(grab(tip), other), other)

    def test_optionen_shows_window_minimise_brings_icon_back(self):
        program = self.start()
        program.wait_icon()
        self.assertFalse(program.window_shown())
        # Two entries, one above the other.
        x, y, w, h = program.open_popup()
        wait_until(lambda: drawn((x, y, w, h)), what="the pop-up menu to be drawn")
        self.assertTrue(reads_as(grab((x, y, w, h // 2)), "Optionen..."))
        self.assertTrue(reads_as(grab((x, y + h // 2, w, h - h // 2)), "Beenden"))
        self.assertFalse(reads_as(grab((x, y, w, h // 2)), "Beenden"))
        xdotool("mousemove", str(x + w // 2), str(y + h // 4), "click", "1")
        wait_until(program.window_shown, what="the window to show")
        program.drawn_window()
        program.wait_icon_gone()
        self.assert_counts_down(program)

        xdotool("windowminimize", str(program.main_window()))
        program.wait_icon()
        wait_until(lambda: not program.window_shown(), what="the window to hide")
        # The icon works again.
        program.show_window()
        program.wait_icon_gone()

    def test_double_click_restores_only_in_a_mode(self):
        for arguments, restores in [(["/a"], True), (["/A"], True), ([], False)]:
            with self.subTest(arguments=arguments):
                program = self.start(arguments)
                program.wait_icon()
                program.click_icon("--repeat", "2", "--delay", "80", "1")
                if restores:
                    wait_until(program.window_shown, what="the window to restore")
                    program.wait_icon_gone()
                else:
                    # Events come in order: once a later right click has opened
                    # the pop-up, the double click has been handled.
                    program.click_icon("3")
                    wait_until(program.popup, what="the pop-up after the double click")
                    self.assertIsNotNone(program.icon())
                    self.assertFalse(program.window_shown())
                    xdotool("key", "Escape")
                program.stop(self)

    def test_spin_arrows_step_box_and_registry(self):
        program = self.start(interval="59")
        geometry = program.show_window()
        # The control's upper and lower halves are its two arrows.
        height = scaled(geometry, SPIN)[3]
        upper, lower = -height // 4, height // 4
        program.click_in_window(SPIN, dy=upper)
        wait_until(lambda: program.setting("TavrinTime") == "60", what="60 stored")
        # 60 is the top: another step up stays there.
        program.click_in_window(SPIN, dy=upper)
        program.click_in_window(SPIN, dy=lower)
        wait_until(lambda: program.setting("TavrinTime") == "59", what="59 stored")
        program.type_into(INTERVAL_BOX, "2")
        wait_until(lambda: program.setting("TavrinTime") == "2", what="2 stored")
        program.click_in_window(SPIN, dy=lower)
        wait_until(lambda: program.setting("TavrinTime") == "1", what="1 stored")
        # 1 is the bottom.
        program.click_in_window(SPIN, dy=lower)
        program.click_in_window(SPIN, dy=upper)
        wait_until(lambda: program.setting("TavrinTime") == "2", what="2 stored again")

    def test_key_typed_twice_requests_and_stores_update_url(self):
        key = "e2eSecret7Q"
        program = self.start()
        self.wait_start_request()
        geometry = program.show_window()
        # Inside its frame: at a scale the edges may round a pixel apart.
        x, y, w, h = inner(geometry, OK_BUTTON)
        ok_button = (x + 2, y + 2, w - 4, h - 4)
        # The OK label is drawn dark only while the button is enabled.
        self.assertEqual(count_dark(grab(ok_button)), 0)
        program.type_into(FIRST_KEY_BOX, key)
        program.type_into(SECOND_KEY_BOX, "x" + key)
        program.click_in_window(OK_BUTTON)
        # The interval box saves at once; once its value is stored, the keys
        # and the click before it have been handled too.
        program.type_into(INTERVAL_BOX, "7")
        wait_until(lambda: program.setting("TavrinTime") == "7", what="the stored interval")
        self.assertEqual(program.setting("TavrinKey"), OPTIONS.base_url + self.key)
        self.assertEqual(count_dark(grab(ok_button)), 0)

        program.type_into(SECOND_KEY_BOX, key)
        wait_until(lambda: count_dark(grab(ok_button)) > 0, what="OK to be enabled")
        save_screenshot("window-windows.png", "-window", str(program.main_window()))
        program.click_in_window(OK_BUTTON)
        expected = OPTIONS.base_url + key
        requests = self.server.wait_for(lambda r: requested(r) == expected, what=expected)
        self.assertEqual(requests[0]["method"], "GET")
        wait_until(lambda: program.setting("TavrinKey") == expected, what="the stored key URL")
        self.assertEqual(
            [requested(r) for r in self.server.requests() if key in r["target"]], [expected])
        self.assertNotIn(key, program.output())
        log = log_file_text(program.application)
        self.assertIn("tavrin.update: ", log)
        self.assertNotIn(key, log)

    def test_first_start_without_key_shows_window_and_enter_applies(self):
        wine("reg", "delete", RUN_KEY, "/v", "tavrin-connector", "/f", check=False)
        self.addCleanup(wine, "reg", "delete", RUN_KEY, "/v", "tavrin-connector", "/f",
                        check=False)
        program = Program(self, proxy=self.proxy(), settings=False)
        wait_until(program.window_shown, what="the window to show")
        program.drawn_window()
        self.assertIsNone(program.icon())
        program.type_into(FIRST_KEY_BOX, "abc")
        program.type_into(SECOND_KEY_BOX, "abc")
        xdotool("key", "Return")
        expected = OPTIONS.base_url + "abc"
        self.server.wait_for(lambda r: requested(r) == expected, what=expected)
        wait_until(lambda: program.setting("TavrinKey") == expected, what="the stored key URL")
        # The first OK makes the program start at login, hidden with /a.
        exe = wine("winepath", "-w", OPTIONS.program).stdout.strip()
        self.assertEqual(registry_string(RUN_KEY, program.application), f'"{exe}" /a')
        program.stop(self)
        # The next login: Windows runs what the value says.
        again = Program(self, arguments=("/a",), proxy=self.proxy(), settings=False)
        again.wait_icon()
        self.assertFalse(again.window_shown())

    def test_help_answers_on_standard_output_or_in_a_message_box(self):
        for switch in ("/?", "-h", "--help"):
            result = subprocess.run(["wine", OPTIONS.program, switch], capture_output=True,
                                    text=True, timeout=30)
            self.assertEqual(result.returncode, 0, switch)
            self.assertIn("Aufruf: tavrin-connector", result.stdout)
            self.assertIn(r"\tavrin-connector\tavrin-connector.log", result.stdout)
        # Without standard output, as started from Explorer: a message box.
        process = subprocess.Popen(["sh", "-c", 'exec wine "$0" /? >&-', OPTIONS.program])
        self.addCleanup(process.kill)

        def message_box():
            found = run("xdotool", "search", "--onlyvisible", "--name", "^tavrin-connector$",
                        check=False)
            return found.split()[0] if found.split() else None
        box = wait_until(message_box, what="the help's message box")
        xdotool("windowactivate", "--sync", box)
        xdotool("key", "Return")
        self.assertEqual(process.wait(20), 0)

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
        self.assertTrue(all(requested(r) == OPTIONS.base_url + self.key for r in later))

    def test_answer_area_tells_the_address_then_the_refusal(self):
        self.server.answer(200, "good 203.0.113.7")
        # Half a minute, ten times as fast: a sync every 3 s.
        program = self.start(interval="0.5", time_scale=10)
        program.wait_icon()
        self.wait_start_request()
        program.show_window()

        def line_reads(index, *texts):
            lines = text_lines(inner(program.geometry(), ANSWER_AREA))
            return len(lines) > index and any(reads_as(grab(lines[index]), t) for t in texts)
        wait_until(lambda: line_reads(2, "Gemeldete Adresse: 203.0.113.7"), timeout=10,
                   what="the address in the answer area")
        self.assertFalse(line_reads(2, "Gemeldete Adresse: 2001:db8::1"))
        save_screenshot("status-good-windows.png", "-window", str(program.main_window()))

        self.server.answer(200, "badauth")
        # The minute may turn meanwhile.
        now = time.time()
        failed = [time.strftime("Aktualisierung fehlgeschlagen: heute %H:%M", time.localtime(t))
                  for t in (now, now + 60)]
        wait_until(lambda: line_reads(0, *failed), timeout=10, what="the failure's first line")
        save_screenshot("status-badauth-windows.png", "-window", str(program.main_window()))

    def test_beenden_abbrechen_keeps_it_ok_ends_it(self):
        program = self.start()
        icon = program.wait_icon()
        program.choose_from_popup(2)
        window, (x, y, w, h) = wait_until(program.message_box, what="the quit question")
        # The question right of the box's icon; "OK" and "Abbrechen" centred below it.
        question = (x + 50, y + 4, w - 54, 28)
        wait_until(lambda: reads_as(grab(question), QUESTION), timeout=3, what="the question")
        row = y + h - 22
        xdotool("mousemove", str(x + w // 2 + 70), str(row), "click", "1")
        wait_until(lambda: program.message_box() is None, what="the question to close")
        self.assertTrue(program.alive())
        self.assertIsNotNone(program.icon())

        program.choose_from_popup(2)
        window, (x, y, w, h) = wait_until(program.message_box, what="the quit question again")
        xdotool("mousemove", str(x + w // 2 - 70), str(y + h - 22), "click", "1")
        self.assertEqual(program.wait_exit(), 0)
        wait_until(lambda: not tray_windows(TRAY_OWNER), what="the icon to go")
        self.assertEqual(count_colour(grab(icon), BLUE_EMBLEM), 0)

    def test_closing_window_ends_program(self):
        program = self.start()
        program.show_window()
        window = str(program.main_window())
        xdotool("windowactivate", "--sync", window)
        xdotool("key", "--clearmodifiers", "alt+F4")
        self.assertEqual(program.wait_exit(), 0)
        wait_until(lambda: not tray_windows(TRAY_OWNER), what="the icon to go")

    def test_second_start_hands_over_and_exits(self):
        first = self.start()
        first.wait_icon()
        second = Program(self, proxy=self.proxy(), settings=False)
        self.assertEqual(second.wait_exit(timeout=15), 0)
        wait_until(first.window_shown, what="the first program's window")
        first.drawn_window()
        self.assertTrue(first.alive())


def run_suite(options, argv):
    global OPTIONS
    OPTIONS = options
    desktop_support.configure(OPTIONS.screenshots)
    OPTIONS.program = os.path.abspath(OPTIONS.program)
    OPTIONS.fast_program = os.path.abspath(OPTIONS.fast_program)
    for tool in ("wine", "xdotool", "xwininfo", "import", "convert", "fc-match"):
        if not shutil.which(tool):
            print(f"{tool} is needed", file=sys.stderr)
            return 1
    return run_wine_suite(argv)


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
