#!/usr/bin/env python3
"""End-to-end cases for tavrin-connector on a Wayland compositor.

Run inside `tests/support/with-desktop.sh --sni`: the StatusNotifierItem host
(xfce4-panel) sits on the X desktop and the private session bus, while the
program itself runs on a headless weston that each case starts. weston has no
tray and no input devices, so the cases act the way a tray host does, over
D-Bus: the item's Activate / ContextMenu and the menu's "clicked" events. Which
windows the program shows on Wayland, with their titles and places, is read from
weston's scene graph (weston-debug), whether they are drawn from its screenshots
(weston-screenshooter); both need `--debug`, screenshots the pixman renderer.
The icon is read from the panel on the X desktop.

Usage: test_wayland.py --program <tavrin-connector> --fast-program <tavrin-connector-testhooks>
                       --base-url <URL> [--screenshots <dir>]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import test_desktop as desktop
import test_sni as sni
from test_desktop import BLUE_EMBLEM, SEEN, RecordingServer, count_colour, grab, wait_until

# Qt's window background and the white of its text boxes and menus, as weston
# draws them; the desktop behind has neither.
SURFACE_COLOURS = ((239, 239, 239), (255, 255, 255))

# One view in weston's scene graph: a program's top-level window and its place.
_VIEW = re.compile(r"View \d+ \(role xdg_toplevel, PID (\d+), .*?top-level window '(.*?)' of .*?\n"
                   r"\s+position: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)")


class Weston:
    """A headless weston with its own runtime directory and socket."""

    def __init__(self, test):
        self._dir = tempfile.TemporaryDirectory(prefix="tavrin-weston-")
        test.addCleanup(self._dir.cleanup)
        self.runtime = os.path.join(self._dir.name, "runtime")
        os.mkdir(self.runtime, 0o700)
        self._shots = os.path.join(self._dir.name, "shots")
        os.mkdir(self._shots)
        self.socket = os.path.join(self.runtime, "wayland-tavrin")
        self._log = open(os.path.join(self._dir.name, "weston.log"), "wb")
        test.addCleanup(self._log.close)
        environment = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        self.process = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--socket=wayland-tavrin",
             "--width=1024", "--height=768", "--use-pixman", "--debug", "--idle-time=0"],
            env=environment, stdout=self._log, stderr=subprocess.STDOUT)
        test.addCleanup(self.stop)
        wait_until(lambda: os.path.exists(self.socket), what="weston's socket")
        # The shell's background is up once a screenshot shows more than black.
        wait_until(lambda: self._drawn(self.screenshot()), timeout=15, what="weston's desktop")

    @staticmethod
    def _drawn(image):
        return image and count_colour(image, (0, 0, 0)) < len(image[2]) // 6

    def environment(self):
        """What the program needs to run on this compositor."""
        # An absolute WAYLAND_DISPLAY leaves the program its own XDG_RUNTIME_DIR.
        return {"QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": self.socket}

    def screenshot(self, keep_as=None):
        """The whole output as (width, height, RGB bytes), or None if none was taken."""
        for old in os.listdir(self._shots):
            os.remove(os.path.join(self._shots, old))
        subprocess.run(["weston-screenshooter"], cwd=self._shots, capture_output=True,
                       timeout=20, env=dict(os.environ, WAYLAND_DISPLAY=self.socket))
        saved = [name for name in os.listdir(self._shots) if name.endswith(".png")]
        if not saved:
            return None
        path = os.path.join(self._shots, saved[0])
        if keep_as and desktop.OPTIONS.screenshots:
            os.makedirs(desktop.OPTIONS.screenshots, exist_ok=True)
            shutil.copy(path, os.path.join(desktop.OPTIONS.screenshots, keep_as))
        data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True,
                              timeout=20, check=True).stdout
        fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        return int(fields.group(1)), int(fields.group(2)), data[fields.end():]

    def windows(self, pid):
        """The process's shown top-level windows as (title, (x, y, width, height))."""
        found = []
        for match in _VIEW.finditer(self.scene()):
            if int(match.group(1)) == pid:
                x0, y0, x1, y1 = (int(match.group(i)) for i in range(3, 7))
                found.append((match.group(2), (x0, y0, x1 - x0, y1 - y0)))
        return found

    def drawn(self, rect):
        """Whether most of a rectangle of the output shows Qt's greys and whites."""
        image = self.screenshot()
        if not image:
            return False
        width, _, pixels = image
        x, y, w, h = rect
        ours = 0
        for row in range(y, y + h):
            for i in range((row * width + x) * 3, (row * width + x + w) * 3, 3):
                if any(all(abs(pixels[i + k] - c[k]) <= 3 for k in range(3))
                       for c in SURFACE_COLOURS):
                    ours += 1
        return ours > w * h // 2

    def scene(self):
        """weston's description of what it shows: each view with its role and title."""
        result = subprocess.run(["weston-debug", "scene-graph"], capture_output=True, text=True,
                                timeout=20, env=dict(os.environ, WAYLAND_DISPLAY=self.socket))
        return result.stdout

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class WaylandProgram(sni.SniProgram):
    """The program on weston, its icon published to the panel over D-Bus."""

    def __init__(self, test, weston, key_url, arguments=()):
        self.weston = weston
        # The tray's debug lines tell which tray hosts the program looked for.
        platform = dict(weston.environment(), QT_LOGGING_RULES="tavrin.tray.debug=true")
        super().__init__(test, arguments, key_url, "5", platform=platform)

    def menu_ids(self):
        """The menu's entries as {label without accelerator marks: id}."""
        service, _ = wait_until(self.item, what="the program's StatusNotifierItem")
        menu = re.search(r'object path "([^"]+)"', self.item_property("Menu")).group(1)
        layout = sni.bus(f"--dest={service}", menu, "com.canonical.dbusmenu.GetLayout",
                         "int32:0", "int32:-1", "array:string:label")
        # Each entry's id opens its properties; the first label after it is its own.
        parts = re.split(r'int32 (\d+)\s+array \[', layout)
        entries = [(id, label.group(1)) for id, text in zip(parts[1::2], parts[2::2])
                   if (label := re.search(r'string "label"\s+variant\s+string "([^"]*)"', text))]
        return {label.replace("_", ""): int(id) for id, label in entries}

    def click_entry(self, label):
        service, _ = wait_until(self.item, what="the program's StatusNotifierItem")
        menu = re.search(r'object path "([^"]+)"', self.item_property("Menu")).group(1)
        entry = self.menu_ids()[label]
        sni.bus(f"--dest={service}", menu, "com.canonical.dbusmenu.Event", f"int32:{entry}",
                "string:clicked", "variant:int32:0", f"uint32:{int(time.time())}")

    def windows(self):
        return self.weston.windows(self.process.pid)

    def window_titled(self, pattern):
        """(title, rect) of the shown window whose title matches, or None."""
        return next((w for w in self.windows() if re.fullmatch(pattern, w[0])), None)

    def call_item(self, method, *arguments):
        service, path = wait_until(self.item, what="the program's StatusNotifierItem")
        return sni.bus(f"--dest={service}", path, f"org.kde.StatusNotifierItem.{method}",
                       *arguments)


class WaylandTest(unittest.TestCase):
    def setUp(self):
        self.server = RecordingServer()
        self.addCleanup(self.server.close)
        self.weston = Weston(self)
        self.key = "e2eWaylandKey"

    def start(self, arguments=()):
        program = WaylandProgram(self, self.weston, self.server.url(self.key), arguments)
        self.server.wait_for(lambda r: r["target"] == f"/{self.key}")
        return program

    def assert_wayland_only(self, program):
        # The desktop's X server is there too; the program must not use it.
        self.assertEqual(desktop.Program.windows(program), [])
        # Nor ask Wayland for what it lacks (placing windows, X11 calls).
        self.assertNotRegex(program.output(), r"qt\.qpa|xcb|X11")

    def test_starts_hidden_with_blue_icon_tip_and_menu(self):
        program = self.start()
        icon = program.wait_icon()
        self.assertGreater(count_colour(grab(icon), BLUE_EMBLEM), SEEN)
        self.assertIn(sni.TIP, program.item_property("ToolTip"))
        self.assertEqual([l for l in program.menu_ids() if l in ("Optionen...", "Beenden")],
                         ["Optionen...", "Beenden"])
        time.sleep(1)
        self.assertEqual(program.windows(), [])
        self.assertIn("Tray host at start: XEmbed false StatusNotifierItem true", program.output())
        self.assert_wayland_only(program)

    def test_optionen_shows_counting_window_and_icon_leaves(self):
        program = self.start()
        program.wait_icon()
        program.click_entry("Optionen...")
        _, rect = wait_until(lambda: program.window_titled(desktop.CAPTION.pattern[1:-1]),
                             what="the window on weston")
        wait_until(lambda: self.weston.drawn(rect), what="it drawn")
        self.weston.screenshot(keep_as="wayland-window.png")
        first = wait_until(lambda: program.window_titled(r"Count-Down: (\d+)Sec\."),
                           what="the countdown caption")[0]
        wait_until(lambda: (w := program.window_titled(r"Count-Down: (\d+)Sec\.")) and
                   w[0] != first, what="the caption to count down")
        wait_until(lambda: not program.icon(), what="the icon to leave the panel")
        wait_until(lambda: not program.item(), what="the item to leave the bus")
        self.assert_wayland_only(program)

    def test_tray_clicks_keep_window_hidden_and_pop_up_menu(self):
        program = self.start()
        program.wait_icon()
        # A single click restores only in the "/a" mode, which needs a double click.
        program.call_item("Activate", "int32:0", "int32:0")
        time.sleep(1)
        self.assertEqual(program.windows(), [])
        program.call_item("ContextMenu", "int32:900", "int32:20")
        # Without a parent surface to attach it to, weston shows the menu as a
        # window of its own, wherever it places new windows.
        (title, rect), = wait_until(program.windows, what="the pop-up menu")
        self.assertFalse(desktop.CAPTION.match(title))
        wait_until(lambda: self.weston.drawn(rect), what="it drawn")
        self.weston.screenshot(keep_as="wayland-menu.png")
        self.assertTrue(program.alive())
        self.assertTrue(program.icon())
        self.assert_wayland_only(program)

    def test_beenden_asks_before_ending(self):
        program = self.start()
        program.wait_icon()
        program.click_entry("Beenden")
        # Without input devices on weston the box cannot be answered; it is seen,
        # the program waits for it, and SIGTERM still ends the program there.
        _, rect = wait_until(lambda: program.window_titled(re.escape(desktop.QUIT_TITLE)),
                             what="the question box")
        wait_until(lambda: self.weston.drawn(rect), what="it drawn")
        self.weston.screenshot(keep_as="wayland-question.png")
        time.sleep(1)
        self.assertTrue(program.alive())
        self.assertEqual(len(program.windows()), 1)
        self.assert_wayland_only(program)
        program.process.terminate()
        program.wait_exit()
        wait_until(lambda: not self.weston.windows(program.process.pid),
                   what="the box to go with the program")
        wait_until(lambda: not program.icon(), what="the ended program's icon to go")


if __name__ == "__main__":
    for tool in ("weston", "weston-screenshooter", "convert"):
        if not shutil.which(tool):
            print(f"{tool} is needed", file=sys.stderr)
            sys.exit(1)
    sys.exit(desktop.main())
