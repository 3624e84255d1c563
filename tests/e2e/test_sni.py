#!/usr/bin/env python3
"""End-to-end cases for tavrin-connector in a StatusNotifierItem tray.

Run inside `tests/support/with-desktop.sh --sni` (Xvfb, openbox, xfce4-panel's
notification area on a private D-Bus session). The panel draws the icon and its
pop-up menu itself; the program only publishes them over D-Bus, so the icon is
found by its colour inside the panel and its properties are read from the bus.

Usage: test_sni.py --program <tavrin-connector> --fast-program <tavrin-connector-testhooks>
                   --base-url <URL> [--screenshots <dir>]
"""

import re
import subprocess
import sys
import time
import unittest

import test_desktop as desktop
from test_desktop import (BLUE_EMBLEM, RED_EMBLEM, SEEN, RecordingServer, count_colour, grab,
                          wait_until, xdotool)

TIP = "KORLA Tavrin Connector"


def bus(*arguments):
    result = subprocess.run(["dbus-send", "--session", "--print-reply", *arguments],
                            capture_output=True, text=True, timeout=20)
    return result.stdout if result.returncode == 0 else ""


def panel_geometry():
    """Root geometry of the panel's shown window, or None."""
    for window in xdotool("search", "--class", "xfce4-panel").split():
        info = desktop.window_info(int(window))
        if info and info["viewable"] and info["geometry"][2] > 20:
            return info["geometry"]
    return None


def emblem_in(rect, colour):
    """The bounding box (root coordinates) of the colour's pixels in rect, or None."""
    width, height, pixels = grab(rect)
    xs, ys = [], []
    for i in range(0, len(pixels) - 2, 3):
        if all(abs(pixels[i + k] - colour[k]) <= 10 for k in range(3)):
            xs.append((i // 3) % width)
            ys.append((i // 3) // width)
    if len(xs) <= SEEN:
        return None
    return rect[0] + min(xs), rect[1] + min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


class SniProgram(desktop.Program):
    """The program with its icon in the panel instead of trayer."""

    def icon(self):
        panel = panel_geometry()
        if not panel:
            return None
        return emblem_in(panel, BLUE_EMBLEM) or emblem_in(panel, RED_EMBLEM)

    def item(self):
        """(bus name, object path) of the program's registered item, or None."""
        reply = bus("--dest=org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                    "org.freedesktop.DBus.Properties.Get", "string:org.kde.StatusNotifierWatcher",
                    "string:RegisteredStatusNotifierItems")
        for entry in re.findall(r'string "([^"]+)"', reply):
            service, _, path = entry.partition("/")
            owner = bus("--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                        "org.freedesktop.DBus.GetConnectionUnixProcessID", f"string:{service}")
            if re.search(rf"uint32 {self.process.pid}\b", owner):
                return service, "/" + (path or "StatusNotifierItem")
        return None

    def item_property(self, name):
        service, path = wait_until(self.item, what="the program's StatusNotifierItem")
        return bus(f"--dest={service}", path, "org.freedesktop.DBus.Properties.Get",
                   "string:org.kde.StatusNotifierItem", f"string:{name}")

    def menu_labels(self):
        service, _ = wait_until(self.item, what="the program's StatusNotifierItem")
        menu = re.search(r'object path "([^"]+)"', self.item_property("Menu")).group(1)
        layout = bus(f"--dest={service}", menu, "com.canonical.dbusmenu.GetLayout", "int32:0",
                     "int32:-1", "array:string:label")
        return re.findall(r'string "label"\s+variant\s+string "([^"]*)"', layout)


class SniTest(unittest.TestCase):
    def setUp(self):
        self.server = RecordingServer()
        self.addCleanup(self.server.close)

    def start(self, arguments=(), interval="5"):
        self.key = "e2eSniKey"
        return SniProgram(self, arguments, self.server.url(self.key), interval)

    def test_icon_tip_and_menu_entries(self):
        program = self.start()
        self.server.wait_for(lambda r: r["target"] == f"/{self.key}")
        icon = program.wait_icon()
        self.assertGreater(count_colour(grab(icon), BLUE_EMBLEM), SEEN)
        self.assertIn(TIP, program.item_property("ToolTip"))
        labels = [label.replace("_", "") for label in program.menu_labels()]
        self.assertEqual([l for l in labels if l in ("Optionen...", "Beenden")],
                         ["Optionen...", "Beenden"])
        self.assertEqual(program.shown_windows(), [])

    def test_panel_menu_optionen_shows_window(self):
        program = self.start()
        program.click_icon("3")
        # The panel's own menu: its first entry is "Optionen...".
        time.sleep(0.5)
        xdotool("key", "Down", "Return")
        wait_until(program.window_shown, what="the window")
        desktop.save_screenshot("sni-window.png", "-window", "root")

    def test_icon_turns_red_on_failure(self):
        self.server.answer(500)
        program = self.start()
        wait_until(lambda: emblem_in(panel_geometry(), RED_EMBLEM), what="the red icon")

    def test_double_click_restores_only_in_a_mode(self):
        for arguments, restores in ((["/a"], True), ([], False)):
            with self.subTest(arguments=arguments):
                program = self.start(arguments)
                program.wait_icon()
                program.click_icon("--repeat", "2", "--delay", "80", "1")
                if restores:
                    wait_until(program.window_shown, what="the window to restore")
                else:
                    time.sleep(1.5)
                    self.assertFalse(program.window_shown())
                program.stop(self)


if __name__ == "__main__":
    sys.exit(desktop.main())
